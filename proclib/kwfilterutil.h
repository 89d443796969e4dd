// Small helpers of the package's pixel loops.  No Qt.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/bitmap.h"
#include "platform/types.h"
#include "procdef/kwparallel.h"
#include "procdef/kwproc.h"

namespace kwlib {

// Filters work on 32-bit bitmaps of equal size (the host makes them so);
// anything else is refused before a pixel is touched.
inline void CheckFilterBitmaps(const TBitmap* Src, const TBitmap* Dst) {
  if (!Src || !Dst || Src->PixelFormat() != pf32bit || Dst->PixelFormat() != pf32bit ||
      Src->Width() != Dst->Width() || Src->Height() != Dst->Height())
    throw Exception("The filter needs a source and a destination of the same size with 32 bits per pixel.");
}

// Whether the processor runs AVX2 instructions.
inline bool HasAVX2() {
#if defined(__x86_64__)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

// The fraction of rows done, as the progress reports pass it.
inline float RowRate(int i, int height) { return float(double(i) / double(height)); }

// Rows 0 .. h - 1 in bands of kBandRows, spread over the framework's pool
// of threads: band(y0, y1) computes rows y0 .. y1 - 1 and writes only their
// part of the output.  report(i) runs on the calling thread for i = first,
// first + every, ... below h, in this order, each once the rows before it
// are done: the progress of a loop over the rows in order.
constexpr int kBandRows = 32;
template <class Band, class Report>
void SpreadRows(int h, int first, int every, Band&& band, Report&& report) {
  if (h <= 0) return;
  TKWRowJob job;
  job.Count = (h + kBandRows - 1) / kBandRows;
  job.Row = [&](int b) { band(b * kBandRows, std::min(h, (b + 1) * kBandRows)); };
  int next = first;
  job.Progress = [&](int bands) {
    const int64_t done = std::min<int64_t>(h, int64_t(bands) * kBandRows);
    for (; next < h && done >= next; next += every) report(next);
  };
  KWRunRows(job);
}
// Reports at rows every - 1, 2 every - 1, ...
template <class Band, class Report>
void SpreadRows(int h, int every, Band&& band, Report&& report) {
  SpreadRows(h, every - 1, every, band, report);
}

// Writes pixel(s) for every pixel s of Src into Dst, reporting progress at
// every 32nd row as the standard filters do.
template <class PixelFn>
inline void MapPixels(TKWProcessor* proc, const TBitmap* Src, TBitmap* Dst, PixelFn pixel) {
  const int w = Dst->Width(), h = Dst->Height();
  SpreadRows(
      h, 32,
      [&](int y0, int y1) {
        for (int i = y0; i < y1; ++i) {
          const uint32_t* s = Src->Row32(i);
          uint32_t* d = Dst->Row32(i);
          for (int x = 0; x < w; ++x) d[x] = pixel(s[x]);
        }
      },
      [&](int i) { proc->Progress(RowRate(i, h)); });
}

// B, G and R of p through their channel tables; the fourth byte is kept.
inline uint32_t MapChannels(uint32_t p, const uint8_t* tb, const uint8_t* tg, const uint8_t* tr) {
  return (p & 0xFF000000u) | tb[p & 0xFF] | (uint32_t(tg[(p >> 8) & 0xFF]) << 8) |
         (uint32_t(tr[(p >> 16) & 0xFF]) << 16);
}

}  // namespace kwlib
