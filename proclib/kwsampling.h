// Sampling of the geometric filters (affine and polar transforms): the
// source at a point (u, v) given relative to an origin, the image wrapping
// round, the pixel there blended with the neighbours that the fractions of
// u and v choose.  One piece of code for both filters.  No Qt.
#pragma once

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdint>

#include <vector>

#include "platform/bitmap.h"
#include "platform/sysutils.h"

namespace kwlib {

// The rows of a W x H source (row 0 at the top) and the origin in pixels.
struct TSampleSource {
  const uint32_t* const* Rows = nullptr;
  int W = 0, H = 0;
  int ox = 0, oy = 0;
  // Pixels from the start of one row to the next when the rows lie evenly
  // spaced in one buffer (a bitmap's do), else 0.
  ptrdiff_t Stride = 0;
};

namespace sampling {

// Nearest integer of a finite value, far values held to a range that keeps
// the arithmetic exact; non-finite values count as 0.
inline int64_t SafeRound(double v) {
  if (!std::isfinite(v)) return 0;
  return Round(std::clamp(v, -1e15, 1e15));
}
inline double SafeTrunc(double v) {
  if (!std::isfinite(v)) return 0;
  return std::trunc(v);
}
// t (a whole number) brought into 0 .. len - 1 by whole multiples of len.
inline int Wrap(double t, int len) {
  double m = std::fmod(t, double(len));
  if (m < 0) m += len;
  const int r = int(m);
  return r >= len ? len - 1 : r;
}
inline int WrapInt(int64_t t, int len) {
  if (uint64_t(t) < uint64_t(len)) return int(t);
  int64_t m = t % len;
  if (m < 0) m += len;
  return int(m);
}
// Nearest integer, halves to even, of |v| < 2^51 (the rounding of the FPU's
// default mode, without a library call).
inline double NearestOf(double v) {
  constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52
  const double r = (v + kMagic) - kMagic;
  return r;
}

// One channel of the blend, cut to a whole number and held to 0 .. 255.
// |val| stays below 4 * 255 * 4: the conversion cuts toward zero.
inline uint32_t BlendChannel(double w1, double w2, double w3, double w4, uint32_t c1, uint32_t c2,
                             uint32_t c3, uint32_t c4) {
  const double val = w1 * double(c1) + w2 * double(c2) + w3 * double(c3) + w4 * double(c4);
  const int t = int(val);
  return t > 255 ? 255u : t < 0 ? 0u : uint32_t(t);
}

// The blend of four pixels, each of B, G and R; the fourth byte is 0.
inline uint32_t Blend(double fx, double fy, uint32_t P1, uint32_t P2, uint32_t P3, uint32_t P4) {
  const double w1 = (1 - fx) * (1 - fy), w2 = (1 - fx) * fy, w3 = fx * (1 - fy), w4 = fx * fy;
  auto ch = [&](int sh) {
    return BlendChannel(w1, w2, w3, w4, (P1 >> sh) & 0xFF, (P2 >> sh) & 0xFF, (P3 >> sh) & 0xFF,
                        (P4 >> sh) & 0xFF)
           << sh;
  };
  return ch(16) | ch(8) | ch(0);
}

// Any u and v, infinite and NaN included (they count as 0).
inline uint32_t SampleFar(const TSampleSource& s, double u, double v) {
  const int W = s.W, H = s.H;
  const double tu = SafeTrunc(u), tv = SafeTrunc(v);
  const int sx = Wrap(tu + s.ox, W);
  int sx2 = sx;
  if (sx != 0 && sx != W - 1) sx2 = SafeRound(u) == sx ? sx - 1 : sx + 1;
  const int sy = Wrap(tv + s.oy, H);
  const int r = (H - 1) - sy;  // the row counted from the bottom
  int sy2 = sy;
  if (r != 0 && r != H - 1) sy2 = SafeRound(v) == r ? sy + 1 : sy - 1;
  const double fx = std::isfinite(u) ? u - tu : 0, fy = std::isfinite(v) ? v - tv : 0;
  return Blend(fx, fy, s.Rows[sy][sx], s.Rows[sy2][sx], s.Rows[sy][sx2], s.Rows[sy2][sx2]);
}

}  // namespace sampling

// size x fraction rounded: the origin in pixels (held to the integer range).
inline int OriginPixel(int size, float fraction) {
  return int(std::clamp<int64_t>(sampling::SafeRound(double(size) * double(fraction)), INT32_MIN,
                                 INT32_MAX));
}

// The source of a 32-bit bitmap; rows receives its row addresses.
inline TSampleSource SampleSourceOf(const TBitmap& src, std::vector<const uint32_t*>& rows, int ox,
                                    int oy) {
  rows.resize(size_t(src.Height()));
  for (int y = 0; y < src.Height(); ++y) rows[size_t(y)] = src.Row32(y);
  const ptrdiff_t stride = src.Height() > 1 ? src.Row32(1) - src.Row32(0) : 0;
  return TSampleSource{rows.data(), src.Width(), src.Height(), ox, oy, stride};
}

// The source sampled at (u, v) (relative to the origin):
// - column sx = truncated u + ox and row sy = truncated v + oy, both wrapped
//   into the image;
// - the second column: sx itself at the left and right edges, otherwise
//   sx - 1 when u rounded equals sx and sx + 1 when not;
// - the second row: with r = H - 1 - sy, the row counted from the bottom,
//   sy itself when r is 0 or H - 1, otherwise sy + 1 when v rounded equals
//   r and sy - 1 when not;
// - the weights from the fractions fx, fy of u and v (with their signs):
//   (1 - fx)(1 - fy), (1 - fx) fy, fx (1 - fy) and fx fy for (sx, sy),
//   (sx, sy2), (sx2, sy) and (sx2, sy2).
// Returns B, G and R of the blend; the fourth byte is 0.
[[gnu::always_inline]] inline uint32_t BlendSample(const TSampleSource& s, double u, double v) {
  using namespace sampling;
  // Near values (nearly all of them) in whole-number arithmetic; the result
  // is the same as SampleFar's.
  if (!(std::fabs(u) < 1e9 && std::fabs(v) < 1e9)) return SampleFar(s, u, v);
  const int W = s.W, H = s.H;
  const int64_t iu = int64_t(u), iv = int64_t(v);
  const int sx = WrapInt(iu + s.ox, W);
  int sx2 = sx;
  if (sx != 0 && sx != W - 1) sx2 = NearestOf(u) == double(sx) ? sx - 1 : sx + 1;
  const int sy = WrapInt(iv + s.oy, H);
  const int r = (H - 1) - sy;
  int sy2 = sy;
  if (r != 0 && r != H - 1) sy2 = NearestOf(v) == double(r) ? sy + 1 : sy - 1;
  const double fx = u - double(iu), fy = v - double(iv);
  const uint32_t* row = s.Rows[sy];
  const uint32_t* row2 = s.Rows[sy2];
  return Blend(fx, fy, row[sx], row2[sx], row[sx2], row2[sx2]);
}

// BlendSample of n points into d, the fourth byte of d kept:
// d[k] = (d[k] & 0xFF000000) | BlendSample(s, u[k], v[k]).  Four points at
// a time where the processor has AVX2, every product and sum the same.
void BlendSamples(const TSampleSource& s, const double* u, const double* v, int n, uint32_t* d);
// The same for the points of a line: with dx = double(x0 + k) - ox,
// u[k] = dx * a + ua + ta and v[k] = dx * b + vb + tb (in this order).
void BlendLine(const TSampleSource& s, int x0, int n, double ox, double a, double ua, double ta, double b,
               double vb, double tb, uint32_t* d);

}  // namespace kwlib
