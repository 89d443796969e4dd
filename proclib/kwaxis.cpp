#include "proclib/kwaxis.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
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

#if defined(__x86_64__)
// out[k] = column k of the 8 x 8 pixels v[0..7].
[[gnu::target("avx2")]] inline void Transpose8(const __m256i* v, __m256i* out) {
  const __m256i t0 = _mm256_unpacklo_epi32(v[0], v[1]), t1 = _mm256_unpackhi_epi32(v[0], v[1]);
  const __m256i t2 = _mm256_unpacklo_epi32(v[2], v[3]), t3 = _mm256_unpackhi_epi32(v[2], v[3]);
  const __m256i t4 = _mm256_unpacklo_epi32(v[4], v[5]), t5 = _mm256_unpackhi_epi32(v[4], v[5]);
  const __m256i t6 = _mm256_unpacklo_epi32(v[6], v[7]), t7 = _mm256_unpackhi_epi32(v[6], v[7]);
  const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  out[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
  out[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
  out[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
  out[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
  out[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
  out[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
  out[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
  out[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

// Sixteen source rows into whole 64-byte lines of the destination rows,
// written past the caches: each destination row gets one full line from
// the two groups of eight rows (r[g]: the rows of group g in the order of
// the destination row; q[g]: the destination of its column 0), stored back
// to back so that the processor sends the line out in one go
// instead of first reading it.  The destination parts must be 32-byte
// aligned; the caller fences before the rows are handed on.
[[gnu::target("avx2")]] void TurnSixteenPastCaches(const uint32_t* const (*r)[8], uint32_t* const* q, int w8,
                                                   ptrdiff_t step) {
  for (int x = 0; x < w8; x += 8) {
    __m256i out[2][8];
    for (int g = 0; g < 2; ++g) {
      __m256i v[8];
      for (int k = 0; k < 8; ++k) v[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r[g][k] + x));
      Transpose8(v, out[g]);
    }
    for (int k = 0; k < 8; ++k) {
      _mm256_stream_si256(reinterpret_cast<__m256i*>(q[0] + (x + k) * step), out[0][k]);
      _mm256_stream_si256(reinterpret_cast<__m256i*>(q[1] + (x + k) * step), out[1][k]);
    }
  }
}
#endif

#if defined(__x86_64__)
// Destination rows that are whole 64-byte lines apart from an aligned
// start: a group of sixteen source rows starting at a multiple of 16 fills
// lines exactly (the destination width, the source height, is a multiple of
// 16).
bool TurnsSixteenRows(const TBitmap& Src, const TBitmap& Dst) {
  return HasAVX2() && Src.Width() >= 8 && Src.Height() % 16 == 0 && Dst.BytesPerLine() % 64 == 0 &&
         reinterpret_cast<uintptr_t>(Dst.Row32(0)) % 64 == 0;
}
#else
bool TurnsSixteenRows(const TBitmap&, const TBitmap&) { return false; }
#endif

#if defined(__x86_64__)
// A quarter turn of the pixels [j0, j1) of every destination row (pixel j of
// a destination row comes from the source row source(j)), in whole 64-byte
// lines stored past the caches, for any height of 16 rows and more.  A
// destination row's lines begin at its phase (the pixels from its start to
// the next line boundary), a multiple of Step (4, 2 or 1 as the height is a
// multiple of 4, even or odd), and the phases of neighbouring columns repeat
// all along the picture.  Eight columns at a time, pieces of four source
// rows from t on are turned; a line is four pieces, shifted by the phase's
// remainder of 4 rows.  Each destination row gets its line in two stores
// back to back.  A line belongs to the band in which it begins (it may reach
// into the next band's rows); the pixels of a row before its first whole
// line and after its last are stored one at a time by the band they lie in.
// j0 must be a multiple of 16; the caller fences.
template <int Step, class Source, class Dest>
[[gnu::target("avx2")]] void TurnLinesPastCaches(Source source, Dest dest, int w, int h, int j0, int j1) {
  const int w8 = w / 8 * 8;
  auto end = [&](int ph) { return ph + (h - ph) / 16 * 16; };
  // Neighbouring destination rows lie 4 h bytes apart, so 16 / Step of them
  // are whole lines apart: the phases repeat every 16 / Step columns (every
  // 8 columns at most for even heights), and columns x and x + 4 differ by a
  // multiple of 4 pixels.
  constexpr int kRepeat = Step == 1 ? 16 : 8;
  const ptrdiff_t column = dest(1) - dest(0);
  const uintptr_t start = reinterpret_cast<uintptr_t>(dest(0));
  int ph[kRepeat];
  for (int c = 0; c < kRepeat; ++c) ph[c] = int((0 - (start + uintptr_t(c * column * 4))) % 64 / 4);
  // Lines begin at most 15 pixels into [t, t + 16): pieces 0 to 6 (7 with
  // shifted ones) of the rows from t on.  All of them are turned every time,
  // so that the loads of a piece always come from the same instructions and
  // the processor sees each of them stride on.
  constexpr int kPieces = Step == 4 ? 7 : 8;
  // The shifts of 1, 2 and 3 rows that lines may need (v below).
  constexpr int kShifted = Step == 1 ? 3 : 1;
  for (int t = j0; t < j1; t += 16) {
    bool whole[kRepeat], any = false;
    for (int c = 0; c < kRepeat; ++c) {
      whole[c] = t + ph[c] < j1 && t + ph[c] + 16 <= end(ph[c]);
      any = any || whole[c];
    }
    if (!any) continue;
    // Rows past the last are read as the last and never stored.
    const uint32_t* r[kPieces][4];
    for (int a = 0; a < kPieces; ++a)
      for (int k = 0; k < 4; ++k) r[a][k] = source(t + 4 * a + k);
    uint32_t* q0 = dest(0) + t;
    for (int x = 0; x < w8; x += 8, q0 += 8 * column) {
      // u[a][k]: piece a of column x + k (low half) and of column x + k + 4;
      // v[..][a][k]: the same, shifted by some rows.
      __m256i u[kPieces][4], v[kShifted][Step == 4 ? 1 : kPieces - 1][4];
#pragma GCC unroll 8
      for (int a = 0; a < kPieces; ++a) {
        const __m256i p0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r[a][0] + x));
        const __m256i p1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r[a][1] + x));
        const __m256i p2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r[a][2] + x));
        const __m256i p3 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r[a][3] + x));
        const __m256i t0 = _mm256_unpacklo_epi32(p0, p1), t1 = _mm256_unpackhi_epi32(p0, p1);
        const __m256i t2 = _mm256_unpacklo_epi32(p2, p3), t3 = _mm256_unpackhi_epi32(p2, p3);
        u[a][0] = _mm256_unpacklo_epi64(t0, t2);
        u[a][1] = _mm256_unpackhi_epi64(t0, t2);
        u[a][2] = _mm256_unpacklo_epi64(t1, t3);
        u[a][3] = _mm256_unpackhi_epi64(t1, t3);
      }
      if constexpr (Step == 2)
#pragma GCC unroll 8
        for (int a = 0; a + 1 < kPieces; ++a)
          for (int k = 0; k < 4; ++k) v[0][a][k] = _mm256_alignr_epi8(u[a + 1][k], u[a][k], 8);
      if constexpr (Step == 1)
#pragma GCC unroll 8
        for (int a = 0; a + 1 < kPieces; ++a)
          for (int k = 0; k < 4; ++k) {
            v[0][a][k] = _mm256_alignr_epi8(u[a + 1][k], u[a][k], 4);
            v[1][a][k] = _mm256_alignr_epi8(u[a + 1][k], u[a][k], 8);
            v[2][a][k] = _mm256_alignr_epi8(u[a + 1][k], u[a][k], 12);
          }
      const int* phx = Step == 1 ? ph + (x & 8) : ph;  // the phases of columns x .. x + 7
      const bool* wx = Step == 1 ? whole + (x & 8) : whole;
      for (int k = 0; k < 4; ++k) {
        // Columns k and k + 4 take the same shift.
        const int shift = Step == 4 ? 0 : phx[k] % 4;
        const __m256i(*p)[4] = shift == 0 ? u : v[Step == 1 ? shift - 1 : 0];
        const int a = phx[k] / 4, b = Step == 4 ? a : phx[k + 4] / 4;
        if (wx[k]) {
          auto* line = reinterpret_cast<__m256i*>(q0 + k * column + phx[k]);
          _mm256_stream_si256(line, _mm256_permute2x128_si256(p[a][k], p[a + 1][k], 0x20));
          _mm256_stream_si256(line + 1, _mm256_permute2x128_si256(p[a + 2][k], p[a + 3][k], 0x20));
        }
        if (Step == 4 ? wx[k] : wx[k + 4]) {
          auto* line = reinterpret_cast<__m256i*>(q0 + (k + 4) * column + (Step == 4 ? phx[k] : phx[k + 4]));
          _mm256_stream_si256(line, _mm256_permute2x128_si256(p[b][k], p[b + 1][k], 0x31));
          _mm256_stream_si256(line + 1, _mm256_permute2x128_si256(p[b + 2][k], p[b + 3][k], 0x31));
        }
      }
    }
  }
  // Pixels outside whole lines (only near the ends of the rows), and the
  // columns left over.
  int firstLine = 0, lastEnd = h;
  for (int c = 0; c < kRepeat; ++c) firstLine = std::max(firstLine, ph[c]), lastEnd = std::min(lastEnd, end(ph[c]));
  const bool outside = j0 < firstLine || j1 > lastEnd;
  for (int x = outside ? 0 : w8; x < w; ++x) {
    uint32_t* q = dest(x);
    const int p = x < w8 ? ph[x % kRepeat] : h, e = x < w8 ? end(p) : h;
    for (int j = j0; j < std::min(j1, p); ++j) q[j] = source(j)[x];
    for (int j = std::max(j0, e); j < j1; ++j) q[j] = source(j)[x];
  }
}
#endif

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
  // A group of N source rows from first on, in the order their pixels take
  // in a destination row (clockwise they run against the source rows), and
  // the destination of the group's column 0.
  auto group = [&](int first, auto& rows, uint32_t*& dest) {
    constexpr int n = int(std::extent_v<std::remove_reference_t<decltype(rows)>>);
    for (int k = 0; k < n; ++k) rows[k] = s0 + ptrdiff_t(clockwise ? first + n - 1 - k : first + k) * ss;
    dest = clockwise ? at(0, first + n - 1) : at(0, first);
  };
  // Source columns from x0 on of rows [from, to), a pixel at a time.
  auto columnsFrom = [&](int x0, int from, int to) {
    for (int j = from; j < to; ++j)
      for (int x = x0; x < w; ++x) *at(x, j) = s0[j * ss + x];
  };
  int i = i0;
#if defined(__x86_64__)
  // Sixteen rows at a time into whole destination lines where they fit.
  if (TurnsSixteenRows(Src, Dst)) {
    const int w8 = w / 8 * 8;
    for (; i + 16 <= i1 && i % 16 == 0; i += 16) {
      const uint32_t* r[2][8];
      uint32_t* q[2];
      for (int g = 0; g < 2; ++g) group(i + 8 * g, r[g], q[g]);
      TurnSixteenPastCaches(r, q, w8, clockwise ? ds : -ds);
      columnsFrom(w8, i, i + 16);
    }
    _mm_sfence();
    i0 = i;  // rows not in a whole group go the ways below
  }
  i = i0;
#endif
#if defined(__SSE2__)
  // Four columns at a time through all groups of four rows of the band:
  // each of the four destination rows gets the band's part (up to 128
  // bytes) in one go, and every source row is read straight on.
  const int groups = (i1 - i0) / 4, w4 = w / 4 * 4;
  const uint32_t* r[kBandRows / 4][4];
  uint32_t* q[kBandRows / 4];
  for (int g = 0; g < groups; ++g) group(i0 + 4 * g, r[g], q[g]);
  const ptrdiff_t step = clockwise ? ds : -ds;  // one source column further
  for (int x = 0; x < w4; x += 4)
    for (int g = 0; g < groups; ++g) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[g][0] + x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[g][1] + x));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[g][2] + x));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[g][3] + x));
      const __m128i ab0 = _mm_unpacklo_epi32(a, b), ab1 = _mm_unpackhi_epi32(a, b);
      const __m128i cd0 = _mm_unpacklo_epi32(c, d), cd1 = _mm_unpackhi_epi32(c, d);
      uint32_t* o = q[g] + x * step;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi64(ab0, cd0));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + step), _mm_unpackhi_epi64(ab0, cd0));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2 * step), _mm_unpacklo_epi64(ab1, cd1));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 3 * step), _mm_unpackhi_epi64(ab1, cd1));
    }
  const int i4 = i0 + 4 * groups;
  columnsFrom(w4, i0, i4);
  i = i4;
#endif
  columnsFrom(0, i, i1);
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
#if defined(__x86_64__)
  // Other heights (or destinations whose lines do not start with the
  // rows): bands of destination columns in whole lines.
  const bool lines = turn && HasAVX2() && w >= 8 && h >= 16 && !TurnsSixteenRows(*Src, *Dst);
#else
  const bool lines = false;
#endif
  SpreadRows(
      h, 32,
      [&](int i0, int i1) {
#if defined(__x86_64__)
        if (lines) {
          // Destination columns [i0, i1); clockwise they come from the
          // source rows counted from the bottom.
          const uint32_t* s0 = Src->Row32(0);
          uint32_t* d0 = Dst->Row32(0);
          const ptrdiff_t ss = -ptrdiff_t(Src->BytesPerLine() / 4), ds = -ptrdiff_t(Dst->BytesPerLine() / 4);
          auto run = [&](auto step) {
            if (op == 2)
              TurnLinesPastCaches<step()>([&](int j) { return s0 + (h - 1 - std::min(j, h - 1)) * ss; },
                                          [&](int x) { return d0 + x * ds; }, w, h, i0, i1);
            else
              TurnLinesPastCaches<step()>([&](int j) { return s0 + std::min(j, h - 1) * ss; },
                                          [&](int x) { return d0 + (w - 1 - x) * ds; }, w, h, i0, i1);
          };
          if (h % 4 == 0)
            run(std::integral_constant<int, 4>());
          else if (h % 2 == 0)
            run(std::integral_constant<int, 2>());
          else
            run(std::integral_constant<int, 1>());
          _mm_sfence();
          return;
        }
#endif
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
