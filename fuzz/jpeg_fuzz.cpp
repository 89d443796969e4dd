// Fuzz target: bytes as a JPEG file, through the JPEG reader.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imageio/jpegio.h"

namespace {
// The largest size any frame header declares (the decoder may take a later
// one than the first); 0 when there is none.
uint64_t DeclaredPixels(const uint8_t* d, size_t n) {
  uint64_t largest = 0;
  for (size_t i = 0; i + 9 < n; ++i)
    if (d[i] == 0xFF && d[i + 1] >= 0xC0 && d[i + 1] <= 0xCF && d[i + 1] != 0xC4 && d[i + 1] != 0xC8 &&
        d[i + 1] != 0xCC)
      largest = std::max(largest, uint64_t(d[i + 5] << 8 | d[i + 6]) * uint64_t(d[i + 7] << 8 | d[i + 8]));
  return largest;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Pictures larger than 256 kilopixels are legal but only slow the search.
  if (DeclaredPixels(data, size) > (uint64_t(1) << 18)) return 0;
  TBitmap b;
  try {
    LoadJPEGMemory(data, size, b);
  } catch (const Exception&) {
    return 0;
  }
  if (b.PixelFormat() != pf32bit) __builtin_trap();
  return 0;
}
