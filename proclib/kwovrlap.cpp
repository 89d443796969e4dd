#include "proclib/kwovrlap.h"

#include <algorithm>
#include <cmath>

#include "platform/sysutils.h"
#include "proclib/kwmixerutil.h"

namespace kwlib {

const TParamTable<TKWOverlapPack>& TKWOverlapPack::Table() {
  // "R_Hight" and its kin are the registered names and the settings keys.
  using P = TKWOverlapPack;
  static const TParamTable<P> t = {
      IntParam<P>("R_Low", "R_Low", &P::RLow, 0),
      IntParam<P>("R_Hight", "R_Hight", &P::RHigh, 127),
      BoolParam<P>("R_Inv", "R_Inv", &P::RInv, false),
      BoolParam<P>("R_Smooth", "R_Smooth", &P::RSmooth, false),
      IntParam<P>("G_Low", "G_Low", &P::GLow, 0),
      IntParam<P>("G_Hight", "G_Hight", &P::GHigh, 127),
      BoolParam<P>("G_Inv", "G_Inv", &P::GInv, false),
      BoolParam<P>("G_Smooth", "G_Smooth", &P::GSmooth, false),
      IntParam<P>("B_Low", "B_Low", &P::BLow, 0),
      IntParam<P>("B_Hight", "B_Hight", &P::BHigh, 127),
      BoolParam<P>("B_Inv", "B_Inv", &P::BInv, false),
      BoolParam<P>("B_Smooth", "B_Smooth", &P::BSmooth, false),
  };
  return t;
}

TWeightTable MakeWeightTable(int32_t Low, int32_t High, bool Inv, bool Smooth) {
  TWeightTable t{};
  if (!Smooth) {
    for (int v = 0; v < 256; ++v) t[size_t(v)] = (v < Low || v > High) ? 65535u : 0u;
  } else {
    // A bell of the cubed distance from the middle of the range, one
    // half-width wide; the weight is what the bell leaves.
    const double mu = (double(Low) + double(High)) / 2.0;
    double sigma = std::fabs(double(Low) - double(High)) / 2.0;
    if (sigma < 0.001) sigma = 1.0;
    for (int v = 0; v < 256; ++v) {
      const long double z = ((long double)v - (long double)mu) / (long double)sigma;
      const long double bell = std::exp(-0.5L * std::fabs(z * z * z));
      t[size_t(v)] = uint32_t(65535 - Round(65535.0L * bell));
    }
  }
  if (Inv)
    for (auto& e : t) e = 65535u - e;
  return t;
}

void OverlapRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n, const TWeightTable& tb,
                const TWeightTable& tg, const TWeightTable& tr) {
  for (int x = 0; x < n; ++x) {
    const uint32_t bp = b[x], fp = f[x];
    const uint32_t w = std::max(std::max(tb[fp & 0xFF], tg[(fp >> 8) & 0xFF]), tr[(fp >> 16) & 0xFF]);
    const uint32_t iw = 65536u - w;
    // B and R side by side in one 64-bit word (32 bits apart, each sum
    // below 2^25), G on its own: the same sums as three separate ones.
    const uint64_t brB = (bp & 0xFFu) | (uint64_t(bp & 0xFF0000u) << 16);
    const uint64_t brF = (fp & 0xFFu) | (uint64_t(fp & 0xFF0000u) << 16);
    const uint64_t br = brB * iw + brF * w;
    const uint32_t g = (((bp >> 8) & 0xFFu) * iw + ((fp >> 8) & 0xFFu) * w) >> 16;
    d[x] = uint32_t((br >> 16) & 0xFFu) | (g << 8) | (uint32_t((br >> 48) & 0xFFu) << 16) |
           (bp & kAlphaMask);
  }
}

void TKWOverlap::Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) {
  CheckMixerBitmaps(BG, FG, Dst, Origin);
  const TKWOverlapPack& p = *settings_;
  const TWeightTable tr = MakeWeightTable(p.RLow, p.RHigh, p.RInv, p.RSmooth);
  const TWeightTable tg = MakeWeightTable(p.GLow, p.GHigh, p.GInv, p.GSmooth);
  const TWeightTable tb = MakeWeightTable(p.BLow, p.BHigh, p.BInv, p.BSmooth);
  const int w = BG->Width(), h = BG->Height();
  for (int y = 0; y < h; ++y) {
    OverlapRow(BG->Row32(y), FG->Row32(y), Dst->Row32(Origin.Y + y) + Origin.X, w, tb, tg, tr);
    if (y % 32 == 31) Progress(MixRowRate(y, Dst->Height()));
  }
}

}  // namespace kwlib
