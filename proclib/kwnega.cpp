#include "proclib/kwnega.h"

#include "platform/canvas.h"
#include "proclib/kwfilterutil.h"

namespace kwlib {

void TKWNegativeFilter::Filter(TBitmap* Src, TBitmap* Dst) {
  if (Src && Dst && Src->PixelFormat() == pf32bit && Dst->PixelFormat() == pf32bit &&
      Src->Width() == Dst->Width() && Src->Height() == Dst->Height()) {
    // The NOTSRCCOPY copy of the whole bitmap, done directly: dst = ~src on
    // all four bytes.  No progress.
    const int w = Src->Width();
    SpreadRows(
        Src->Height(), 32,
        [&](int y0, int y1) {
          for (int y = y0; y < y1; ++y) {
            const uint32_t* s = Src->Row32(y);
            uint32_t* d = Dst->Row32(y);
            for (int x = 0; x < w; ++x) d[x] = ~s[x];
          }
        },
        [](int) {});
    return;
  }
  if (!Src || !Dst) throw Exception("The filter needs a source and a destination bitmap.");
  TCanvas& c = Dst->Canvas();
  uint32_t old = c.CopyMode;
  c.CopyMode = cmNotSrcCopy;
  try {
    c.Draw(0, 0, *Src);
  } catch (...) {
    c.CopyMode = old;
    throw;
  }
  c.CopyMode = old;
}

}  // namespace kwlib
