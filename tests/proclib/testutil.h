#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

#include "platform/bitmap.h"
#include "platform/sysutils.h"

namespace kwtest {

// The defining luminance formula, written out here on its own.
inline long double Lum(uint32_t p) {
  return 0.1140105L * (p & 0xFF) + 0.58701L * ((p >> 8) & 0xFF) + 0.2989875L * ((p >> 16) & 0xFF);
}

inline std::unique_ptr<TBitmap> Bmp(int w, int h) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf32bit);
  b->SetSize(w, h);
  return b;
}

inline std::unique_ptr<TBitmap> RandomBmp(int w, int h, uint32_t seed) {
  auto b = Bmp(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Row32(y)[x] = rng();
  return b;
}

inline std::unique_ptr<TBitmap> OnePixel(uint32_t p) {
  auto b = Bmp(1, 1);
  b->Row32(0)[0] = p;
  return b;
}

inline uint32_t BGRA(int b, int g, int r, int a = 0) {
  return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16) | (uint32_t(a) << 24);
}

}  // namespace kwtest
