#include "proclib/kwlgcmix.h"

#include "platform/canvas.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwmixerutil.h"

namespace kwlib {

const TParamTable<TLogicalMixerPack>& TLogicalMixerPack::Table() {
  using P = TLogicalMixerPack;
  static const TParamTable<P> t = {
      IntParam<P>("Operation", "Operation", &P::Operation, 0).In("0..2"),
  };
  return t;
}

uint32_t LogicalCopyMode(int32_t Operation) {
  switch (Operation) {
    case 0: return cmSrcAnd;
    case 1: return cmSrcPaint;
    case 2: return cmSrcInvert;
    default: return cmSrcCopy;
  }
}

void TKWLogicalMixer::Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) {
  CheckMixerBitmaps(BG, FG, Dst, Origin);
  // The background copied, the foreground combined onto it, band by band
  // (all at once when a part is the destination itself).
  TCanvas& c = Dst->Canvas();
  const uint32_t mode = LogicalCopyMode(settings_->Operation);
  auto band = [&](int y0, int y1) {
    c.DrawRows(Origin.X, Origin.Y, *BG, Origin.Y + y0, Origin.Y + y1, cmSrcCopy);
    c.DrawRows(Origin.X, Origin.Y, *FG, Origin.Y + y0, Origin.Y + y1, mode);
  };
  if (BG == Dst || FG == Dst)
    band(0, BG->Height());
  else
    SpreadRows(BG->Height(), 32, band, [](int) {});
}

}  // namespace kwlib
