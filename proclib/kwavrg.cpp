#include "proclib/kwavrg.h"

#include <cmath>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/sysutils.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwmixerutil.h"

namespace kwlib {

const TParamTable<TAveragePack>& TAveragePack::Table() {
  using P = TAveragePack;
  static const TParamTable<P> t = {
      IntParam<P>("Mode", "Mode", &P::Mode, 0).In("0..3"),
      IntParam<P>("BGWait", "BGWait", &P::BGWait, 1).In("1..100"),
      IntParam<P>("FGWait", "FGWait", &P::FGWait, 1).In("1..100"),
  };
  return t;
}

uint8_t AverageWeighted(uint32_t b, uint32_t f, int32_t BGWait, int32_t FGWait) {
  // 32-bit signed arithmetic that wraps, division truncating toward zero.
  const int32_t num = int32_t(b * uint32_t(BGWait) + f * uint32_t(FGWait));
  const int32_t den = int32_t(uint32_t(BGWait) + uint32_t(FGWait));
  if (den == 0) throw EDivByZero();
  // The one quotient that does not fit (-2^31 / -1) wraps to itself.
  const int32_t q = den == -1 ? int32_t(0u - uint32_t(num)) : num / den;
  return uint8_t(uint32_t(q));
}

uint8_t AverageSquares(uint32_t b, uint32_t f) { return uint8_t((b * b + f * f) / (b + f + 1)); }

uint8_t AverageRoots(uint32_t b, uint32_t f) {
  const long double s = std::sqrt((long double)b) + std::sqrt((long double)f);
  const long double v = s * s * 1.41421356L / (long double)(b + f + 1);
  return uint8_t(uint64_t(Round(v)));
}

namespace {

std::unique_ptr<TPairTable> BuildTable(uint8_t (*fn)(uint32_t, uint32_t)) {
  auto t = std::make_unique<TPairTable>();
  for (uint32_t b = 0; b < 256; ++b)
    for (uint32_t f = 0; f < 256; ++f) t->v[b][f] = fn(b, f);
  return t;
}

}  // namespace

const TPairTable& SquaresTable() {
  static const std::unique_ptr<TPairTable> t = BuildTable(AverageSquares);
  return *t;
}

const TPairTable& RootsTable() {
  static const std::unique_ptr<TPairTable> t = BuildTable(AverageRoots);
  return *t;
}

void MakeWeightedTable(int32_t BGWait, int32_t FGWait, TPairTable& t) {
  if (int32_t(uint32_t(BGWait) + uint32_t(FGWait)) == 0) throw EDivByZero();
  for (uint32_t b = 0; b < 256; ++b)
    for (uint32_t f = 0; f < 256; ++f) t.v[b][f] = AverageWeighted(b, f, BGWait, FGWait);
}

void AverageRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n) {
  int x = 0;
#if defined(__SSE2__)
  // The rounding-up mean of bytes less the odd bit gives the rounding-down one.
  const __m128i colour = _mm_set1_epi32(int(kColourMask));
  const __m128i one = _mm_set1_epi8(1);
  for (; x + 4 <= n; x += 4) {
    const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + x));
    const __m128i odd = _mm_and_si128(_mm_xor_si128(bv, fv), one);
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(bv, fv), odd);
    const __m128i r = _mm_or_si128(_mm_and_si128(mean, colour), _mm_andnot_si128(colour, bv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), r);
  }
#endif
  for (; x < n; ++x) {
    const uint32_t bp = b[x], fp = f[x];
    // Per byte: common bits plus half the differing ones, no carry across.
    const uint32_t mean = (bp & fp) + (((bp ^ fp) >> 1) & 0x7F7F7F7Fu);
    d[x] = (mean & kColourMask) | (bp & kAlphaMask);
  }
}

void PairTableRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n, const TPairTable& t) {
  for (int x = 0; x < n; ++x) {
    const uint32_t bp = b[x], fp = f[x];
    d[x] = uint32_t(t.v[bp & 0xFF][fp & 0xFF]) | (uint32_t(t.v[(bp >> 8) & 0xFF][(fp >> 8) & 0xFF]) << 8) |
           (uint32_t(t.v[(bp >> 16) & 0xFF][(fp >> 16) & 0xFF]) << 16) | (bp & kAlphaMask);
  }
}

void TAverageMixer::Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) {
  CheckMixerBitmaps(BG, FG, Dst, Origin);
  const TAveragePack& p = *settings_;
  if (p.Mode < 0 || p.Mode > 3) return;
  const int w = BG->Width(), h = BG->Height();
  const TPairTable* table = nullptr;
  std::unique_ptr<TPairTable> weighted;
  if (p.Mode == 1) {
    // Nothing to divide when the parts are empty.
    if (w == 0 || h == 0) return;
    weighted = std::make_unique<TPairTable>();
    MakeWeightedTable(p.BGWait, p.FGWait, *weighted);
    table = weighted.get();
  } else if (p.Mode == 2) {
    table = &SquaresTable();
  } else if (p.Mode == 3) {
    table = &RootsTable();
  }
  SpreadRows(
      h, 32,
      [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
          uint32_t* d = Dst->Row32(Origin.Y + y) + Origin.X;
          if (table)
            PairTableRow(BG->Row32(y), FG->Row32(y), d, w, *table);
          else
            AverageRow(BG->Row32(y), FG->Row32(y), d, w);
        }
      },
      [&](int y) { Progress(MixRowRate(y, h)); });
}

}  // namespace kwlib
