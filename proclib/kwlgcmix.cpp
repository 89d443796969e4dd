#include "proclib/kwlgcmix.h"

#include "platform/canvas.h"
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
  TCanvas& c = Dst->Canvas();
  const uint32_t saved = c.CopyMode;
  struct Restore {
    TCanvas& c;
    uint32_t mode;
    ~Restore() { c.CopyMode = mode; }
  } restore{c, saved};
  c.CopyMode = cmSrcCopy;
  c.Draw(Origin.X, Origin.Y, *BG);
  c.CopyMode = LogicalCopyMode(settings_->Operation);
  c.Draw(Origin.X, Origin.Y, *FG);
}

}  // namespace kwlib
