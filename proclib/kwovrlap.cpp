#include "proclib/kwovrlap.h"

#include <algorithm>
#include <cmath>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/sysutils.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwmixerutil.h"

namespace kwlib {

const TParamTable<TKWOverlapPack>& TKWOverlapPack::Table() {
  // "R_Hight" and its kin are the registered names and the settings keys.
  using P = TKWOverlapPack;
  static const TParamTable<P> t = {
      IntParam<P>("R_Low", "R_Low", &P::RLow, 0).In("0..255"),
      IntParam<P>("R_Hight", "R_Hight", &P::RHigh, 127).In("0..255"),
      BoolParam<P>("R_Inv", "R_Inv", &P::RInv, false),
      BoolParam<P>("R_Smooth", "R_Smooth", &P::RSmooth, false),
      IntParam<P>("G_Low", "G_Low", &P::GLow, 0).In("0..255"),
      IntParam<P>("G_Hight", "G_Hight", &P::GHigh, 127).In("0..255"),
      BoolParam<P>("G_Inv", "G_Inv", &P::GInv, false),
      BoolParam<P>("G_Smooth", "G_Smooth", &P::GSmooth, false),
      IntParam<P>("B_Low", "B_Low", &P::BLow, 0).In("0..255"),
      IntParam<P>("B_Hight", "B_Hight", &P::BHigh, 127).In("0..255"),
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

TOverlapTables::TOverlapTables(const TWeightTable& b, const TWeightTable& g, const TWeightTable& r)
    : B(b), G(g), R(r) {
  constexpr uint64_t kLanes = 0x0001000100010001ull;
  for (int v = 0; v < 256; ++v) {
    WideB[v] = B[size_t(v)] * kLanes;
    WideG[v] = G[size_t(v)] * kLanes;
    WideR[v] = R[size_t(v)] * kLanes;
  }
}

namespace {

// The formula itself: w is the largest channel weight of the foreground
// pixel; each channel is (b * (65536 - w) + f * w) >> 16.
inline uint32_t OverlapPixel(uint32_t bp, uint32_t fp, const TOverlapTables& t) {
  const uint32_t w = std::max(std::max(t.B[fp & 0xFF], t.G[(fp >> 8) & 0xFF]), t.R[(fp >> 16) & 0xFF]);
  const uint32_t iw = 65536u - w;
  // B and R side by side in one 64-bit word (32 bits apart, each sum below
  // 2^25), G on its own: the same sums as three separate ones.
  const uint64_t brB = (bp & 0xFFu) | (uint64_t(bp & 0xFF0000u) << 16);
  const uint64_t brF = (fp & 0xFFu) | (uint64_t(fp & 0xFF0000u) << 16);
  const uint64_t br = brB * iw + brF * w;
  const uint32_t g = (((bp >> 8) & 0xFFu) * iw + ((fp >> 8) & 0xFFu) * w) >> 16;
  return uint32_t((br >> 16) & 0xFFu) | (g << 8) | (uint32_t((br >> 48) & 0xFFu) << 16) |
         (bp & kAlphaMask);
}

}  // namespace

void OverlapRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n, const TOverlapTables& t) {
  int x = 0;
#if defined(__SSE2__)
  // Four pixels at a time in 16-bit lanes.  (b * (65536 - w) + f * w) >> 16
  // is b + floor((f * w - b * w) / 65536); with the products split into
  // high and low halves (H, L) that is b + Hf - Hb, less one where Lf < Lb.
  const __m128i zero = _mm_setzero_si128();
  const __m128i sign = _mm_set1_epi16(int16_t(0x8000));
  const __m128i alpha = _mm_set1_epi32(int(kAlphaMask));
  const uint8_t* fb = reinterpret_cast<const uint8_t*>(f);
  auto blend = [sign](__m128i bb, __m128i ff, __m128i ww) {
    const __m128i hf = _mm_mulhi_epu16(ff, ww), hb = _mm_mulhi_epu16(bb, ww);
    const __m128i lf = _mm_mullo_epi16(ff, ww), lb = _mm_mullo_epi16(bb, ww);
    const __m128i borrow = _mm_cmplt_epi16(_mm_xor_si128(lf, sign), _mm_xor_si128(lb, sign));
    return _mm_add_epi16(_mm_add_epi16(bb, _mm_sub_epi16(hf, hb)), borrow);
  };
  for (; x + 4 <= n; x += 4) {
    auto weight = [&](int i) {
      const uint8_t* p = fb + 4 * (x + i);
      return _mm_cvtsi64_si128(int64_t(std::max(std::max(t.WideB[p[0]], t.WideG[p[1]]), t.WideR[p[2]])));
    };
    const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + x));
    const __m128i wlo = _mm_unpacklo_epi64(weight(0), weight(1));
    const __m128i whi = _mm_unpacklo_epi64(weight(2), weight(3));
    const __m128i lo = blend(_mm_unpacklo_epi8(bv, zero), _mm_unpacklo_epi8(fv, zero), wlo);
    const __m128i hi = blend(_mm_unpackhi_epi8(bv, zero), _mm_unpackhi_epi8(fv, zero), whi);
    const __m128i r = _mm_or_si128(_mm_andnot_si128(alpha, _mm_packus_epi16(lo, hi)), _mm_and_si128(alpha, bv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), r);
  }
#endif
  for (; x < n; ++x) d[x] = OverlapPixel(b[x], f[x], t);
}

void TKWOverlap::Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) {
  CheckMixerBitmaps(BG, FG, Dst, Origin);
  const TKWOverlapPack& p = *settings_;
  const auto tables = std::make_unique<TOverlapTables>(
      MakeWeightTable(p.BLow, p.BHigh, p.BInv, p.BSmooth), MakeWeightTable(p.GLow, p.GHigh, p.GInv, p.GSmooth),
      MakeWeightTable(p.RLow, p.RHigh, p.RInv, p.RSmooth));
  const int w = BG->Width(), h = BG->Height();
  SpreadRows(
      h, 32,
      [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
          OverlapRow(BG->Row32(y), FG->Row32(y), Dst->Row32(Origin.Y + y) + Origin.X, w, *tables);
      },
      [&](int y) { Progress(MixRowRate(y, Dst->Height())); });
}

}  // namespace kwlib
