#include "proclib/kwselect.h"

#include "proclib/kwfilterutil.h"

namespace kwlib {

const TParamTable<TSelectorPack>& TSelectorPack::Table() {
  // "ValurG" is the parameter's registered name; its settings key is "ValueG".
  using P = TSelectorPack;
  static const TParamTable<P> t = {
      IntParam<P>("SourceR", "SourceR", &P::SourceR, 0).In("0..5"),
      IntParam<P>("SourceG", "SourceG", &P::SourceG, 1).In("0..5"),
      IntParam<P>("SourceB", "SourceB", &P::SourceB, 2).In("0..5"),
      IntParam<P>("ValueR", "ValueR", &P::ValueR, 128).In("0..255"),
      IntParam<P>("ValurG", "ValueG", &P::ValueG, 128).In("0..255"),
      IntParam<P>("ValueB", "ValueB", &P::ValueB, 128).In("0..255"),
  };
  return t;
}

namespace {

// How one output channel is formed: (pixel >> shift) & mask | constant.
// A source outside 0..5 is never written, so it keeps its initial 0.
struct TChannelRule {
  uint32_t shift = 0, mask = 0, constant = 0;
};

TChannelRule Rule(int32_t source, int32_t value) {
  switch (source) {
    case 0: return {16, 0xFF, 0};
    case 1: return {8, 0xFF, 0};
    case 2: return {0, 0xFF, 0};
    case 3: return {0, 0, 0};
    case 4: return {0, 0, 255};
    case 5: return {0, 0, uint32_t(value) & 0xFF};
    default: return {0, 0, 0};
  }
}

}  // namespace

void TKWSelector::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const TChannelRule r = Rule(settings_->SourceR, settings_->ValueR);
  const TChannelRule g = Rule(settings_->SourceG, settings_->ValueG);
  const TChannelRule b = Rule(settings_->SourceB, settings_->ValueB);
  MapPixels(this, Src, Dst, [&](uint32_t p) {
    uint32_t vr = ((p >> r.shift) & r.mask) | r.constant;
    uint32_t vg = ((p >> g.shift) & g.mask) | g.constant;
    uint32_t vb = ((p >> b.shift) & b.mask) | b.constant;
    return vb | (vg << 8) | (vr << 16);  // fourth byte 0
  });
}

}  // namespace kwlib
