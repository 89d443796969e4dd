#include "proclib/kwhstflt.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "platform/sysutils.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwhistgram.h"
#include "proclib/luminance.h"

namespace kwlib {

const TParamTable<TKWHistFlatPack>& TKWHistFlatPack::Table() {
  static const TParamTable<TKWHistFlatPack> t = {
      IntParam<TKWHistFlatPack>("Method", "Method", &TKWHistFlatPack::Method, 0).In("0..1"),
  };
  return t;
}

void TKWHistFlater::Levels(const uint32_t h[256], uint64_t n, int32_t method, double a[256],
                           double b[256]) {
  int64_t k = 0;
  double upper = 0, pos = 0;
  uint64_t c = 0;
  const double N = double(n);
  for (int L = 0; L < 256; ++L) {
    c += h[L];
    a[L] = pos;
    while (double(c) > upper) {
      pos = double(k);
      ++k;
      upper = double(uint64_t(k) * n) / 255.0;  // the product is exact
    }
    double t = N * pos / 255.0;
    double den = upper - t;
    if (den == 0.0)
      pos = upper;
    else
      pos = double(k) + (double(c) - t) / den;
    if (method == 0)
      b[L] = a[L] + (pos - a[L]) * 0.5;
    else
      b[L] = pos - a[L];
  }
}

namespace {

// xorshift64*, top 53 bits as a fraction.
inline double NextRandom(uint64_t& state) {
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  const uint64_t v = state * 0x2545F4914F6CDD1Dull;
  return double(v >> 11) * (1.0 / 9007199254740992.0);
}

// The state change of NextRandom is linear in the bits of the state: a 64 x
// 64 matrix over the two-element field, column j the image of bit j.
struct TBitMatrix {
  uint64_t col[64];
  uint64_t operator()(uint64_t v) const {
    uint64_t r = 0;
    for (; v; v &= v - 1) r ^= col[__builtin_ctzll(v)];
    return r;
  }
};

// The state n calls of NextRandom after state, from the matrices of 2^k
// steps.
uint64_t SkipRandom(uint64_t state, uint64_t n) {
  static const std::array<TBitMatrix, 64> powers = [] {
    std::array<TBitMatrix, 64> p{};
    for (int j = 0; j < 64; ++j) {
      uint64_t s = uint64_t(1) << j;
      NextRandom(s);
      p[0].col[j] = s;
    }
    for (int k = 1; k < 64; ++k)
      for (int j = 0; j < 64; ++j) p[k].col[j] = p[k - 1](p[k - 1].col[j]);
    return p;
  }();
  for (int k = 0; n; ++k, n >>= 1)
    if (n & 1) state = powers[k](state);
  return state;
}

// Trunc(f * v) limited to 255, as a byte; f in double, the product in
// extended precision.
inline uint8_t TruncScaled(double f, uint32_t v) {
  long double p = (long double)f * v;
  if (!(p < 255.0L)) return p != p ? 0 : 255;
  if (p <= -2147483648.0L) return 0;
  return uint8_t(int32_t(Trunc(p)));
}

}  // namespace

double TKWHistFlater::Random() { return NextRandom(rnd_); }

void TKWHistFlater::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const int w = Src->Width(), h = Src->Height();
  // A histogram per band of rows, added up once all are done.
  std::vector<std::array<uint32_t, 256>> parts(size_t(h + kBandRows - 1) / kBandRows);
  SpreadRows(
      h, 64,
      [&](int y0, int y1) {
        std::array<uint32_t, 256>& part = parts[size_t(y0 / kBandRows)];
        part.fill(0);
        for (int i = y0; i < y1; ++i) {
          const uint32_t* s = Src->Row32(i);
          for (int x = 0; x < w; ++x) ++part[TruncLuminance(s[x])];
        }
      },
      [&](int i) { Progress(RowRate(i, h)); });
  uint32_t hist[256] = {};
  for (const auto& part : parts)
    for (int L = 0; L < 256; ++L) hist[L] += part[size_t(L)];
  const int32_t method = settings_->Method;
  double a[256], b[256];
  Levels(hist, uint64_t(w) * uint64_t(h), method, a, b);

  if (method == 0) {
    // Every (level, channel) pair has one result: a table of 256 x 256.
    const auto lut = std::make_unique<uint8_t[][256]>(256);
    for (int y = 0; y < 256; ++y) {
      double f = y == 0 ? 1.0 : b[y] / y;
      for (int v = 0; v < 256; ++v) lut[y][v] = TruncScaled(f, v);
    }
    MapPixels(this, Src, Dst, [t = lut.get()](uint32_t p) {
      const uint8_t* row = t[TruncLuminance(p)];
      return MapChannels(p, row, row, row);
    });
    return;
  }
  // One number of the sequence per pixel, in row order: a band starts where
  // the rows before it leave the sequence.
  const uint64_t start = rnd_;
  SpreadRows(
      h, 32,
      [&](int y0, int y1) {
        uint64_t state = SkipRandom(start, uint64_t(y0) * uint64_t(w));
        for (int i = y0; i < y1; ++i) {
          const uint32_t* s = Src->Row32(i);
          uint32_t* d = Dst->Row32(i);
          for (int x = 0; x < w; ++x) {
            uint32_t p = s[x];
            int y = TruncLuminance(p);
            double v = a[y] + NextRandom(state) * b[y];  // every method but 0 disperses
            double f = y == 0 ? 1.0 : v / y;
            d[x] = (p & 0xFF000000u) | TruncScaled(f, p & 0xFF) |
                   (uint32_t(TruncScaled(f, (p >> 8) & 0xFF)) << 8) |
                   (uint32_t(TruncScaled(f, (p >> 16) & 0xFF)) << 16);
          }
        }
      },
      [&](int i) { Progress(RowRate(i, h)); });
  rnd_ = SkipRandom(start, uint64_t(w) * uint64_t(h));
}

void TKWHistFlater::OnImageChange(TBitmap* Image) {
  if (Histogram && Image) Histogram->Request(*Image);
}

}  // namespace kwlib
