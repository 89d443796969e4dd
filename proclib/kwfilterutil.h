// Small helpers of the package's pixel loops.  No Qt.
#pragma once

#include "platform/bitmap.h"
#include "platform/types.h"
#include "procdef/kwproc.h"

namespace kwlib {

// Filters work on 32-bit bitmaps of equal size (the host makes them so);
// anything else is refused before a pixel is touched.
inline void CheckFilterBitmaps(const TBitmap* Src, const TBitmap* Dst) {
  if (!Src || !Dst || Src->PixelFormat() != pf32bit || Dst->PixelFormat() != pf32bit ||
      Src->Width() != Dst->Width() || Src->Height() != Dst->Height())
    throw Exception("The filter needs a source and a destination of the same size with 32 bits per pixel.");
}

// The fraction of rows done, as the progress reports pass it.
inline float RowRate(int i, int height) { return float(double(i) / double(height)); }

// Writes pixel(s) for every pixel s of Src into Dst, row by row, reporting
// progress after every 32nd row as the standard filters do.
template <class PixelFn>
inline void MapPixels(TKWProcessor* proc, const TBitmap* Src, TBitmap* Dst, PixelFn pixel) {
  const int w = Dst->Width(), h = Dst->Height();
  for (int i = 0; i < h; ++i) {
    if (i % 32 == 31) proc->Progress(RowRate(i, h));
    const uint32_t* s = Src->Row32(i);
    uint32_t* d = Dst->Row32(i);
    for (int x = 0; x < w; ++x) d[x] = pixel(s[x]);
  }
}

// B, G and R of p through their channel tables; the fourth byte is kept.
inline uint32_t MapChannels(uint32_t p, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr) {
  return (p & 0xFF000000u) | tb[p & 0xFF] | (uint32_t(tg[(p >> 8) & 0xFF]) << 8) |
         (uint32_t(tr[(p >> 16) & 0xFF]) << 16);
}

}  // namespace kwlib
