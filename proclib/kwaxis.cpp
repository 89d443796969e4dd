#include "proclib/kwaxis.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "proclib/kwfilterutil.h"

namespace kwlib {

const TParamTable<TKWAxisPack>& TKWAxisPack::Table() {
  static const TParamTable<TKWAxisPack> t = {
      IntParam<TKWAxisPack>("Operate", "Operate", &TKWAxisPack::Operate, 0).In("0..4"),
  };
  return t;
}

void TKWAxisOperate::InitSize(TSize& Size) {
  if (settings_->Operate == 2 || settings_->Operate == 3) std::swap(Size.cx, Size.cy);
}

bool TKWAxisOperate::CanPreview() {
  const int op = settings_->Operate;
  return op == 0 || op == 1 || op == 4;
}

namespace {

// Pixels n of s in reverse order into d.
void Reversed(const uint32_t* s, int n, uint32_t* d) {
  int k = 0;
#if defined(__SSE2__)
  for (; k + 4 <= n; k += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 4 - k));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), _mm_shuffle_epi32(v, 0x1B));
  }
#endif
  for (; k < n; ++k) d[k] = s[n - 1 - k];
}

// A quarter turn of source rows [i0, i1): source (x, i) goes to (h - 1 - i, x)
// clockwise, to (i, w - 1 - x) counter-clockwise.  Four rows by four
// columns at a time, so that each destination row gets four pixels side by
// side.
void TurnRows(const TBitmap& Src, TBitmap& Dst, bool clockwise, int i0, int i1) {
  const int w = Src.Width(), h = Src.Height();
  // Rows are contiguous and bottom-up: row y + 1 lies one stride below row y.
  const uint32_t* s0 = Src.Row32(0);
  uint32_t* d0 = Dst.Row32(0);
  const ptrdiff_t ss = -ptrdiff_t(Src.BytesPerLine() / 4), ds = -ptrdiff_t(Dst.BytesPerLine() / 4);
  // The destination pixel of source (x, i).
  auto at = [&](int x, int i) {
    return clockwise ? d0 + x * ds + (h - 1 - i) : d0 + (w - 1 - x) * ds + i;
  };
  int i = i0;
#if defined(__SSE2__)
  // Columns in blocks of 256, each block through all rows of the band in
  // groups of four: the destination rows a block writes stay in the cache
  // until the band's part of them is complete.
  const int i4 = i0 + (i1 - i0) / 4 * 4, w4 = w / 4 * 4;
  for (int x0 = 0; x0 < w4; x0 += 256) {
    const int x1 = std::min(w4, x0 + 256);
    for (i = i0; i < i4; i += 4) {
      // Clockwise, the destination columns run against the source rows.
      const uint32_t* r[4];
      for (int k = 0; k < 4; ++k) r[k] = s0 + ptrdiff_t(clockwise ? i + 3 - k : i + k) * ss;
      uint32_t* const q = clockwise ? at(0, i + 3) : at(0, i);  // destination of (0, first row)
      const ptrdiff_t step = clockwise ? ds : -ds;               // one source column further
      for (int x = x0; x < x1; x += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[0] + x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[1] + x));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[2] + x));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[3] + x));
        const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
        const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
        uint32_t* o = q + x * step;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi64(ab0, cd0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + step), _mm_unpackhi_epi64(ab0, cd0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * step), _mm_unpacklo_epi64(ab1, cd1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * step), _mm_unpackhi_epi64(ab1, cd1));
      }
    }
  }
  for (i = i0; i < i4; ++i)
    for (int x = w4; x < w; ++x) *at(x, i) = s0[i * ss + x];
  i = i4;
#endif
  for (; i < i1; ++i)
    for (int x = 0; x < w; ++x) *at(x, i) = s0[i * ss + x];
}

}  // namespace

void TKWAxisOperate::Filter(TBitmap* Src, TBitmap* Dst) {
  const int op = settings_->Operate;
  if (op < 0 || op > 4) return;
  if (!Src || !Dst || Src->PixelFormat() != pf32bit || Dst->PixelFormat() != pf32bit)
    throw Exception("The filter needs a source and a destination with 32 bits per pixel.");
  const int w = Src->Width(), h = Src->Height();
  const bool turn = op == 2 || op == 3;
  if (Dst->Width() != (turn ? h : w) || Dst->Height() != (turn ? w : h))
    throw Exception("The destination of the axis operation has the wrong size.");
  if (w <= 0 || h <= 0) return;
  SpreadRows(
      h, 32,
      [&](int i0, int i1) {
        if (turn) {
          TurnRows(*Src, *Dst, op == 2, i0, i1);
          return;
        }
        for (int i = i0; i < i1; ++i) {
          const uint32_t* s = Src->Row32(i);
          switch (op) {
            case 0:
              Reversed(s, w, Dst->Row32(i));
              break;
            case 1:
              std::memcpy(Dst->Row32(h - 1 - i), s, size_t(w) * 4);
              break;
            case 4:
              Reversed(s, w, Dst->Row32(h - 1 - i));
              break;
          }
        }
      },
      [&](int i) { Progress(RowRate(i, h)); });
}

}  // namespace kwlib
