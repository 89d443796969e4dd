#include "proclib/kwdiffer.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "proclib/kwfilterutil.h"
#include "proclib/kwmixerutil.h"

namespace kwlib {

const TParamTable<TKWDifferPack>& TKWDifferPack::Table() {
  static const TParamTable<TKWDifferPack> t;
  return t;
}

namespace {

inline uint32_t DifferPixel(uint32_t bp, uint32_t fp) {
  uint32_t r = bp & kAlphaMask;
  for (int s = 0; s < 24; s += 8) {
    const int bc = int((bp >> s) & 0xFF), fc = int((fp >> s) & 0xFF);
    r |= uint32_t(bc > fc ? bc - fc : fc - bc) << s;
  }
  return r;
}

}  // namespace

void DifferRow(const uint32_t* b, const uint32_t* f, uint32_t* d, int n) {
  int x = 0;
#if defined(__SSE2__)
  // Four pixels at a time: max - min of unsigned bytes is the distance.
  const __m128i colour = _mm_set1_epi32(int(kColourMask));
  for (; x + 4 <= n; x += 4) {
    const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + x));
    const __m128i diff = _mm_sub_epi8(_mm_max_epu8(bv, fv), _mm_min_epu8(bv, fv));
    const __m128i r = _mm_or_si128(_mm_and_si128(diff, colour), _mm_andnot_si128(colour, bv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), r);
  }
#endif
  for (; x < n; ++x) d[x] = DifferPixel(b[x], f[x]);
}

void TKWDiffer::Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) {
  CheckMixerBitmaps(BG, FG, Dst, Origin);
  const int w = BG->Width(), h = BG->Height();
  SpreadRows(
      h, 64,
      [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y)
          DifferRow(BG->Row32(y), FG->Row32(y), Dst->Row32(Origin.Y + y) + Origin.X, w);
      },
      [&](int y) { Progress(MixRowRate(y, Dst->Height())); });
}

}  // namespace kwlib
