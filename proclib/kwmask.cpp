#include "proclib/kwmask.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "proclib/kwfilterutil.h"
#include "proclib/kwwindow.h"

namespace kwlib {

float TMaskPack::* const TMaskPack::MaskField[25] = {
    &TMaskPack::M00, &TMaskPack::M01, &TMaskPack::M02, &TMaskPack::M03, &TMaskPack::M04,
    &TMaskPack::M10, &TMaskPack::M11, &TMaskPack::M12, &TMaskPack::M13, &TMaskPack::M14,
    &TMaskPack::M20, &TMaskPack::M21, &TMaskPack::M22, &TMaskPack::M23, &TMaskPack::M24,
    &TMaskPack::M30, &TMaskPack::M31, &TMaskPack::M32, &TMaskPack::M33, &TMaskPack::M34,
    &TMaskPack::M40, &TMaskPack::M41, &TMaskPack::M42, &TMaskPack::M43, &TMaskPack::M44};

const TParamTable<TMaskPack>& TMaskPack::Table() {
  static const TParamTable<TMaskPack> t = [] {
    // Script names count rows first from 1 ("Mask" r c: dy = r - 3,
    // dx = c - 3); settings keys count columns first from 0.
    static std::array<std::string, 25> names, keys;
    TParamTable<TMaskPack> t = {
        IntParam<TMaskPack>("Range", "Range", &TMaskPack::Range, 0).In("0..3"),
        IntParam<TMaskPack>("Operation", "Operation", &TMaskPack::Operation, 0).In("0..5"),
        SingleParam<TMaskPack>("AddValue", "AddValue", &TMaskPack::AddValue, 0.0f),
        SingleParam<TMaskPack>("DivValue", "DivValue", &TMaskPack::DivValue, 0.0f),
    };
    for (int r = 1; r <= 5; ++r)
      for (int c = 1; c <= 5; ++c) {
        const int i = (r - 1) * 5 + (c - 1);
        names[i] = "Mask" + std::to_string(r) + std::to_string(c);
        keys[i] = "Mask" + std::to_string(c - 1) + std::to_string(r - 1);
        t.push_back(SingleParam<TMaskPack>(names[i].c_str(), keys[i].c_str(),
                                           MaskField[(c - 1) * 5 + (r - 1)], 0.0f));
      }
    t.push_back(BoolParam<TMaskPack>("Spray", "Spray", &TMaskPack::Spray, false));
    t.push_back(IntParam<TMaskPack>("SpryPower", "SprayPower", &TMaskPack::SprayPower, 1).In("1..100"));
    return t;
  }();
  return t;
}

namespace {

// The centre-weighting corrections, one per Range, rows dy = -2 .. 2.
const double kSpray[4][5][5] = {
    {{0, 0, 0, 0, 0},
     {0, 0, -0.25, 0, 0},
     {0, -0.25, 1, -0.25, 0},
     {0, 0, -0.25, 0, 0},
     {0, 0, 0, 0, 0}},
    {{0, 0, 0, 0, 0},
     {0, -0.318019485, 0.068019485, -0.318019485, 0},
     {0, 0.068019485, 1, 0.068019485, 0},
     {0, -0.318019485, 0.068019485, -0.318019485, 0},
     {0, 0, 0, 0, 0}},
    {{0, 0, -0.472515978, 0, 0},
     {0, -0.041226033, 0.263742011, -0.041226033, 0},
     {-0.472515978, 0.263742011, 1, 0.263742011, -0.472515978},
     {0, -0.041226033, 0.263742011, -0.041226033, 0},
     {0, 0, -0.472515978, 0, 0}},
    {{-0.509005999, -0.19297399, -0.067028375, -0.19297399, -0.509005999},
     {-0.19297399, 0.245497, 0.466485812, 0.245497, -0.19297399},
     {-0.067028375, 0.466485812, 1, 0.466485812, -0.067028375},
     {-0.19297399, 0.245497, 0.466485812, 0.245497, -0.19297399},
     {-0.509005999, -0.19297399, -0.067028375, -0.19297399, -0.509005999}},
};

}  // namespace

bool MaskKernel(const TMaskPack& p, double k[5][5]) {
  const TWindowShape* shape = WindowShape(p.Range);
  if (!shape || p.Operation < 0 || p.Operation > 5) return false;
  const int N = shape->Count, n = N - 1;
  double all = 1, centre = 1, div = 1;
  switch (p.Operation) {
    case 0: all = 1, centre = 1, div = N; break;
    case 1: all = 1, centre = n, div = 2 * n; break;
    case 2: all = -1, centre = n, div = 1; break;
    case 3: all = -1, centre = n + 1, div = 1; break;
    case 4: all = -1, centre = n + 3, div = 3; break;
    case 5:
      div = p.DivValue;
      if (std::fabs(div) < 1e-10) div = 1e-10;
      break;
  }
  for (int dy = 0; dy < 5; ++dy)
    for (int dx = 0; dx < 5; ++dx) {
      double v = p.Operation == 5 ? double(p.Mask(dx, dy)) + double(p.AddValue)
                 : (dx == 2 && dy == 2) ? centre
                                        : all;
      k[dy][dx] = v / div;
      if (p.Spray) k[dy][dx] += double(p.SprayPower) * kSpray[p.Range][dy][dx] / 10;
    }
  return true;
}

namespace {

// Image coordinate c of a side of length len, reflected with the edge
// repeated (-1 -> 0, -2 -> 1, len -> len - 1, len + 1 -> len - 2), kept
// inside the image when it is shorter than two pixels.
int Reflect(int c, int len) {
  if (c < 0) c = -1 - c;
  if (c >= len) c = 2 * len - 1 - c;
  return std::clamp(c, 0, len - 1);
}

inline uint32_t Clip(double v) {
  if (v < 0) return 0;
  if (v > 255) return 255;
  return uint32_t(std::nearbyint(v));  // halves to even
}

// The taps of a kernel over its window shape, in the shape's order: every
// pixel sums weight x value in this order, per channel, in double.
struct Taps {
  int n = 0;
  int reach = 1;
  int dx[25], dy[25];
  double wt[25];
};

// The rows at dy = -2 .. 2 of destination row y.
void WindowRows(const TBitmap& src, int y, const uint32_t* rows[5]) {
  for (int dy = -2; dy <= 2; ++dy) rows[dy + 2] = src.Row32(Reflect(y + dy, src.Height()));
}

// One channel (shift 0, 8 or 16) of pixel x, unrounded.
double ChannelSum(const Taps& t, const uint32_t* const rows[5], int x, int w, int shift) {
  double v = 0;
  for (int j = 0; j < t.n; ++j)
    v += t.wt[j] * double((rows[t.dy[j] + 2][Reflect(x + t.dx[j], w)] >> shift) & 0xFF);
  return v;
}

uint32_t PixelOf(const Taps& t, const uint32_t* const rows[5], int x, int w) {
  return (Clip(ChannelSum(t, rows, x, w, 16)) << 16) | (Clip(ChannelSum(t, rows, x, w, 8)) << 8) |
         Clip(ChannelSum(t, rows, x, w, 0));
}

// Pixels [x0, x1) of a row, one at a time; the fourth byte of d stays.
void PlainPixels(const Taps& t, const uint32_t* const rows[5], int x0, int x1, int w, uint32_t* d) {
  for (int x = x0; x < x1; ++x) d[x] = (d[x] & 0xFF000000u) | PixelOf(t, rows, x, w);
}

#if defined(__x86_64__)

#define KW_AVX2 __attribute__((target("avx2")))

// Clipped to 0 .. 255 (NaN ends as 0, as in Clip), halves to even.
KW_AVX2 inline __m128i Finish(__m256d v) {
  v = _mm256_min_pd(_mm256_max_pd(v, _mm256_setzero_pd()), _mm256_set1_pd(255));
  return _mm256_cvttpd_epi32(_mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
}

// Four pixels from their channels; the fourth byte of q stays.
KW_AVX2 inline void StoreBGR(uint32_t* q, __m256d b, __m256d g, __m256d r) {
  const __m128i v = _mm_or_si128(_mm_or_si128(Finish(b), _mm_slli_epi32(Finish(g), 8)),
                                 _mm_slli_epi32(Finish(r), 16));
  const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(q),
                   _mm_or_si128(v, _mm_and_si128(old, _mm_set1_epi32(int32_t(0xFF000000u)))));
}

// Every kernel, four pixels at a time: the same products and sums in the
// same order as PixelOf, in double lanes (no fused multiply-add, so every
// step rounds as the scalar one does).  The window's rows are first turned
// into one double per channel, with the reflected columns on both sides.
KW_AVX2 void DoubleRow(const Taps& t, const uint32_t* const rows[5], int w, uint32_t* d, std::vector<double>& buf) {
  const int pw = w + 4;
  buf.resize(size_t(15) * pw);
  const int firstRow = 2 - t.reach, lastRow = 2 + t.reach;
  const __m128i ff = _mm_set1_epi32(0xFF);
  for (int r = firstRow; r <= lastRow; ++r) {
    const uint32_t* s = rows[r];
    double* pl[3] = {&buf[size_t(r * 3) * pw + 2], &buf[size_t(r * 3 + 1) * pw + 2],
                     &buf[size_t(r * 3 + 2) * pw + 2]};
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
      _mm256_storeu_pd(pl[0] + x, _mm256_cvtepi32_pd(_mm_and_si128(v, ff)));
      _mm256_storeu_pd(pl[1] + x, _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(v, 8), ff)));
      _mm256_storeu_pd(pl[2] + x, _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(v, 16), ff)));
    }
    for (; x < w; ++x)
      for (int c = 0; c < 3; ++c) pl[c][x] = double((s[x] >> (8 * c)) & 0xFF);
    for (int c = 0; c < 3; ++c) {
      const uint32_t* cs = s;
      auto at = [&](int xx) { return double((cs[Reflect(xx, w)] >> (8 * c)) & 0xFF); };
      pl[c][-2] = at(-2), pl[c][-1] = at(-1), pl[c][w] = at(w), pl[c][w + 1] = at(w + 1);
    }
  }
  // Offsets of every tap into the planes of channel 0.
  ptrdiff_t off[25];
  for (int j = 0; j < t.n; ++j) off[j] = ptrdiff_t((t.dy[j] + 2) * 3) * pw + 2 + t.dx[j];
  const double* base = buf.data();
  const __m256d zero = _mm256_setzero_pd();
  int x = 0;
  for (; x + 8 <= w; x += 8) {
    __m256d b0 = zero, g0 = zero, r0 = zero, b1 = zero, g1 = zero, r1 = zero;
    for (int j = 0; j < t.n; ++j) {
      const __m256d k = _mm256_set1_pd(t.wt[j]);
      const double* p = base + off[j] + x;
      b0 = _mm256_add_pd(b0, _mm256_mul_pd(k, _mm256_loadu_pd(p)));
      b1 = _mm256_add_pd(b1, _mm256_mul_pd(k, _mm256_loadu_pd(p + 4)));
      g0 = _mm256_add_pd(g0, _mm256_mul_pd(k, _mm256_loadu_pd(p + pw)));
      g1 = _mm256_add_pd(g1, _mm256_mul_pd(k, _mm256_loadu_pd(p + pw + 4)));
      r0 = _mm256_add_pd(r0, _mm256_mul_pd(k, _mm256_loadu_pd(p + 2 * pw)));
      r1 = _mm256_add_pd(r1, _mm256_mul_pd(k, _mm256_loadu_pd(p + 2 * pw + 4)));
    }
    StoreBGR(d + x, b0, g0, r0);
    StoreBGR(d + x + 4, b1, g1, r1);
  }
  PlainPixels(t, rows, x, w, w, d);
}

// The preset kernels without the correction are integers over a divisor:
// S = A * (sum over the window) + B * centre, result S / D rounded.  The
// double computation rounds the same way wherever S / D is not exactly
// halfway (its error is far below the distance 1 / 2D from the halfway
// point); halfway cases, which only an even D has, take the double
// computation itself.
struct IntPlan {
  int range = 0;
  int A = 1, B = 0, D = 1;
  // U = S + bias lies in [0, 65535]; U / D = (U * mul) >> (16 + shift);
  // the result is U / D - K.
  int bias = 0, K = 0, mul = 0, shift = 0;
};

bool MakeIntPlan(const TMaskPack& p, const TWindowShape& shape, IntPlan& plan) {
  if (p.Spray || p.Operation < 0 || p.Operation > 4) return false;
  const int N = shape.Count, n = N - 1;
  const int A[5] = {1, 1, -1, -1, -1}, B[5] = {0, n - 1, n + 1, n + 2, n + 4},
            D[5] = {N, 2 * n, 1, 1, 3};
  plan.range = p.Range;
  plan.A = A[p.Operation], plan.B = B[p.Operation], plan.D = D[p.Operation];
  const int smin = plan.A > 0 ? 0 : -255 * N, smax = 255 * (N + plan.B);
  const int h = plan.D / 2;
  plan.K = smin + h < 0 ? (-(smin + h) + plan.D - 1) / plan.D : 0;
  plan.bias = h + plan.K * plan.D;
  const int umax = smax + plan.bias;
  if (umax > 65535) return false;
  if (plan.D == 1) return true;
  for (int sh = 0; sh < 16; ++sh) {
    const int64_t m = ((int64_t(1) << (16 + sh)) + plan.D - 1) / plan.D;
    if (m > 65535) break;
    bool ok = true;
    for (int u = 0; u <= umax && ok; ++u) ok = ((int64_t(u) * m) >> (16 + sh)) == u / plan.D;
    if (ok) {
      plan.mul = int(m), plan.shift = sh;
      return true;
    }
  }
  return false;
}

// Integer rows, eight 16-bit lanes (two pixels, four bytes each) at a time.
// Column sums of the window's rows are made once per row, with two
// reflected columns on each side, then summed across.
class IntRow {
 public:
  // The column sums live in buffers of the calling thread.
  IntRow(const IntPlan& plan, const Taps& taps)
      : plan_(plan), taps_(taps), c_(Buffer(0)), v3_(Buffer(1)), v5_(Buffer(2)) {}

  void Run(const uint32_t* const rows[5], int w, uint32_t* d) {
    const size_t lanes = size_t(4) * size_t(w + 12);
    c_.resize(lanes), v3_.resize(lanes), v5_.resize(lanes);
    Columns(rows, w);
    Across(rows, w, d);
  }

 private:
  static __m128i Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void Store(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

  void Columns(const uint32_t* const rows[5], int w) {
    const bool five = taps_.reach == 2;
    const __m128i z = _mm_setzero_si128();
    uint16_t *c = c_.data() + 8, *v3 = v3_.data() + 8, *v5 = v5_.data() + 8;
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      auto row = [&](int r) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + x)); };
      const __m128i m = row(2), u = row(1), l = row(3);
      const __m128i cl = _mm_unpacklo_epi8(m, z), ch = _mm_unpackhi_epi8(m, z);
      __m128i sl = _mm_add_epi16(_mm_add_epi16(cl, _mm_unpacklo_epi8(u, z)), _mm_unpacklo_epi8(l, z));
      __m128i sh = _mm_add_epi16(_mm_add_epi16(ch, _mm_unpackhi_epi8(u, z)), _mm_unpackhi_epi8(l, z));
      Store(c + 4 * x, cl), Store(c + 4 * x + 8, ch);
      Store(v3 + 4 * x, sl), Store(v3 + 4 * x + 8, sh);
      if (five) {
        const __m128i uu = row(0), ll = row(4);
        sl = _mm_add_epi16(sl, _mm_add_epi16(_mm_unpacklo_epi8(uu, z), _mm_unpacklo_epi8(ll, z)));
        sh = _mm_add_epi16(sh, _mm_add_epi16(_mm_unpackhi_epi8(uu, z), _mm_unpackhi_epi8(ll, z)));
        Store(v5 + 4 * x, sl), Store(v5 + 4 * x + 8, sh);
      }
    }
    auto column = [&](int at, int from) {
      for (int b = 0; b < 4; ++b) {
        auto byte = [&](int r) { return uint16_t((rows[r][from] >> (8 * b)) & 0xFF); };
        c[4 * at + b] = byte(2);
        v3[4 * at + b] = uint16_t(byte(1) + byte(2) + byte(3));
        if (five) v5[4 * at + b] = uint16_t(v3[4 * at + b] + byte(0) + byte(4));
      }
    };
    for (; x < w; ++x) column(x, x);
    for (int e : {-2, -1, w, w + 1}) column(e, Reflect(e, w));
  }

  // The sum over the window at lane offset o, from the column sums.
  template <int Range>
  [[gnu::always_inline]] __m128i Box(int o) const {
    const uint16_t *c = c_.data() + 8, *v3 = v3_.data() + 8, *v5 = v5_.data() + 8;
    if constexpr (Range == 0) return _mm_add_epi16(Load(v3 + o), _mm_add_epi16(Load(c + o - 4), Load(c + o + 4)));
    if constexpr (Range == 1) return _mm_add_epi16(Load(v3 + o), _mm_add_epi16(Load(v3 + o - 4), Load(v3 + o + 4)));
    if constexpr (Range == 2)
      return _mm_add_epi16(_mm_add_epi16(Load(v5 + o), _mm_add_epi16(Load(v3 + o - 4), Load(v3 + o + 4))),
                           _mm_add_epi16(Load(c + o - 8), Load(c + o + 8)));
    return _mm_add_epi16(_mm_add_epi16(Load(v5 + o), _mm_add_epi16(Load(v5 + o - 4), Load(v5 + o + 4))),
                         _mm_add_epi16(Load(v5 + o - 8), Load(v5 + o + 8)));
  }

  void Across(const uint32_t* const rows[5], int w, uint32_t* d) {
    const IntPlan& p = plan_;
    const int mode = p.D == 1 ? 0 : p.D % 2 ? 1 : 2;
    auto run = [&](auto range) {
      constexpr int R = decltype(range)::value;
      if (p.A > 0) {
        if (mode == 1) return AcrossT<R, true, 1>(rows, w, d);
        if (mode == 2) return AcrossT<R, true, 2>(rows, w, d);
        return AcrossT<R, true, 0>(rows, w, d);
      }
      if (mode == 1) return AcrossT<R, false, 1>(rows, w, d);
      if (mode == 2) return AcrossT<R, false, 2>(rows, w, d);
      return AcrossT<R, false, 0>(rows, w, d);
    };
    switch (p.range) {
      case 0: return run(std::integral_constant<int, 0>());
      case 1: return run(std::integral_constant<int, 1>());
      case 2: return run(std::integral_constant<int, 2>());
      default: return run(std::integral_constant<int, 3>());
    }
  }

  // Mode 0: no division (D = 1); 1: division, never halfway (D odd);
  // 2: division with halfway cases (D even).  Plus: A = 1, else A = -1.
  template <int Range, bool Plus, int Mode>
  void AcrossT(const uint32_t* const rows[5], int w, uint32_t* d) const {
    const uint16_t* c = c_.data() + 8;
    const IntPlan& p = plan_;
    const __m128i B = _mm_set1_epi16(int16_t(p.B)), bias = _mm_set1_epi16(int16_t(p.bias)),
                  K = _mm_set1_epi16(int16_t(p.K)), mul = _mm_set1_epi16(int16_t(uint16_t(p.mul))),
                  D = _mm_set1_epi16(int16_t(p.D)), z = _mm_setzero_si128();
    const __m128i shift = _mm_cvtsi32_si128(p.shift);
    // Lanes of B, G and R; the fourth byte is not looked at.
    const __m128i colour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    const __m128i alpha = _mm_set1_epi32(int32_t(0xFF000000u));
    // Eight lanes of results as 16-bit values before clipping, and the
    // halfway lanes as a bit mask of bytes.
    auto lanes = [&](int o, int& half) [[gnu::always_inline]] {
      const __m128i ctr = _mm_mullo_epi16(Load(c + o), B), s = Box<Range>(o);
      const __m128i sum = Plus ? _mm_add_epi16(s, ctr) : _mm_sub_epi16(ctr, s);
      half = 0;
      if constexpr (Mode == 0) return sum;
      const __m128i u = _mm_add_epi16(sum, bias);
      const __m128i q = _mm_srl_epi16(_mm_mulhi_epu16(u, mul), shift);
      if constexpr (Mode == 2) {
        const __m128i rest = _mm_sub_epi16(u, _mm_mullo_epi16(q, D));
        half = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(rest, z), colour));
      }
      return _mm_sub_epi16(q, K);
    };
    uint32_t tail[4];
    for (int x = 0; x < w; x += 4) {
      int h0, h1;
      const __m128i lo = lanes(4 * x, h0), hi = lanes(4 * x + 8, h1);
      const __m128i v = _mm_packus_epi16(lo, hi);
      uint32_t* q = x + 4 <= w ? d + x : tail;
      if (q == tail) std::copy(d + x, d + w, tail);
      const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(q),
                       _mm_or_si128(_mm_andnot_si128(alpha, v), _mm_and_si128(old, alpha)));
      // Halfway lanes: two mask bits per 16-bit lane, four lanes per pixel.
      const uint32_t half = uint32_t(h0) | (uint32_t(h1) << 16);
      for (uint32_t m = half; m; m &= m - 1) {
        const int lane = __builtin_ctz(m) / 2;
        m &= m - 1;  // the second bit of the lane
        const int px = lane / 4, b = lane % 4;
        if (x + px >= w) continue;
        const uint32_t v8 = Clip(ChannelSum(taps_, rows, x + px, w, 8 * b));
        q[px] = (q[px] & ~(0xFFu << (8 * b))) | (v8 << (8 * b));
      }
      if (q == tail) std::copy(tail, tail + (w - x), d + x);
    }
  }

  static std::vector<uint16_t>& Buffer(int k) {
    thread_local std::vector<uint16_t> buffers[3];
    return buffers[k];
  }

  const IntPlan& plan_;
  const Taps& taps_;
  std::vector<uint16_t>& c_, &v3_, &v5_;
};

#endif  // __x86_64__

}  // namespace

void TMaskFilter::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const int w = Src->Width(), h = Src->Height();
  if (w <= 0 || h <= 0) return;
  double k[5][5];
  if (!MaskKernel(*settings_, k)) {
    // No kernel: the image passes unchanged.
    for (int i = 0; i < h; ++i) std::copy_n(Src->Row32(i), w, Dst->Row32(i));
    return;
  }
  const TWindowShape& shape = *WindowShape(settings_->Range);
  Taps t;
  t.n = shape.Count;
  t.reach = shape.Reach;
  for (int j = 0; j < t.n; ++j) {
    t.dx[j] = shape.Dx[j], t.dy[j] = shape.Dy[j];
    t.wt[j] = k[shape.Dy[j] + 2][shape.Dx[j] + 2];
  }
#if defined(__x86_64__)
  IntPlan plan;
  const bool integer = MakeIntPlan(*settings_, shape, plan);
  const bool avx2 = HasAVX2();
#endif
  SpreadRows(
      h, 32,
      [&](int y0, int y1) {
#if defined(__x86_64__)
        thread_local std::vector<double> planes;
        IntRow intRow(plan, t);
#endif
        for (int i = y0; i < y1; ++i) {
          const uint32_t* rows[5];
          WindowRows(*Src, i, rows);
          uint32_t* d = Dst->Row32(i);
#if defined(__x86_64__)
          if (integer) {
            intRow.Run(rows, w, d);
            continue;
          }
          if (avx2) {
            DoubleRow(t, rows, w, d, planes);
            continue;
          }
#endif
          PlainPixels(t, rows, 0, w, w, d);
        }
      },
      [&](int i) { Progress(RowRate(i - 2, h)); });
}

}  // namespace kwlib
