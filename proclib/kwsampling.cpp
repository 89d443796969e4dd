#include "proclib/kwsampling.h"

#include <cstdlib>

#include "proclib/kwfilterutil.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kwlib {

namespace {

#if defined(__x86_64__)

#define KW_AVX2 [[gnu::target("avx2")]]

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

// One channel (shift sh) of the blend of four lanes.
KW_AVX2 inline __m128i ChannelLanes(const __m256d w[4], const __m128i p[4], int sh) {
  const __m128i ff = _mm_set1_epi32(0xFF);
  __m256d c[4];
  for (int k = 0; k < 4; ++k)
    c[k] = _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(p[k], sh), ff));
  const __m256d val = _mm256_add_pd(
      _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(w[0], c[0]), _mm256_mul_pd(w[1], c[1])), _mm256_mul_pd(w[2], c[2])),
      _mm256_mul_pd(w[3], c[3]));
  const __m128i t = _mm256_cvttpd_epi32(val);
  return _mm_slli_epi32(_mm_min_epi32(_mm_max_epi32(t, _mm_setzero_si128()), ff), sh);
}

// The near points (|u|, |v| < 1e9) four at a time as BlendSample computes
// them, with an origin of at most 2^30 in size, so that every whole number
// on the way fits 32 bits; a group with a far point is done one by one.
KW_AVX2 void BlendSamplesAVX2(const TSampleSource& s, const double* u, const double* v, int n,
                              uint32_t* out) {
  const __m256d limit = _mm256_set1_pd(1e9), magic = _mm256_set1_pd(6755399441055744.0);
  const __m256d sign = _mm256_set1_pd(-0.0), one = _mm256_set1_pd(1.0);
  const __m256d W = _mm256_set1_pd(s.W), H = _mm256_set1_pd(s.H);
  const __m256d invW = _mm256_set1_pd(1.0 / s.W), invH = _mm256_set1_pd(1.0 / s.H);
  const __m256d ox = _mm256_set1_pd(s.ox), oy = _mm256_set1_pd(s.oy);
  const __m256d lastX = _mm256_set1_pd(s.W - 1), lastY = _mm256_set1_pd(s.H - 1);
  const __m256d zero = _mm256_setzero_pd();
  int k = 0;
  for (; k + 4 <= n; k += 4) {
    const __m256d U = _mm256_loadu_pd(u + k), V = _mm256_loadu_pd(v + k);
    const __m256d near = _mm256_and_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, U), limit, _CMP_LT_OQ),
                                       _mm256_cmp_pd(_mm256_andnot_pd(sign, V), limit, _CMP_LT_OQ));
    if (_mm256_movemask_pd(near) != 0xF) {
      for (int j = k; j < k + 4; ++j) out[j] = BlendSample(s, u[j], v[j]);
      continue;
    }
    // Truncated u and v (whole numbers in double), the fractions they leave.
    const __m256d tu = _mm256_round_pd(U, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d tv = _mm256_round_pd(V, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d sx = WrapLanes(_mm256_add_pd(tu, ox), W, invW);
    const __m256d sy = WrapLanes(_mm256_add_pd(tv, oy), H, invH);
    // The second column: sx at the edges, else sx - 1 when u rounds to sx.
    const __m256d nu = _mm256_sub_pd(_mm256_add_pd(U, magic), magic);
    const __m256d edgeX = _mm256_or_pd(_mm256_cmp_pd(sx, zero, _CMP_EQ_OQ), _mm256_cmp_pd(sx, lastX, _CMP_EQ_OQ));
    __m256d sx2 = _mm256_blendv_pd(_mm256_add_pd(sx, one), _mm256_sub_pd(sx, one), _mm256_cmp_pd(nu, sx, _CMP_EQ_OQ));
    sx2 = _mm256_blendv_pd(sx2, sx, edgeX);
    // The second row from r = H - 1 - sy: sy + 1 when v rounds to r.
    const __m256d r = _mm256_sub_pd(lastY, sy);
    const __m256d nv = _mm256_sub_pd(_mm256_add_pd(V, magic), magic);
    const __m256d edgeY = _mm256_or_pd(_mm256_cmp_pd(r, zero, _CMP_EQ_OQ), _mm256_cmp_pd(r, lastY, _CMP_EQ_OQ));
    __m256d sy2 = _mm256_blendv_pd(_mm256_sub_pd(sy, one), _mm256_add_pd(sy, one), _mm256_cmp_pd(nv, r, _CMP_EQ_OQ));
    sy2 = _mm256_blendv_pd(sy2, sy, edgeY);
    const __m256d fx = _mm256_sub_pd(U, tu), fy = _mm256_sub_pd(V, tv);
    const __m256d gx = _mm256_sub_pd(one, fx), gy = _mm256_sub_pd(one, fy);
    const __m256d w[4] = {_mm256_mul_pd(gx, gy), _mm256_mul_pd(gx, fy), _mm256_mul_pd(fx, gy),
                          _mm256_mul_pd(fx, fy)};
    alignas(16) int32_t ix[4], ix2[4], iy[4], iy2[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(ix), _mm256_cvttpd_epi32(sx));
    _mm_store_si128(reinterpret_cast<__m128i*>(ix2), _mm256_cvttpd_epi32(sx2));
    _mm_store_si128(reinterpret_cast<__m128i*>(iy), _mm256_cvttpd_epi32(sy));
    _mm_store_si128(reinterpret_cast<__m128i*>(iy2), _mm256_cvttpd_epi32(sy2));
    alignas(16) uint32_t q[4][4];
    for (int j = 0; j < 4; ++j) {
      const uint32_t* row = s.Rows[iy[j]];
      const uint32_t* row2 = s.Rows[iy2[j]];
      q[0][j] = row[ix[j]], q[1][j] = row2[ix[j]], q[2][j] = row[ix2[j]], q[3][j] = row2[ix2[j]];
    }
    const __m128i p[4] = {_mm_load_si128(reinterpret_cast<const __m128i*>(q[0])),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(q[1])),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(q[2])),
                          _mm_load_si128(reinterpret_cast<const __m128i*>(q[3]))};
    const __m128i px = _mm_or_si128(_mm_or_si128(ChannelLanes(w, p, 16), ChannelLanes(w, p, 8)),
                                    ChannelLanes(w, p, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), px);
  }
  for (; k < n; ++k) out[k] = BlendSample(s, u[k], v[k]);
}

#endif

}  // namespace

void BlendSamples(const TSampleSource& s, const double* u, const double* v, int n, uint32_t* out) {
#if defined(__x86_64__)
  if (HasAVX2() && std::abs(int64_t(s.ox)) <= (1 << 30) && std::abs(int64_t(s.oy)) <= (1 << 30)) {
    BlendSamplesAVX2(s, u, v, n, out);
    return;
  }
#endif
  for (int k = 0; k < n; ++k) out[k] = BlendSample(s, u[k], v[k]);
}

}  // namespace kwlib
