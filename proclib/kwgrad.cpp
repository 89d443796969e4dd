#include "proclib/kwgrad.h"

#include <cmath>
#include <vector>

#include "proclib/kwfilterutil.h"

namespace kwlib {

using P = TKWGradationPack;

int32_t P::* const P::kValues[3][5] = {
    {&P::R_Value_1, &P::R_Value_2, &P::R_Value_3, &P::R_Value_4, &P::R_Value_5},
    {&P::G_Value_1, &P::G_Value_2, &P::G_Value_3, &P::G_Value_4, &P::G_Value_5},
    {&P::B_Value_1, &P::B_Value_2, &P::B_Value_3, &P::B_Value_4, &P::B_Value_5}};
float P::* const P::kPositions[3][5] = {
    {&P::R_Pos_1, &P::R_Pos_2, &P::R_Pos_3, &P::R_Pos_4, &P::R_Pos_5},
    {&P::G_Pos_1, &P::G_Pos_2, &P::G_Pos_3, &P::G_Pos_4, &P::G_Pos_5},
    {&P::B_Pos_1, &P::B_Pos_2, &P::B_Pos_3, &P::B_Pos_4, &P::B_Pos_5}};
int32_t P::* const P::kBegins[3] = {&P::R_Begin, &P::G_Begin, &P::B_Begin};
int32_t P::* const P::kEnds[3] = {&P::R_End, &P::G_End, &P::B_End};

const TParamTable<P>& P::Table() {
  static const TParamTable<P> t = [] {
    TParamTable<P> t = {
        IntParam<P>("R_Begin", "R_Begin", &P::R_Begin, 0).In("0..255"),
        IntParam<P>("G_Begin", "G_Begin", &P::G_Begin, 0).In("0..255"),
        IntParam<P>("B_Begin", "B_Begin", &P::B_Begin, 0).In("0..255"),
        IntParam<P>("R_End", "R_End", &P::R_End, 255).In("0..255"),
        IntParam<P>("G_End", "G_End", &P::G_End, 255).In("0..255"),
        IntParam<P>("B_End", "B_End", &P::B_End, 255).In("0..255"),
        IntParam<P>("Style", "Style", &P::Style, 0).In("0..1"),
        SingleParam<P>("Rotate", "Rotate", &P::Rotate, 0.0f),
        SingleParam<P>("Scale", "Scale", &P::Scale, 1.0f).In(">0"),
        SingleParam<P>("OffsetX", "OffsetX", &P::OffsetX, 0.0f),
        SingleParam<P>("OffsetY", "OffsetY", &P::OffsetY, 0.0f),
    };
    // The names have to outlive the table.
    static std::vector<std::string> names;
    names.reserve(30);
    const char ch[3] = {'R', 'G', 'B'};
    for (int c = 0; c < 3; ++c)
      for (int n = 0; n < 5; ++n) {
        names.push_back(std::string(1, ch[c]) + "_Value_" + std::to_string(n + 1));
        const char* vn = names.back().c_str();
        t.push_back(IntParam<P>(vn, vn, kValues[c][n], 0).In("0..255"));
        names.push_back(std::string(1, ch[c]) + "_Pos_" + std::to_string(n + 1));
        const char* pn = names.back().c_str();
        t.push_back(SingleParam<P>(pn, pn, kPositions[c][n], 0.0f).In("0..1"));
      }
    t.push_back(BoolParam<P>(nullptr, "Smooth", &P::Smooth, false));
    return t;
  }();
  return t;
}

namespace {

// 32-bit integer arithmetic that wraps instead of overflowing.
inline int32_t Add32(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t Sub32(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t Mul32(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }
// Division truncating toward zero; the one quotient that does not fit
// (INT32_MIN / -1) wraps.
inline int32_t Div32(int32_t a, int32_t b) {
  if (b == -1) return int32_t(0u - uint32_t(a));
  return a / b;
}

// Truncation and rounding that stay inside a range where the index
// arithmetic cannot overflow (NaN gives 0).
constexpr double kLimit = 4611686018427387904.0;  // 2^62
inline int64_t TruncSat(double v) {
  if (!(v == v)) return 0;
  if (v >= kLimit) return int64_t(1) << 62;
  if (v <= -kLimit) return -(int64_t(1) << 62);
  return int64_t(v);
}
constexpr double kCoordLimit = 1073741824.0;  // 2^30: offsets far outside any image
inline int64_t RoundCoord(double v) {
  if (!(v == v)) return 0;
  if (v >= kCoordLimit) return int64_t(1) << 30;
  if (v <= -kCoordLimit) return -(int64_t(1) << 30);
  return int64_t(std::nearbyint(v));
}

// The pixel of each table entry: the low bytes of the three channels.
void PackPixels(const int32_t* TR, const int32_t* TG, const int32_t* TB, uint32_t* px) {
  for (int u = 0; u < TKWGradation::kTableSize; ++u)
    px[u] = uint32_t(uint8_t(TB[u])) | (uint32_t(uint8_t(TG[u])) << 8) |
            (uint32_t(uint8_t(TR[u])) << 16);
}

}  // namespace

int TKWGradation::PrunePoints(int32_t* v, float* p) {
  int n = 5;
  int i = 0;
  while (i < n) {
    // A position that is not a number is out of range too.
    if (!(p[i] >= 1e-10 && p[i] <= 0.99999999999)) {
      for (int j = i; j < n - 1; ++j) {
        v[j] = v[j + 1];
        p[j] = p[j + 1];
      }
      p[n - 1] = 0;
      --n;
    } else {
      ++i;
    }
  }
  for (int a = 0; a < n - 1; ++a)
    for (int b = a + 1; b < n; ++b)
      if (p[a] > p[b]) {
        std::swap(v[a], v[b]);
        std::swap(p[a], p[b]);
      }
  return n;
}

void TKWGradation::ChannelTable(int32_t* T, int Count, int32_t Begin, int32_t End,
                                const int32_t* v, const float* p, int n) {
  if (Count <= 0) return;
  if (n == 0) {
    const int32_t d = Sub32(End, Begin);
    for (int x = 0; x < Count; ++x) T[x] = Add32(Div32(Mul32(d, x), Count), Begin);
    return;
  }
  auto endOf = [Count](float pos) { return int32_t(double(Count) * double(pos)); };
  int32_t w = Begin, d = Sub32(v[0], Begin), s = 0, e = endOf(p[0]), L = e;
  int k = 0;             // the point that ends the current segment
  bool last = false;     // in the segment from the last point to End
  for (int x = 0; x < Count; ++x) {
    T[x] = L == 0 ? w : Add32(Div32(Mul32(x - s, d), L), w);
    if (!last && x >= e) {
      if (k == n - 1) {
        last = true;
        s = e;
        w = v[n - 1];
        d = Sub32(End, v[n - 1]);
        L = Count - s - 1;
      } else {
        w = v[k];
        d = Sub32(v[k + 1], w);
        s = e;
        e = endOf(p[k + 1]);
        L = e - s;
        ++k;
      }
    }
  }
}

void TKWGradation::MakeGradTable(int32_t* TR, int32_t* TG, int32_t* TB, int Count) {
  int32_t* tables[3] = {TR, TG, TB};
  P& pk = *settings_;
  for (int ch = 0; ch < 3; ++ch) {
    int32_t v[5];
    float p[5];
    for (int i = 0; i < 5; ++i) {
      v[i] = pk.Value(ch, i);
      p[i] = pk.Pos(ch, i);
    }
    const int n = PrunePoints(v, p);
    for (int i = 0; i < 5; ++i) {
      pk.Value(ch, i) = v[i];
      pk.Pos(ch, i) = p[i];
    }
    ChannelTable(tables[ch], Count, pk.Begin(ch), pk.End(ch), v, p, n);
  }
}

void TKWGradation::Generator(TBitmap* Bitmap) {
  if (!IsLoadComplete) return;
  if (!Bitmap) throw Exception("The generator needs a bitmap.");
  if (Bitmap->PixelFormat() != pf32bit)
    throw Exception("The gradation needs a 32-bit image.");
  std::vector<int32_t> tables(3 * kTableSize);
  int32_t* TR = tables.data();
  int32_t* TG = TR + kTableSize;
  int32_t* TB = TG + kTableSize;
  MakeGradTable(TR, TG, TB, kTableSize);
  uint32_t px[kTableSize];
  PackPixels(TR, TG, TB, px);

  const P& pk = *settings_;
  const int W = Bitmap->Width(), H = Bitmap->Height();
  if (W <= 0 || H <= 0) return;
  const double s = std::sin(kDegree * double(pk.Rotate));
  const double c = std::cos(kDegree * double(pk.Rotate));
  const double inv_s = s != 0 ? 1 / s : 1e25;
  const double inv_c = c != 0 ? 1 / c : 1e25;
  const double q = pk.Scale > 1e-5 ? 1 / double(pk.Scale) : 100000;

  if (pk.Style == 0) {
    const int64_t X0 = RoundCoord(W * double(pk.OffsetX));
    const int64_t Y0 = RoundCoord(H - H * double(pk.OffsetY));
    const double a = W * inv_c, b = H * inv_s;
    const double L = std::fabs(a) <= std::fabs(b) ? a : b;
    const double f = double(TruncSat(2047 / L * q));
    // The column term is the same on every row.
    std::vector<double> cx(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) cx[size_t(x)] = double(x - X0) * c;
    SpreadRows(
        H, 0, 64,
        [&](int y0, int y1) {
          for (int y = y0; y < y1; ++y) {
            const double t = -double(y - Y0) * s;
            uint32_t* row = Bitmap->Row32(y);
            for (int x = 0; x < W; ++x) row[x] = px[Fold(TruncSat((cx[size_t(x)] + t) * f))];
          }
        },
        [&](int y) { Progress(float(double(y) / H)); });
  } else if (pk.Style == 1) {
    const int64_t X0 = RoundCoord(W * (0.5 + double(pk.OffsetX)));
    const int64_t Y0 = H - RoundCoord(H * (0.5 + double(pk.OffsetY)));
    const double f = 2.4 * q * 2047 / std::sqrt(double(int64_t(W) * W + int64_t(H) * H));
    // Squared distances stay exact: the offsets are limited to 2^30.
    std::vector<int64_t> dx2(static_cast<size_t>(W));
    for (int x = 0; x < W; ++x) dx2[size_t(x)] = (x - X0) * (x - X0);
    SpreadRows(
        H, 0, 64,
        [&](int y0, int y1) {
          for (int y = y0; y < y1; ++y) {
            const int64_t dy2 = (y - Y0) * (y - Y0);
            uint32_t* row = Bitmap->Row32(y);
            for (int x = 0; x < W; ++x)
              row[x] = px[Fold(TruncSat(std::sqrt(double(dx2[size_t(x)] + dy2)) * f))];
          }
        },
        [&](int y) { Progress(float(double(y) / H)); });
  }
}

}  // namespace kwlib
