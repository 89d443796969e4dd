#include "proclib/kwgray.h"

#include "proclib/kwfilterutil.h"
#include "proclib/luminance.h"

namespace kwlib {

void TKWGrayScale::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  MapPixels(this, Src, Dst, [](uint32_t p) {
    uint32_t g = uint32_t(RoundLuminance(p));
    return (p & 0xFF000000u) | (g * 0x010101u);
  });
}

}  // namespace kwlib
