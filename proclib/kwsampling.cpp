#include "proclib/kwsampling.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "proclib/kwfilterutil.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kwlib {

namespace {

inline void Put(uint32_t* d, uint32_t px) { *d = (*d & 0xFF000000u) | px; }

#if defined(__x86_64__)

#define KW_AVX2 [[gnu::target("avx2")]]

// What every group of four points shares.
struct TLanes {
  __m256d W, H, invW, invH, ox, oy, lastX, lastY;
  __m128i stride;
  const uint32_t* row0;
};

// Whether the lanes can be used for s: two columns at least, the origin at
// most 2^30 in size (so that every whole number on the way fits 32 bits)
// and the rows evenly spaced (a bitmap of at most 2^28 pixels: offsets fit
// 32 bits as well).
bool LanesFit(const TSampleSource& s) {
  return HasAVX2() && s.W > 1 && s.H > 0 && (s.H == 1 || s.Stride != 0) && std::abs(int64_t(s.ox)) <= (1 << 30) &&
         std::abs(int64_t(s.oy)) <= (1 << 30) && std::abs(int64_t(s.Stride)) * s.H < (int64_t(1) << 30);
}

KW_AVX2 TLanes LanesOf(const TSampleSource& s) {
  TLanes l;
  l.W = _mm256_set1_pd(s.W), l.H = _mm256_set1_pd(s.H);
  l.invW = _mm256_set1_pd(1.0 / s.W), l.invH = _mm256_set1_pd(1.0 / s.H);
  l.ox = _mm256_set1_pd(s.ox), l.oy = _mm256_set1_pd(s.oy);
  l.lastX = _mm256_set1_pd(s.W - 1), l.lastY = _mm256_set1_pd(s.H - 1);
  l.stride = _mm_set1_epi32(int32_t(s.Stride));
  l.row0 = s.Rows[0];
  return l;
}

// Whether all four points are near (|u|, |v| < 1e9, not NaN).
KW_AVX2 inline bool Near(__m256d U, __m256d V) {
  const __m256d sign = _mm256_set1_pd(-0.0), limit = _mm256_set1_pd(1e9);
  const __m256d near = _mm256_and_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, U), limit, _CMP_LT_OQ),
                                     _mm256_cmp_pd(_mm256_andnot_pd(sign, V), limit, _CMP_LT_OQ));
  return _mm256_movemask_pd(near) == 0xF;
}

// t into 0 .. len - 1 by whole multiples of len, for |t| < 2^31: the
// quotient from the reciprocal is off by at most one, which the two
// corrections take back.
KW_AVX2 inline __m256d WrapLanes(__m256d t, __m256d len, __m256d inv) {
  const __m256d q = _mm256_floor_pd(_mm256_mul_pd(t, inv));
  __m256d r = _mm256_sub_pd(t, _mm256_mul_pd(q, len));
  r = _mm256_add_pd(r, _mm256_and_pd(_mm256_cmp_pd(r, _mm256_setzero_pd(), _CMP_LT_OQ), len));
  r = _mm256_sub_pd(r, _mm256_and_pd(_mm256_cmp_pd(r, len, _CMP_GE_OQ), len));
  return r;
}

// Byte ch (0 B, 1 G, 2 R) of four pixels in double.
KW_AVX2 [[gnu::always_inline]] inline __m256d Channel(__m128i p, int ch) {
  const __m128i pick = _mm_setr_epi8(char(ch), -1, -1, -1, char(4 + ch), -1, -1, -1, char(8 + ch), -1, -1, -1,
                                     char(12 + ch), -1, -1, -1);
  return _mm256_cvtepi32_pd(_mm_shuffle_epi8(p, pick));
}

// One channel of the blend of four lanes, cut to a whole number (not yet
// held to 0 .. 255).
KW_AVX2 [[gnu::always_inline]] inline __m128i ChannelLanes(__m256d w1, __m256d w2, __m256d w3, __m256d w4, __m128i p1,
                                                           __m128i p2, __m128i p3, __m128i p4, int ch) {
  const __m256d val = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(w1, Channel(p1, ch)),
                                                                _mm256_mul_pd(w2, Channel(p2, ch))),
                                                  _mm256_mul_pd(w3, Channel(p3, ch))),
                                    _mm256_mul_pd(w4, Channel(p4, ch)));
  return _mm256_cvttpd_epi32(val);
}

// The 32-bit halves of four 64-bit lane masks.
KW_AVX2 [[gnu::always_inline]] inline __m128i Mask32(__m256d m) {
  return _mm256_castsi256_si128(
      _mm256_permutevar8x32_epi32(_mm256_castpd_si256(m), _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7)));
}

// Four near points up to their pixels' places: the offsets of the two
// pixel pairs of each row from the top row, which of each pair is column sx
// and which sx2, and the weights.  The pairs' cache lines are asked for
// ahead of their use.
struct TGroup {
  alignas(16) int32_t off[8];
  __m128i sxHi, sx2Hi;
  __m256d w1, w2, w3, w4;
};

KW_AVX2 [[gnu::always_inline]] inline void Prepare(const TLanes& l, __m256d U, __m256d V, TGroup& g) {
  const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
  const __m256d magic = _mm256_set1_pd(6755399441055744.0);
  // Truncated u and v (whole numbers in double), the fractions they leave.
  const __m256d tu = _mm256_round_pd(U, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  const __m256d tv = _mm256_round_pd(V, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  const __m256d sx = WrapLanes(_mm256_add_pd(tu, l.ox), l.W, l.invW);
  const __m256d sy = WrapLanes(_mm256_add_pd(tv, l.oy), l.H, l.invH);
  // The second column: sx at the edges, else sx - 1 when u rounds to sx.
  const __m256d nu = _mm256_sub_pd(_mm256_add_pd(U, magic), magic);
  const __m256d atLast = _mm256_cmp_pd(sx, l.lastX, _CMP_EQ_OQ);
  const __m256d edgeX = _mm256_or_pd(_mm256_cmp_pd(sx, zero, _CMP_EQ_OQ), atLast);
  const __m256d left = _mm256_andnot_pd(edgeX, _mm256_cmp_pd(nu, sx, _CMP_EQ_OQ));  // sx2 = sx - 1
  // The pair of neighbouring columns m, m + 1 that holds sx and sx2: sx is
  // the second of the pair when sx2 = sx - 1 or sx is the last column, sx2
  // when sx2 = sx + 1 or sx is the last column.
  const __m256d sxSecond = _mm256_or_pd(left, atLast);
  const __m256d m = _mm256_sub_pd(sx, _mm256_and_pd(sxSecond, one));
  g.sxHi = Mask32(sxSecond);
  g.sx2Hi = Mask32(_mm256_or_pd(_mm256_andnot_pd(_mm256_or_pd(left, edgeX), _mm256_cmp_pd(zero, zero, _CMP_EQ_OQ)), atLast));
  // The second row from r = H - 1 - sy: sy + 1 when v rounds to r.
  const __m256d r = _mm256_sub_pd(l.lastY, sy);
  const __m256d nv = _mm256_sub_pd(_mm256_add_pd(V, magic), magic);
  const __m256d edgeY = _mm256_or_pd(_mm256_cmp_pd(r, zero, _CMP_EQ_OQ), _mm256_cmp_pd(r, l.lastY, _CMP_EQ_OQ));
  __m256d sy2 = _mm256_blendv_pd(_mm256_sub_pd(sy, one), _mm256_add_pd(sy, one), _mm256_cmp_pd(nv, r, _CMP_EQ_OQ));
  sy2 = _mm256_blendv_pd(sy2, sy, edgeY);
  const __m256d fx = _mm256_sub_pd(U, tu), fy = _mm256_sub_pd(V, tv);
  const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
  g.w1 = _mm256_mul_pd(gx, gy), g.w2 = _mm256_mul_pd(gx, fy), g.w3 = _mm256_mul_pd(fx, gy), g.w4 = _mm256_mul_pd(fx, fy);
  // Offsets of the pairs: row * stride + m.
  const __m128i im = _mm256_cvttpd_epi32(m);
  _mm_store_si128(reinterpret_cast<__m128i*>(g.off), _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(sy), l.stride), im));
  _mm_store_si128(reinterpret_cast<__m128i*>(g.off + 4), _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(sy2), l.stride), im));
  for (int k = 0; k < 8; ++k) _mm_prefetch(reinterpret_cast<const char*>(l.row0 + g.off[k]), _MM_HINT_T0);
}

// The blend of a prepared group into d[0 .. 3], the fourth byte of d kept.
KW_AVX2 [[gnu::always_inline]] inline void Finish(const TLanes& l, const TGroup& g, uint32_t* d) {
  const uint32_t* base = l.row0;
  auto pair = [base](int32_t o) {
    uint64_t v;
    std::memcpy(&v, base + o, 8);
    return int64_t(v);
  };
  // The first pixel of each pair in the low half, the second in the high.
  const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  const __m256i g1 = _mm256_permutevar8x32_epi32(
      _mm256_setr_epi64x(pair(g.off[0]), pair(g.off[1]), pair(g.off[2]), pair(g.off[3])), order);
  const __m256i g2 = _mm256_permutevar8x32_epi32(
      _mm256_setr_epi64x(pair(g.off[4]), pair(g.off[5]), pair(g.off[6]), pair(g.off[7])), order);
  const __m128i lo1 = _mm256_castsi256_si128(g1), hi1 = _mm256_extracti128_si256(g1, 1);
  const __m128i lo2 = _mm256_castsi256_si128(g2), hi2 = _mm256_extracti128_si256(g2, 1);
  const __m128i p1 = _mm_blendv_epi8(lo1, hi1, g.sxHi), p2 = _mm_blendv_epi8(lo2, hi2, g.sxHi);
  const __m128i p3 = _mm_blendv_epi8(lo1, hi1, g.sx2Hi), p4 = _mm_blendv_epi8(lo2, hi2, g.sx2Hi);
  // The three channels held to 0 .. 255 by saturating packs (|t| < 2^15),
  // then laid out as B, G, R and a zero byte per pixel.
  const __m128i cb = ChannelLanes(g.w1, g.w2, g.w3, g.w4, p1, p2, p3, p4, 0);
  const __m128i cg = ChannelLanes(g.w1, g.w2, g.w3, g.w4, p1, p2, p3, p4, 1);
  const __m128i cr = ChannelLanes(g.w1, g.w2, g.w3, g.w4, p1, p2, p3, p4, 2);
  const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(cb, cg), _mm_packus_epi32(cr, _mm_setzero_si128()));
  const __m128i px = _mm_shuffle_epi8(bytes, _mm_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
  const __m128i alpha = _mm_set1_epi32(int32_t(0xFF000000u));
  const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(px, _mm_and_si128(old, alpha)));
}

// Groups of up to kGroups x 4 points: all of them prepared first, so that
// their pixels are on the way while the first ones are blended.
constexpr int kGroups = 16;

KW_AVX2 void BlendSamplesAVX2(const TSampleSource& s, const double* u, const double* v, int n, uint32_t* d) {
  const TLanes l = LanesOf(s);
  TGroup g[kGroups];
  bool near[kGroups];
  for (int k0 = 0; k0 < n; k0 += 4 * kGroups) {
    const int groups = std::min(kGroups, (n - k0) / 4);
    for (int i = 0; i < groups; ++i) {
      const __m256d U = _mm256_loadu_pd(u + k0 + 4 * i), V = _mm256_loadu_pd(v + k0 + 4 * i);
      near[i] = Near(U, V);
      if (near[i]) Prepare(l, U, V, g[i]);
    }
    for (int i = 0; i < groups; ++i) {
      const int k = k0 + 4 * i;
      if (near[i])
        Finish(l, g[i], d + k);
      else
        for (int j = k; j < k + 4; ++j) Put(d + j, BlendSample(s, u[j], v[j]));
    }
    for (int k = k0 + 4 * groups; k < std::min(n, k0 + 4 * kGroups); ++k) Put(d + k, BlendSample(s, u[k], v[k]));
  }
}

KW_AVX2 void BlendLineAVX2(const TSampleSource& s, int x0, int n, double ox, double a, double ua, double ta,
                           double b, double vb, double tb, uint32_t* d) {
  const TLanes l = LanesOf(s);
  const __m256d A = _mm256_set1_pd(a), UA = _mm256_set1_pd(ua), TA = _mm256_set1_pd(ta);
  const __m256d B = _mm256_set1_pd(b), VB = _mm256_set1_pd(vb), TB = _mm256_set1_pd(tb);
  const __m256d OX = _mm256_set1_pd(ox);
  auto scalar = [&](int k) {
    const double dx = double(x0 + k) - ox;
    Put(d + k, BlendSample(s, dx * a + ua + ta, dx * b + vb + tb));
  };
  TGroup g[kGroups];
  bool near[kGroups];
  for (int k0 = 0; k0 < n; k0 += 4 * kGroups) {
    const int groups = std::min(kGroups, (n - k0) / 4);
    for (int i = 0; i < groups; ++i) {
      const __m256d X = _mm256_add_pd(_mm256_set1_pd(x0 + k0 + 4 * i), _mm256_setr_pd(0, 1, 2, 3));
      const __m256d dx = _mm256_sub_pd(X, OX);
      const __m256d U = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, A), UA), TA);
      const __m256d V = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(dx, B), VB), TB);
      near[i] = Near(U, V);
      if (near[i]) Prepare(l, U, V, g[i]);
    }
    for (int i = 0; i < groups; ++i) {
      const int k = k0 + 4 * i;
      if (near[i])
        Finish(l, g[i], d + k);
      else
        for (int j = k; j < k + 4; ++j) scalar(j);
    }
    for (int k = k0 + 4 * groups; k < std::min(n, k0 + 4 * kGroups); ++k) scalar(k);
  }
}

#endif

}  // namespace

void BlendSamples(const TSampleSource& s, const double* u, const double* v, int n, uint32_t* d) {
#if defined(__x86_64__)
  if (LanesFit(s)) {
    BlendSamplesAVX2(s, u, v, n, d);
    return;
  }
#endif
  for (int k = 0; k < n; ++k) Put(d + k, BlendSample(s, u[k], v[k]));
}

void BlendLine(const TSampleSource& s, int x0, int n, double ox, double a, double ua, double ta, double b,
               double vb, double tb, uint32_t* d) {
#if defined(__x86_64__)
  if (LanesFit(s)) {
    BlendLineAVX2(s, x0, n, ox, a, ua, ta, b, vb, tb, d);
    return;
  }
#endif
  for (int k = 0; k < n; ++k) {
    const double dx = double(x0 + k) - ox;
    Put(d + k, BlendSample(s, dx * a + ua + ta, dx * b + vb + tb));
  }
}

}  // namespace kwlib
