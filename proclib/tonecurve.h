// The tone-curve file's text: a comma-separated header naming the curve's
// kind, then a "data" line and 256 lines of input and output levels.  Plain
// C++, so that the parser can be fed arbitrary text on its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kwlib {

struct TToneCurveText {
  enum class TResult { Ok, FormatError, NotRaw };
  TResult Result = TResult::FormatError;
  // FormatError: the offending text for the error message.
  std::string Offending;
  bool Color = false;
  // Outputs for inputs 0 to 255: Y for a luminance file, R, G, B for a colour file.
  int32_t Y[256] = {}, R[256] = {}, G[256] = {}, B[256] = {};
};

// Reads the text of a tone-curve file.
TToneCurveText ParseToneCurve(std::string_view text);

}  // namespace kwlib
