// TKWScript: a script as an ordered list of lines, read from and written to
// .kws files, or made from a document's log.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stringlist.h"

class TKWParamPack;

class TKWScript : public TStringList {
 public:
  // An empty script.
  TKWScript() = default;
  // The lines of a file.  Raises EInOutError when it cannot be read.
  static TKWScript CreateFromFile(const std::string& fileName);
  // The log script of a document's log: a header that binds the active
  // document to CURRENTIMAGE, then one entry per pack.  Reading a
  // processor's pack copies its values into the processor's current values.
  static TKWScript CreateLog(const std::vector<std::unique_ptr<TKWParamPack>>& log);

  // Replaces the lines with the lines of file text: the text ends at the
  // first NUL byte; lines end at CR LF, a lone CR or a lone LF.  Text that is
  // not valid UTF-8 is taken as Shift-JIS (code page 932) and converted.
  void LoadFromText(std::string_view bytes);
  void LoadFromFile(const std::string& fileName);
  // Every line followed by CR LF.  Raises EInOutError on failure.
  void SaveToFile(const std::string& fileName) const;

  // Splits decoded text into lines (the rule above, without decoding).
  static std::vector<std::string> SplitLines(std::string_view text);
  // Whether bytes form valid UTF-8 (no overlong forms, no surrogates).
  static bool IsValidUtf8(std::string_view bytes);
  // Shift-JIS (code page 932) to UTF-8; undecodable bytes become U+FFFD.
  static std::string ShiftJisToUtf8(std::string_view bytes);
};
