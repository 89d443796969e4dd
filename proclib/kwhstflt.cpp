#include "proclib/kwhstflt.h"

#include <algorithm>

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

double TKWHistFlater::Random() {
  // xorshift64*, top 53 bits as a fraction
  rnd_ ^= rnd_ >> 12;
  rnd_ ^= rnd_ << 25;
  rnd_ ^= rnd_ >> 27;
  uint64_t v = rnd_ * 0x2545F4914F6CDD1Dull;
  return double(v >> 11) * (1.0 / 9007199254740992.0);
}

namespace {

// Trunc(f * v) limited to 255, as a byte; f in double, the product in
// extended precision.
inline uint8_t TruncScaled(double f, uint32_t v) {
  long double p = (long double)f * v;
  if (!(p < 255.0L)) return p != p ? 0 : 255;
  if (p <= -2147483648.0L) return 0;
  return uint8_t(int32_t(Trunc(p)));
}

}  // namespace

void TKWHistFlater::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const int w = Src->Width(), h = Src->Height();
  uint32_t hist[256] = {};
  for (int i = 0; i < h; ++i) {
    if (i % 64 == 63) Progress(RowRate(i, h));
    const uint32_t* s = Src->Row32(i);
    for (int x = 0; x < w; ++x) ++hist[TruncLuminance(s[x])];
  }
  const int32_t method = settings_->Method;
  double a[256], b[256];
  Levels(hist, uint64_t(w) * uint64_t(h), method, a, b);

  if (method == 0) {
    // Every (level, channel) pair has one result: a table of 256 x 256.
    static thread_local uint8_t lut[256][256];
    for (int y = 0; y < 256; ++y) {
      double f = y == 0 ? 1.0 : b[y] / y;
      for (int v = 0; v < 256; ++v) lut[y][v] = TruncScaled(f, v);
    }
    MapPixels(this, Src, Dst, [](uint32_t p) {
      const uint8_t* t = lut[TruncLuminance(p)];
      return MapChannels(p, t, t, t);
    });
    return;
  }
  for (int i = 0; i < h; ++i) {
    if (i % 32 == 31) Progress(RowRate(i, h));
    const uint32_t* s = Src->Row32(i);
    uint32_t* d = Dst->Row32(i);
    for (int x = 0; x < w; ++x) {
      uint32_t p = s[x];
      int y = TruncLuminance(p);
      double v = a[y] + Random() * b[y];  // every method but 0 disperses
      double f = y == 0 ? 1.0 : v / y;
      d[x] = (p & 0xFF000000u) | TruncScaled(f, p & 0xFF) |
             (uint32_t(TruncScaled(f, (p >> 8) & 0xFF)) << 8) |
             (uint32_t(TruncScaled(f, (p >> 16) & 0xFF)) << 16);
    }
  }
}

void TKWHistFlater::OnImageChange(TBitmap* Image) {
  if (Histogram && Image) Histogram->Request(*Image);
}

}  // namespace kwlib
