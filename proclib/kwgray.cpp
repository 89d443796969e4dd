#include "proclib/kwgray.h"

#include "proclib/kwfilterutil.h"
#include "proclib/luminance.h"

namespace kwlib {

void TKWGrayScale::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const int w = Dst->Width(), h = Dst->Height();
  for (int i = 0; i < h; ++i) {
    if (i % 32 == 31) Progress(RowRate(i, h));
    const uint32_t* s = Src->Row32(i);
    uint32_t* d = Dst->Row32(i);
    for (int x = 0; x < w; ++x) {
      uint32_t p = s[x];
      uint32_t g = uint32_t(RoundLuminance(p));
      d[x] = (p & 0xFF000000u) | (g * 0x010101u);
    }
  }
}

}  // namespace kwlib
