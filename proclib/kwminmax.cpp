#include "proclib/kwminmax.h"

#include "proclib/kwwindow.h"

namespace kwlib {

const TParamTable<TKWMinMaxParam>& TKWMinMaxParam::Table() {
  static const TParamTable<TKWMinMaxParam> t = {
      IntParam<TKWMinMaxParam>("MinMax", "MinMax", &TKWMinMaxParam::MinMax, 0),
      IntParam<TKWMinMaxParam>("Range", "Range", &TKWMinMaxParam::Range, 0),
  };
  return t;
}

void TKWMinMax::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  if (settings_->MinMax == 1)
    OrderFilter(*this, *Src, *Dst, settings_->Range, [](const uint8_t* v, int n) {
      uint8_t m = v[0];
      for (int k = 1; k < n; ++k) m = v[k] > m ? v[k] : m;
      return m;
    });
  else
    OrderFilter(*this, *Src, *Dst, settings_->Range, [](const uint8_t* v, int n) {
      uint8_t m = v[0];
      for (int k = 1; k < n; ++k) m = v[k] < m ? v[k] : m;
      return m;
    });
}

}  // namespace kwlib
