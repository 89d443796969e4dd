// Fuzz target: bytes as a BMP file, through the BMP reader; what it accepts
// must survive writing and reading back.
#include <cstddef>
#include <cstdint>

#include "platform/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBitmap b;
  try {
    b.LoadFromMemory(data, size);
  } catch (const Exception&) {
    return 0;
  }
  if (b.Width() * int64_t(b.Height()) > (int64_t(1) << 18)) return 0;
  const std::vector<uint8_t> again = b.SaveToMemory();
  TBitmap c;
  c.LoadFromMemory(again.data(), again.size());
  if (c.Width() != b.Width() || c.Height() != b.Height() || c.PixelFormat() != b.PixelFormat())
    __builtin_trap();
  b.SetPixelFormat(pf32bit);
  return 0;
}
