#include "proclib/kwrgb.h"

#include <algorithm>

#include "platform/sysutils.h"
#include "proclib/kwfilterutil.h"

namespace kwlib {

const TParamTable<TKWRGBPack>& TKWRGBPack::Table() {
  static const TParamTable<TKWRGBPack> t = {
      SingleParam<TKWRGBPack>("Red", "Red", &TKWRGBPack::Red, 1.0f).In("0..5"),
      SingleParam<TKWRGBPack>("Green", "Green", &TKWRGBPack::Green, 1.0f).In("0..5"),
      SingleParam<TKWRGBPack>("Blue", "Blue", &TKWRGBPack::Blue, 1.0f).In("0..5"),
  };
  return t;
}

void TRGBFilter::ScaleTable(float f, uint8_t table[256]) {
  for (int v = 0; v < 256; ++v) {
    long double p = (long double)f * v;
    // NaN counts as 0; far negative products as the most negative 32-bit value
    int64_t r = (p != p) ? 0 : p >= 255.0L ? 255 : p <= -2147483648.0L ? INT32_MIN : Round(p);
    table[v] = uint8_t(std::min<int64_t>(r, 255));
  }
}

void TRGBFilter::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  uint8_t tr[256], tg[256], tb[256];
  ScaleTable(settings_->Red, tr);
  ScaleTable(settings_->Green, tg);
  ScaleTable(settings_->Blue, tb);
  MapPixels(this, Src, Dst, [&](uint32_t p) { return MapChannels(p, tb, tg, tr); });
}

}  // namespace kwlib
