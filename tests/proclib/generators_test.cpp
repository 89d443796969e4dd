// Pure colour and gradation generators: fill colours, the channel tables
// (pruning, sorting, segments, 32-bit truncating arithmetic), both styles
// checked against a plain per-pixel evaluation of the formulas, folding,
// degenerate scales and styles, progress.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/canvas.h"
#include "proclib/kwgrad.h"
#include "proclib/kwpurclr.h"
#include "testutil.h"

using namespace kwlib;
using kwtest::Bmp;

namespace {

struct LoadComplete {
  LoadComplete() : saved(IsLoadComplete) { IsLoadComplete = true; }
  ~LoadComplete() { IsLoadComplete = saved; }
  bool saved;
};

// ---- plain reference of the gradation, written from the formulas ----

struct RefTables {
  std::vector<int32_t> T[3];
};

// One channel, the points given as read from the pack (pruned here).
std::vector<int32_t> RefChannel(int Count, int32_t Begin, int32_t End, std::vector<int32_t> v,
                                std::vector<float> p) {
  int n = 5;
  for (int i = 0; i < n;) {
    if (p[i] < 1e-10 || p[i] > 0.99999999999) {
      for (int j = i; j < n - 1; ++j) v[j] = v[j + 1], p[j] = p[j + 1];
      p[n - 1] = 0;
      --n;
    } else {
      ++i;
    }
  }
  for (int i = 0; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j)
      if (p[i] > p[j]) std::swap(v[i], v[j]), std::swap(p[i], p[j]);
  std::vector<int32_t> T(static_cast<size_t>(Count));
  if (n == 0) {
    for (int x = 0; x < Count; ++x) T[size_t(x)] = int32_t(int64_t(End - Begin) * x / Count + Begin);
    return T;
  }
  int64_t w = Begin, d = v[0] - Begin, s = 0, e = int64_t(Count * double(p[0])), L = e;
  int seg = 0;  // segments passed
  for (int x = 0; x < Count; ++x) {
    T[size_t(x)] = int32_t(L == 0 ? w : (x - s) * d / L + w);
    if (seg < n && x >= e) {
      if (seg == n - 1) {
        s = e, w = v[size_t(n - 1)], d = End - v[size_t(n - 1)], L = Count - s - 1;
      } else {
        w = v[size_t(seg)], d = v[size_t(seg + 1)] - w, s = e, e = int64_t(Count * double(p[size_t(seg + 1)])),
        L = e - s;
      }
      ++seg;
    }
  }
  return T;
}

RefTables RefTablesOf(const TKWGradationPack& pk, int Count) {
  RefTables t;
  const int32_t b[3] = {pk.R_Begin, pk.G_Begin, pk.B_Begin}, e[3] = {pk.R_End, pk.G_End, pk.B_End};
  for (int ch = 0; ch < 3; ++ch) {
    std::vector<int32_t> v(5);
    std::vector<float> p(5);
    for (int i = 0; i < 5; ++i) v[size_t(i)] = pk.Value(ch, i), p[size_t(i)] = pk.Pos(ch, i);
    t.T[ch] = RefChannel(Count, b[ch], e[ch], v, p);
  }
  return t;
}

int RefFold(int64_t u) {
  int count = 0;
  while (u < 0) u += 2048, ++count;
  while (u >= 2048) u -= 2048, ++count;
  return count % 2 ? int(2047 - u) : int(u);
}

// Pixel (x, y) of the gradation, each formula evaluated on its own.
uint32_t RefPixel(const TKWGradationPack& pk, const RefTables& t, int W, int H, int x, int y) {
  const double k = 3.142592654 / 180;
  const double s = std::sin(k * pk.Rotate), c = std::cos(k * pk.Rotate);
  const double inv_s = s == 0 ? 1e25 : 1 / s, inv_c = c == 0 ? 1e25 : 1 / c;
  const double q = pk.Scale > 1e-5 ? 1 / double(pk.Scale) : 100000;
  int64_t u;
  if (pk.Style == 0) {
    const int64_t X0 = std::llrint(W * double(pk.OffsetX));
    const int64_t Y0 = std::llrint(H - H * double(pk.OffsetY));
    const double a = W * inv_c, b = H * inv_s;
    const double L = std::fabs(a) <= std::fabs(b) ? a : b;
    const double f = std::trunc(2047 / L * q);
    const double tt = -double(y - Y0) * s;
    u = int64_t(std::trunc((double(x - X0) * c + tt) * f));
  } else {
    const int64_t X0 = std::llrint(W * (0.5 + double(pk.OffsetX)));
    const int64_t Y0 = H - std::llrint(H * (0.5 + double(pk.OffsetY)));
    const double f = 2.4 * q * 2047 / std::sqrt(double(W * W + H * H));
    const int64_t sq = (x - X0) * (x - X0) + (y - Y0) * (y - Y0);
    u = int64_t(std::trunc(std::sqrt(double(sq)) * f));
  }
  const int i = RefFold(u);
  return uint32_t(uint8_t(t.T[2][size_t(i)])) | uint32_t(uint8_t(t.T[1][size_t(i)])) << 8 |
         uint32_t(uint8_t(t.T[0][size_t(i)])) << 16;
}

struct Grad {
  TKWGradationPack pack;
  std::unique_ptr<TKWGradation> gen = TKWProcessor::Create<TKWGradation>(&pack);
  std::vector<int32_t> T[3];
  void tables(int count) {
    for (auto& t : T) t.assign(size_t(count), -1);
    gen->MakeGradTable(T[0].data(), T[1].data(), T[2].data(), count);
  }
};

}  // namespace

// ---- pure colour ----

TEST(PureColor, FillsEveryPixelAndCarriesOverflowingValues) {
  TPureColorPack pack;
  EXPECT_EQ(pack.Red, 0);
  auto gen = TKWProcessor::Create<TKWPureColor>(&pack);
  auto b = Bmp(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) b->Row32(y)[x] = 0x12345678u;
  b->Canvas().Brush.Color = 0x0000FFu;
  b->Canvas().Brush.Style = TBrushStyle::bsClear;
  pack.Red = 10, pack.Green = 20, pack.Blue = 30;
  gen->Generator(b.get());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) ASSERT_EQ(b->Row32(y)[x] & 0xFFFFFFu, kwtest::BGRA(30, 20, 10));
  // The canvas's brush is as it was.
  EXPECT_EQ(b->Canvas().Brush.Color, TColor(0x0000FFu));
  EXPECT_EQ(b->Canvas().Brush.Style, TBrushStyle::bsClear);

  // Red 300: red 44 and one more unit of green.
  pack.Red = 300, pack.Green = 7, pack.Blue = 0;
  gen->Generator(b.get());
  EXPECT_EQ(b->Row32(4)[6] & 0xFFFFFFu, kwtest::BGRA(0, 8, 44));
  // Green 256 carries into blue; a negative red borrows from both.
  pack.Red = 0, pack.Green = 256, pack.Blue = 1;
  gen->Generator(b.get());
  EXPECT_EQ(b->Row32(0)[0] & 0xFFFFFFu, kwtest::BGRA(2, 0, 0));
  pack.Red = -1, pack.Green = 0, pack.Blue = 0;
  gen->Generator(b.get());
  EXPECT_EQ(b->Row32(0)[0] & 0xFFFFFFu, 0xFFFFFFu);
  EXPECT_EQ(TKWPureColor::FillColor(300, 7, 0), 0x082Cu);
  EXPECT_THROW(gen->Generator(nullptr), Exception);
}

TEST(PureColor, ParametersAndPacks) {
  TPureColorPack pack;
  auto gen = TKWProcessor::Create<TKWPureColor>(&pack);
  ASSERT_EQ(gen->Params.Count(), 3);
  EXPECT_EQ(gen->Params.Strings(0), "Red");
  EXPECT_EQ(gen->Params.Strings(2), "Blue");
  EXPECT_EQ(gen->Param(1)->ParamType, TKWParamType::ptInteger);
  gen->Param(1)->SetInteger(99);
  EXPECT_EQ(pack.Green, 99);
  std::unique_ptr<TKWParamPack> copy(gen->CreateParamPack());
  auto* pc = dynamic_cast<TPureColorPack*>(copy.get());
  ASSERT_NE(pc, nullptr);
  EXPECT_EQ(pc->Green, 99);
  pc->Blue = 5;
  gen->GetParams(pc);
  EXPECT_EQ(pack.Blue, 5);
}

// ---- gradation tables ----

TEST(GradationTable, NoPointsIsALinearRampWithTruncatingDivision) {
  Grad g;
  g.pack.R_Begin = 0, g.pack.R_End = 255;
  g.pack.G_Begin = 255, g.pack.G_End = 0;
  g.pack.B_Begin = 10, g.pack.B_End = 10;
  g.tables(2048);
  for (int x = 0; x < 2048; ++x) {
    ASSERT_EQ(g.T[0][size_t(x)], 255 * x / 2048);
    ASSERT_EQ(g.T[2][size_t(x)], 10);
  }
  EXPECT_EQ(g.T[0][2047], 254);  // End itself is never reached without points
  // Toward zero, not down: -255 div 2048 is 0.
  EXPECT_EQ(g.T[1][1], 255);
  EXPECT_EQ(g.T[1][9], 254);
  // Values outside a byte are kept in the table.
  g.pack.R_Begin = -1000, g.pack.R_End = 1000;
  g.tables(4);
  EXPECT_EQ(g.T[0], (std::vector<int32_t>{-1000, -500, 0, 500}));
}

TEST(GradationTable, PointsOutOfRangeArePrunedAndTheRestSortedInThePack) {
  Grad g;
  auto& p = g.pack;
  p.R_Value_1 = 11, p.R_Pos_1 = 0.0f;   // removed
  p.R_Value_2 = 22, p.R_Pos_2 = 0.75f;
  p.R_Value_3 = 33, p.R_Pos_3 = 1.0f;   // removed
  p.R_Value_4 = 44, p.R_Pos_4 = 0.25f;
  p.R_Value_5 = 55, p.R_Pos_5 = -0.5f;  // removed
  p.G_Pos_1 = 0.5f, p.G_Value_1 = 7;
  p.G_Pos_2 = 1.5f, p.G_Value_2 = 8;
  p.B_Pos_5 = std::nanf("");
  g.tables(100);
  EXPECT_EQ(p.R_Value_1, 44);
  EXPECT_FLOAT_EQ(p.R_Pos_1, 0.25f);
  EXPECT_EQ(p.R_Value_2, 22);
  EXPECT_FLOAT_EQ(p.R_Pos_2, 0.75f);
  // Later places: values as moved down, positions cleared.
  EXPECT_EQ(p.R_Pos_3, 0.0f);
  EXPECT_EQ(p.R_Pos_4, 0.0f);
  EXPECT_EQ(p.R_Pos_5, 0.0f);
  EXPECT_EQ(p.G_Value_1, 7);
  EXPECT_EQ(p.G_Pos_2, 0.0f);
  EXPECT_EQ(p.B_Pos_5, 0.0f);
  // Values after the prune: red goes 0 -> 44 at 25, -> 22 at 75, -> 255 at 99.
  EXPECT_EQ(g.T[0][0], 0);
  EXPECT_EQ(g.T[0][25], 44);
  EXPECT_EQ(g.T[0][75], 22);
  EXPECT_EQ(g.T[0][99], 255);
  // Blue has no points left: the plain ramp.
  EXPECT_EQ(g.T[2][99], 255 * 99 / 100);
}

TEST(GradationTable, SegmentsReachEachPointAndEndAtTheLastEntry) {
  Grad g;
  auto& p = g.pack;
  p.R_Begin = 0, p.R_End = 200, p.R_Value_1 = 100, p.R_Pos_1 = 0.5f;
  g.tables(2048);
  EXPECT_EQ(g.T[0][512], 512 * 100 / 1024);
  EXPECT_EQ(g.T[0][1024], 100);
  EXPECT_EQ(g.T[0][1025], 1 * 100 / 1023 + 100);
  EXPECT_EQ(g.T[0][2047], 200);
  // Falling segments truncate toward zero.
  p.G_Begin = 255, p.G_End = 0, p.G_Value_1 = 0, p.G_Pos_1 = 0.5f;
  g.tables(2048);
  EXPECT_EQ(g.T[1][1], 255 + (-255) / 1024);
  EXPECT_EQ(g.T[1][3], 255 + (-765) / 1024);
  EXPECT_EQ(g.T[1][5], 255 - 1);
  // Two points at one position: a zero-length segment holds the earlier value.
  p.B_Begin = 0, p.B_End = 0;
  p.B_Value_1 = 100, p.B_Pos_1 = 0.5f;
  p.B_Value_2 = 200, p.B_Pos_2 = 0.5f;
  g.tables(10);
  EXPECT_EQ(g.T[2][5], 100);
  EXPECT_EQ(g.T[2][6], 100);
  EXPECT_EQ(g.T[2][7], 200 + 1 * (0 - 200) / 2);
  EXPECT_EQ(g.T[2][9], 0);
}

TEST(GradationTable, MatchesThePlainEvaluationOnRandomPoints) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> val(-300, 600), cnt(1, 3000);
  std::uniform_real_distribution<float> pos(-0.3f, 1.3f);
  for (int round = 0; round < 400; ++round) {
    Grad g;
    auto& p = g.pack;
    for (int ch = 0; ch < 3; ++ch) {
      p.Begin(ch) = val(rng), p.End(ch) = val(rng);
      for (int i = 0; i < 5; ++i) {
        p.Value(ch, i) = val(rng);
        float f = pos(rng);
        if (round % 5 == 0) f = std::round(f * 10) / 10;  // shared and edge positions
        p.Pos(ch, i) = f;
      }
    }
    const int count = round % 4 == 0 ? 2048 : cnt(rng);
    const RefTables ref = RefTablesOf(p, count);
    g.tables(count);
    for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(g.T[ch], ref.T[ch]) << "round " << round << " ch " << ch;
  }
}

// ---- gradation images ----

TEST(Gradation, LinearAtAngleZeroWalksTheTableInWholeSteps) {
  LoadComplete lc;
  Grad g;
  auto b = Bmp(640, 3);
  g.gen->Generator(b.get());
  g.tables(2048);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 640; ++x) {
      const uint32_t v = uint32_t(g.T[0][size_t(3 * x)]);
      ASSERT_EQ(b->Row32(y)[x], v | v << 8 | v << 16) << x;
    }
  EXPECT_EQ(b->Row32(0)[639] & 0xFF, uint32_t(255 * 1917 / 2048));
  // Wider than 2047 pixels: f is 0, one colour.
  auto wide = Bmp(2100, 2);
  g.pack.R_Begin = 9;
  g.gen->Generator(wide.get());
  for (int x = 0; x < 2100; ++x) ASSERT_EQ(wide->Row32(1)[x], 0x090000u);
}

TEST(Gradation, CircleIsCentredAndMirroredBeyondTheEnd) {
  LoadComplete lc;
  Grad g;
  g.pack.Style = 1;
  auto b = Bmp(64, 48);
  g.gen->Generator(b.get());
  g.tables(2048);
  EXPECT_EQ(b->Row32(24)[32], 0u);  // the centre is Begin
  const double f = 2.4 * 1.0 * 2047 / std::sqrt(64.0 * 64 + 48 * 48);  // the corners fold
  int folded = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const int64_t u = int64_t(std::sqrt(double((x - 32) * (x - 32) + (y - 24) * (y - 24))) * f);
      const int i = u >= 2048 ? 4095 - int(u) : int(u);
      ASSERT_LT(u, 4096);
      folded += u >= 2048;
      const uint32_t v = uint32_t(g.T[0][size_t(i)]);
      ASSERT_EQ(b->Row32(y)[x], v | v << 8 | v << 16) << x << "," << y;
    }
  EXPECT_GT(folded, 20);
}

TEST(Gradation, TinyScaleUsesTheLargeReciprocal) {
  LoadComplete lc;
  Grad g;
  g.pack.Scale = 1e-6f;
  auto b = Bmp(640, 1);
  g.gen->Generator(b.get());
  g.tables(2048);
  // f = Trunc(2047 / 640 * 100000) = 319843; 319843 = 156 * 2048 + 355.
  EXPECT_EQ(b->Row32(0)[1] & 0xFF, uint32_t(g.T[2][355]));
  EXPECT_EQ(b->Row32(0)[2] & 0xFF, uint32_t(g.T[2][RefFold(2 * 319843)]));
  g.pack.Scale = 0;
  auto c = Bmp(640, 1);
  g.gen->Generator(c.get());
  EXPECT_EQ(c->Row32(0)[1], b->Row32(0)[1]);
}

TEST(Gradation, OtherStylesAndAnUnfinishedLoadLeaveThePixels) {
  Grad g;
  auto b = kwtest::RandomBmp(17, 9, 3);
  auto before = kwtest::RandomBmp(17, 9, 3);
  g.pack.R_Pos_1 = 1.0f, g.pack.R_Value_1 = 5;
  {
    LoadComplete lc;
    g.pack.Style = 2;
    g.gen->Generator(b.get());
  }
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 17; ++x) ASSERT_EQ(b->Row32(y)[x], before->Row32(y)[x]);
  EXPECT_EQ(g.pack.R_Pos_1, 0.0f);  // the tables were still built
  IsLoadComplete = false;
  g.pack.Style = 0;
  g.gen->Generator(b.get());
  IsLoadComplete = true;
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 17; ++x) ASSERT_EQ(b->Row32(y)[x], before->Row32(y)[x]);
}

TEST(Gradation, MatchesThePlainEvaluationOnRandomSettings) {
  LoadComplete lc;
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> val(-50, 400), dim(1, 90);
  std::uniform_real_distribution<float> pos(0.0f, 1.0f), rot(-400, 400), off(-1.5f, 1.5f),
      scale(0.05f, 4.0f);
  for (int round = 0; round < 300; ++round) {
    Grad g;
    auto& p = g.pack;
    p.Style = round % 2;
    p.Rotate = round % 7 == 0 ? float(90 * (round % 5)) : rot(rng);
    p.OffsetX = off(rng), p.OffsetY = off(rng), p.Scale = scale(rng);
    for (int ch = 0; ch < 3; ++ch) {
      p.Begin(ch) = val(rng), p.End(ch) = val(rng);
      for (int i = 0; i < 5; ++i) p.Value(ch, i) = val(rng), p.Pos(ch, i) = pos(rng);
    }
    const int W = dim(rng), H = dim(rng);
    auto b = Bmp(W, H);
    g.gen->Generator(b.get());
    const RefTables t = RefTablesOf(p, 2048);  // the pack is pruned by now: the same points
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        ASSERT_EQ(b->Row32(y)[x], RefPixel(p, t, W, H, x, y)) << "round " << round << " at " << x << "," << y;
  }
}

TEST(Gradation, ReportsProgressEvery64RowsAndSurvivesBadSettings) {
  LoadComplete lc;
  Grad g;
  std::vector<uint8_t> percents;
  g.gen->OnProgress = [&](TKWProcessor*, TProgressStage st, uint8_t pc, bool, TRect&, const std::string&) {
    if (st == TProgressStage::psRunning) percents.push_back(pc);
  };
  auto b = Bmp(8, 130);
  g.gen->Generator(b.get());
  EXPECT_EQ(percents, (std::vector<uint8_t>{0, 49, 98}));
  // Settings that are no numbers or far out of range draw something and
  // stay inside the image.
  for (float bad : {std::nanf(""), 1e30f, -1e30f, INFINITY}) {
    g.pack.Rotate = bad, g.pack.OffsetX = bad, g.pack.OffsetY = bad, g.pack.Scale = bad;
    for (int st = 0; st < 2; ++st) {
      g.pack.Style = st;
      EXPECT_NO_THROW(g.gen->Generator(b.get()));
    }
  }
  auto empty = Bmp(0, 0);
  EXPECT_NO_THROW(g.gen->Generator(empty.get()));
  auto b8 = std::make_unique<TBitmap>();
  b8->SetPixelFormat(pf8bit);
  b8->SetSize(4, 4);
  EXPECT_THROW(g.gen->Generator(b8.get()), Exception);
}

TEST(Gradation, ParameterListOrderAndTypes) {
  Grad g;
  std::vector<std::string> names;
  for (int i = 0; i < g.gen->Params.Count(); ++i) names.push_back(g.gen->Params.Strings(i));
  ASSERT_EQ(names.size(), 41u);
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 13),
            (std::vector<std::string>{"R_Begin", "G_Begin", "B_Begin", "R_End", "G_End", "B_End", "Style",
                                      "Rotate", "Scale", "OffsetX", "OffsetY", "R_Value_1", "R_Pos_1"}));
  EXPECT_EQ(names[30], "G_Pos_5");
  EXPECT_EQ(names[40], "B_Pos_5");
  EXPECT_EQ(g.gen->Param(7)->ParamType, TKWParamType::ptSingle);
  EXPECT_EQ(g.gen->Param(12)->ParamType, TKWParamType::ptSingle);
  EXPECT_EQ(g.gen->Param(11)->ParamType, TKWParamType::ptInteger);
  g.gen->Param(40)->SetSingle(0.5f);
  EXPECT_EQ(g.pack.B_Pos_5, 0.5f);
  EXPECT_EQ(g.pack.R_End, 255);
  EXPECT_EQ(g.pack.Scale, 1.0f);
  EXPECT_FALSE(g.pack.Smooth);
}

TEST(Gradation, FoldMirrorsEveryOtherRepetition) {
  for (int64_t u = -3 * 2048 - 5; u <= 3 * 2048 + 5; ++u) ASSERT_EQ(TKWGradation::Fold(u), RefFold(u)) << u;
  // Far out: 2^40 is an even number of repetitions, one more is odd.
  const int64_t far = int64_t(1) << 40;
  EXPECT_EQ(TKWGradation::Fold(far + 7), 7);
  EXPECT_EQ(TKWGradation::Fold(far + 2048 + 7), 2047 - 7);
  EXPECT_EQ(TKWGradation::Fold(-far + 7), 7);
  EXPECT_EQ(TKWGradation::Fold(-far - 1), 0);
}
