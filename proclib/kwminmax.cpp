#include "proclib/kwminmax.h"

#include "proclib/kwwindow.h"

namespace kwlib {

const TParamTable<TKWMinMaxParam>& TKWMinMaxParam::Table() {
  static const TParamTable<TKWMinMaxParam> t = {
      IntParam<TKWMinMaxParam>("MinMax", "MinMax", &TKWMinMaxParam::MinMax, 0).In("0..1"),
      IntParam<TKWMinMaxParam>("Range", "Range", &TKWMinMaxParam::Range, 0).In("0..3"),
  };
  return t;
}

void TKWMinMax::Filter(TBitmap* Src, TBitmap* Dst) { run(Src, Dst, true); }
void TKWMinMax::FilterPlain(TBitmap* Src, TBitmap* Dst) { run(Src, Dst, false); }

void TKWMinMax::run(TBitmap* Src, TBitmap* Dst, bool fast) {
  CheckFilterBitmaps(Src, Dst);
  const bool maximum = settings_->MinMax == 1;
  auto part = [fast, maximum](const uint32_t* const* rows, int range, int x, int last, uint32_t* d) {
    return fast ? MinMaxRowPart(rows, range, x, last, d, maximum) : x;
  };
  if (maximum)
    OrderFilter(*this, *Src, *Dst, settings_->Range, [](const uint8_t* v, int n) {
      uint8_t m = v[0];
      for (int k = 1; k < n; ++k) m = v[k] > m ? v[k] : m;
      return m;
    }, part);
  else
    OrderFilter(*this, *Src, *Dst, settings_->Range, [](const uint8_t* v, int n) {
      uint8_t m = v[0];
      for (int k = 1; k < n; ++k) m = v[k] < m ? v[k] : m;
      return m;
    }, part);
}

}  // namespace kwlib
