// Fuzz target: bytes as a PNG file, through the PNG module.
#include <cstddef>
#include <cstdint>

#include "imageio/kwpng.h"

namespace {
uint32_t Big32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Pictures larger than 256 kilopixels are legal but only slow the search.
  if (size >= 24 && uint64_t(Big32(data + 16)) * Big32(data + 20) > (uint64_t(1) << 18)) return 0;
  TBitmap b;
  bool alpha = false;
  try {
    LoadPNGMemory(data, size, b, alpha);
  } catch (const Exception&) {
    return 0;
  }
  if (b.PixelFormat() != pf32bit) __builtin_trap();
  return 0;
}
