// Window shapes of the neighbourhood filters and the traversal shared by the
// order filters (median, minimum/maximum).  No Qt.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/bitmap.h"
#include "procdef/kwproc.h"
#include "proclib/kwfilterutil.h"

namespace kwlib {

// Offsets of one window shape, row by row (dy from -2 to 2), left to right.
struct TWindowShape {
  int Count = 0;
  int8_t Dx[25] = {};
  int8_t Dy[25] = {};
  // How far the shape reaches from its centre: 1 or 2.
  int Reach = 1;
};

// Range 0: cross of 5, 1: 3 x 3, 2: diamond of 13, 3: 5 x 5.  Null outside.
const TWindowShape* WindowShape(int range);

// The order filters' traversal: rows above and below the image clamp to the
// first and last row, the Reach outermost columns on each side are copied
// from Src, every other pixel gets pick(values, n) per channel over the
// window (B, G, R) and the fourth byte of the centre pixel.  Rows spread
// over the framework's threads; progress at each row with i mod 64 = 63.
// A range without a shape writes nothing.
// rowPart(rows, range, x, last, d) may do a leading part of the filtered
// columns of a row faster and returns the first column it left; rows[k] is
// the row at dy = k - 2 and d the destination row.
template <class Pick, class RowPart>
void OrderFilter(TKWProcessor& proc, const TBitmap& Src, TBitmap& Dst, int range, Pick pick,
                 RowPart rowPart) {
  const TWindowShape* shape = WindowShape(range);
  if (!shape) return;
  const int w = Src.Width(), h = Src.Height(), reach = shape->Reach, n = shape->Count;
  if (w <= 0 || h <= 0) return;  // no rows to point into
  const int first = std::min(reach, w), last = std::max(first, w - reach);  // [first, last) filtered
  SpreadRows(
      h, 64,
      [&](int y0, int y1) {
        for (int i = y0; i < y1; ++i) {
          const uint32_t* rows[5];
          for (int dy = -2; dy <= 2; ++dy) rows[dy + 2] = Src.Row32(std::clamp(i + dy, 0, h - 1));
          const uint32_t* s = rows[2];
          uint32_t* d = Dst.Row32(i);
          for (int x = 0; x < first; ++x) d[x] = s[x];
          for (int x = last; x < w; ++x) d[x] = s[x];
          uint8_t b[25], g[25], r[25];
          for (int x = rowPart(rows, range, first, last, d); x < last; ++x) {
            for (int k = 0; k < n; ++k) {
              const uint32_t p = rows[shape->Dy[k] + 2][x + shape->Dx[k]];
              b[k] = uint8_t(p);
              g[k] = uint8_t(p >> 8);
              r[k] = uint8_t(p >> 16);
            }
            d[x] = (s[x] & 0xFF000000u) | uint32_t(pick(b, n)) | (uint32_t(pick(g, n)) << 8) |
                   (uint32_t(pick(r, n)) << 16);
          }
        }
      },
      [&](int i) { proc.Progress(RowRate(i, h)); });
}

// Median and minimum/maximum of each byte over the window of a range, many
// pixels at a time from x up to last; the fourth byte comes from the centre
// pixel.  Return the first column not done (x when too few are left).
int MedianRowPart(const uint32_t* const* rows, int range, int x, int last, uint32_t* d);
int MinMaxRowPart(const uint32_t* const* rows, int range, int x, int last, uint32_t* d,
                  bool maximum);

}  // namespace kwlib
