// Fuzz target: bytes as a tone-curve file, through its parser.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "proclib/tonecurve.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kwlib::ParseToneCurve(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
