#include "proclib/kwmask.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

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
  // Padded copy, two pixels on every side, so the inner loop needs no tests.
  const int pw = w + 4;
  std::vector<uint32_t> pad(size_t(pw) * size_t(h + 4));
  std::vector<int> xs(pw);
  for (int x = 0; x < pw; ++x) xs[x] = Reflect(x - 2, w);
  for (int y = 0; y < h + 4; ++y) {
    const uint32_t* s = Src->Row32(Reflect(y - 2, h));
    uint32_t* d = pad.data() + size_t(y) * pw;
    for (int x = 0; x < pw; ++x) d[x] = s[xs[x]];
  }
  const int n = shape.Count;
  ptrdiff_t off[25];
  double wt[25];
  for (int j = 0; j < n; ++j) {
    off[j] = ptrdiff_t(shape.Dy[j]) * pw + shape.Dx[j];
    wt[j] = k[shape.Dy[j] + 2][shape.Dx[j] + 2];
  }
  for (int i = 0; i < h; ++i) {
    if (i % 32 == 31) Progress(RowRate(i - 2, h));
    const uint32_t* c = pad.data() + size_t(i + 2) * pw + 2;
    uint32_t* d = Dst->Row32(i);
    for (int x = 0; x < w; ++x) {
      double r = 0, g = 0, b = 0;
      for (int j = 0; j < n; ++j) {
        const uint32_t p = c[x + off[j]];
        r += wt[j] * double((p >> 16) & 0xFF);
        g += wt[j] * double((p >> 8) & 0xFF);
        b += wt[j] * double(p & 0xFF);
      }
      // The fourth byte of the destination stays as it is.
      d[x] = (d[x] & 0xFF000000u) | (Clip(r) << 16) | (Clip(g) << 8) | Clip(b);
    }
  }
}

}  // namespace kwlib
