// Small helpers for the platform tests: random bitmaps and whole-bitmap
// comparison through the public interface.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace pt {

inline void FillRandom(TBitmap& b, std::mt19937& rng) {
  const int bytes = b.Width() * (b.PixelFormat() == pf32bit ? 4 : b.PixelFormat() == pf24bit ? 3 : 1);
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int i = 0; i < bytes; ++i) row[i] = uint8_t(rng());
  }
}

inline std::vector<TPaletteEntry> RandomPalette(std::mt19937& rng, int n) {
  std::vector<TPaletteEntry> pal(static_cast<size_t>(n));
  for (auto& e : pal) e = TPaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
  return pal;
}

inline void MakeRandom(TBitmap& b, TPixelFormat pf, int w, int h, std::mt19937& rng) {
  b.SetPixelFormat(pf);
  b.SetSize(w, h);
  if (pf == pf8bit) b.SetPalette(RandomPalette(rng, 256));
  FillRandom(b, rng);
}

// Pixel bytes of every row (padding excluded), top row first.
inline std::vector<uint8_t> PixelBytes(const TBitmap& b) {
  const int bytes = b.Width() * (b.PixelFormat() == pf32bit ? 4 : b.PixelFormat() == pf24bit ? 3 : 1);
  std::vector<uint8_t> r;
  r.reserve(size_t(bytes) * size_t(b.Height()));
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    r.insert(r.end(), row, row + bytes);
  }
  return r;
}

struct Snapshot {
  int w, h;
  TPixelFormat pf;
  std::vector<uint8_t> pixels;
  std::vector<TPaletteEntry> pal;
  explicit Snapshot(const TBitmap& b)
      : w(b.Width()), h(b.Height()), pf(b.PixelFormat()), pixels(PixelBytes(b)), pal(b.Palette()) {}
  bool operator==(const Snapshot&) const = default;
};

}  // namespace pt
