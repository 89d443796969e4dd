#include "proclib/kwmedian.h"

#include <utility>

#include "proclib/kwwindow.h"

namespace kwlib {

const TParamTable<TKWMedianPack>& TKWMedianPack::Table() {
  static const TParamTable<TKWMedianPack> t = {
      IntParam<TKWMedianPack>("Range", "Range", &TKWMedianPack::Range, 0).In("0..3"),
  };
  return t;
}

uint8_t TKWMedian::Median(uint8_t* v, int n) {
  // Selection up to the middle: v[0 .. m] end up the m + 1 smallest, in order.
  const int m = (n - 1) / 2;
  for (int p = 0; p <= m; ++p)
    for (int q = p + 1; q < n; ++q)
      if (v[q] < v[p]) std::swap(v[p], v[q]);
  return v[m];
}

void TKWMedian::FilterPlain(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  OrderFilter(*this, *Src, *Dst, settings_->Range, &TKWMedian::Median,
              [](const uint32_t* const*, int, int x, int, uint32_t*) { return x; });
}

void TKWMedian::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  OrderFilter(*this, *Src, *Dst, settings_->Range, &TKWMedian::Median, MedianRowPart);
}

}  // namespace kwlib
