// The five colour point filters and histogram flattening: the edge values
// the filters are defined by, and the optimised loops against plain
// per-pixel formulas on random images.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "proclib/kwbinclr.h"
#include "proclib/kwgray.h"
#include "proclib/kwhstflt.h"
#include "proclib/kwnega.h"
#include "proclib/kwrgb.h"
#include "proclib/kwselect.h"
#include "testutil.h"

using namespace kwlib;
using namespace kwtest;

namespace {

template <class F>
std::unique_ptr<TBitmap> Apply(F& f, const TBitmap& src) {
  auto dst = Bmp(src.Width(), src.Height());
  f.ExecFilter(const_cast<TBitmap*>(&src), dst.get());
  return dst;
}

void ExpectSame(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  int64_t bad = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) bad += a.Row32(y)[x] != b.Row32(y)[x];
  EXPECT_EQ(bad, 0);
}


}  // namespace

TEST(Negative, InvertsEveryByte) {
  auto f = TKWProcessor::Create<TKWNegativeFilter>();
  auto src = RandomBmp(37, 5, 1);
  auto dst = Apply(*f, *src);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 37; ++x) EXPECT_EQ(dst->Row32(y)[x], ~src->Row32(y)[x]);
  EXPECT_EQ(f->Params.Count(), 0);
}

TEST(GrayScale, EdgeValuesAndPlainFormula) {
  auto f = TKWProcessor::Create<TKWGrayScale>();
  EXPECT_EQ(Apply(*f, *OnePixel(BGRA(0, 0, 255, 77)))->Row32(0)[0], BGRA(76, 76, 76, 77));
  EXPECT_EQ(Apply(*f, *OnePixel(BGRA(255, 255, 255, 9)))->Row32(0)[0], BGRA(255, 255, 255, 9));
  auto src = RandomBmp(301, 97, 2);
  auto ref = Bmp(301, 97);
  for (int y = 0; y < 97; ++y)
    for (int x = 0; x < 301; ++x) {
      uint32_t p = src->Row32(y)[x];
      uint32_t g = uint32_t(Round(Lum(p)));
      ref->Row32(y)[x] = (p & 0xFF000000u) | g | (g << 8) | (g << 16);
    }
  ExpectSame(*Apply(*f, *src), *ref);
}

TEST(GrayScale, ReportsProgressBeforeEvery32ndRow) {
  auto f = TKWProcessor::Create<TKWGrayScale>();
  std::vector<int> lefts;
  f->SetProgress([&](TKWProcessor*, TProgressStage s, uint8_t, bool, TRect& r, const std::string&) {
    if (s == TProgressStage::psRunning) lefts.push_back(r.Left);
  });
  Apply(*f, *RandomBmp(3, 100, 3));
  // rows 31, 63, 95 of 100
  EXPECT_EQ(lefts, (std::vector<int>{3100, 6300, 9500}));
}

TEST(RGB, FactorsRoundHalfToEvenAndSaturate) {
  TKWRGBPack pack;
  auto f = TKWProcessor::Create<TRGBFilter>(&pack);
  auto src = RandomBmp(64, 16, 4);
  ExpectSame(*Apply(*f, *src), *src);  // factors 1.0
  pack.Red = 2.0f;
  pack.Green = 0.5f;
  pack.Blue = 0.5f;
  EXPECT_EQ(Apply(*f, *OnePixel(BGRA(5, 7, 200, 3)))->Row32(0)[0], BGRA(2, 4, 255, 3));
  pack.Red = 1.37f;
  pack.Green = 0.33f;
  pack.Blue = 4.9f;
  auto ref = Bmp(64, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) {
      uint32_t p = src->Row32(y)[x];
      auto ch = [](float fct, uint32_t v) {
        return uint32_t(std::min<int64_t>(Round((long double)fct * v), 255));
      };
      ref->Row32(y)[x] = (p & 0xFF000000u) | ch(pack.Blue, p & 0xFF) |
                         (ch(pack.Green, (p >> 8) & 0xFF) << 8) | (ch(pack.Red, (p >> 16) & 0xFF) << 16);
    }
  ExpectSame(*Apply(*f, *src), *ref);
}

TEST(Binarize, Mode0ThresholdIsInclusive128) {
  TKWBinClrPack pack;
  auto f = TKWProcessor::Create<TKWBinClr>(&pack);
  EXPECT_EQ(pack.ThMode, 0);
  EXPECT_EQ(pack.Threshold, 128);
  // Find colours of luminance exactly 128.0 (N = 1 280 000 000) and just below.
  uint32_t exact = 0, below = 0;
  bool haveExact = false, haveBelow = false;
  for (uint32_t p = 0; p < (1u << 24) && !(haveExact && haveBelow); ++p) {
    uint32_t n = 1140105u * (p & 0xFF) + 5870100u * ((p >> 8) & 0xFF) + 2989875u * (p >> 16);
    if (n == 1280000000u && !haveExact) exact = p, haveExact = true;
    if (n >= 1279900000u && n < 1280000000u && !haveBelow) below = p, haveBelow = true;
  }
  ASSERT_TRUE(haveBelow);
  EXPECT_EQ(Apply(*f, *OnePixel(below))->Row32(0)[0] & 0xFFFFFF, 0u);
  if (haveExact) {
    EXPECT_EQ(Apply(*f, *OnePixel(exact))->Row32(0)[0] & 0xFFFFFF, 0xFFFFFFu);
  }
  // Plain comparison against 128 on a random image.
  auto src = RandomBmp(200, 50, 5);
  auto out = Apply(*f, *src);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 200; ++x)
      ASSERT_EQ(out->Row32(y)[x] & 0xFFFFFF, Lum(src->Row32(y)[x]) >= 128.0L ? 0xFFFFFFu : 0u);
}

TEST(Binarize, Mode1MedianThresholds) {
  // four pixels of luminance 0, 0, 1.5 (bin 1) and 255
  uint32_t h[256] = {};
  h[0] = 2;
  h[1] = 1;
  h[255] = 1;
  EXPECT_EQ(TKWBinClr::MedianThreshold(h, 4), 0.0);
  // bins 0, 10, 200, 255: t = (2 - 1) / 1 + 9 = 10
  uint32_t h2[256] = {};
  h2[0] = h2[10] = h2[200] = h2[255] = 1;
  EXPECT_EQ(TKWBinClr::MedianThreshold(h2, 4), 10.0);
  // exactly half in bin 0, bin 1 empty: t = 0 without a division by zero
  uint32_t h3[256] = {};
  h3[0] = 2;
  h3[50] = 2;
  EXPECT_EQ(TKWBinClr::MedianThreshold(h3, 4), 0.0);
  // more than half in bin 0: t = m / h[0]
  uint32_t h4[256] = {};
  h4[0] = 3;
  h4[9] = 1;
  EXPECT_DOUBLE_EQ(TKWBinClr::MedianThreshold(h4, 4), 2.0 / 3.0);
}

TEST(Binarize, Mode1OnImages) {
  TKWBinClrPack pack;
  pack.ThMode = 1;
  auto f = TKWProcessor::Create<TKWBinClr>(&pack);
  // luminance 0 and 10 (a gray of 10), 200, 255
  auto src = Bmp(4, 1);
  src->Row32(0)[0] = 0;
  src->Row32(0)[1] = BGRA(10, 10, 10);  // Y = 10.00002: bin 10
  src->Row32(0)[2] = BGRA(200, 200, 200);
  src->Row32(0)[3] = BGRA(255, 255, 255);
  auto out = Apply(*f, *src);
  EXPECT_EQ(out->Row32(0)[0] & 0xFFFFFF, 0u);
  EXPECT_EQ(out->Row32(0)[1] & 0xFFFFFF, 0xFFFFFFu);
  // half black, half in bin 50: all white
  auto src2 = Bmp(4, 1);
  src2->Row32(0)[2] = src2->Row32(0)[3] = BGRA(50, 50, 50);
  auto out2 = Apply(*f, *src2);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(out2->Row32(0)[x] & 0xFFFFFF, 0xFFFFFFu);
}

TEST(Binarize, Mode2UsesThresholdAndKeepsDestinationFourthByte) {
  TKWBinClrPack pack;
  pack.ThMode = 2;
  pack.Threshold = 60;
  auto f = TKWProcessor::Create<TKWBinClr>(&pack);
  auto src = RandomBmp(100, 40, 6);
  auto dst = Bmp(100, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x) dst->Row32(y)[x] = 0xAB000000u;
  f->ExecFilter(src.get(), dst.get());
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(dst->Row32(y)[x], 0xAB000000u | (Lum(src->Row32(y)[x]) >= 60.0L ? 0xFFFFFFu : 0u));
}

TEST(Binarize, ParameterNamesDifferFromSettingsKeys) {
  TKWBinClrPack pack;
  auto f = TKWProcessor::Create<TKWBinClr>(&pack);
  ASSERT_EQ(f->Params.Count(), 2);
  EXPECT_EQ(f->Params.Strings(0), "Th_Mode");
  EXPECT_EQ(std::string(TKWBinClrPack::Table()[0].Key), "ThMode");
  EXPECT_EQ(f->Param(0)->ParamType, TKWParamType::ptInteger);
  f->Param(1)->SetInteger(77);
  EXPECT_EQ(pack.Threshold, 77);
}

TEST(Selector, SourcesValuesAndInvalidSource) {
  TSelectorPack pack;
  auto f = TKWProcessor::Create<TKWSelector>(&pack);
  pack.SourceR = 2;
  pack.SourceG = 1;
  pack.SourceB = 0;
  EXPECT_EQ(Apply(*f, *OnePixel(BGRA(1, 2, 3, 99)))->Row32(0)[0], BGRA(3, 2, 1, 0));
  pack.SourceR = 5;
  pack.ValueR = 300;
  pack.SourceG = 4;
  pack.SourceB = 3;
  EXPECT_EQ(Apply(*f, *OnePixel(BGRA(1, 2, 3, 99)))->Row32(0)[0], BGRA(0, 255, 44, 0));
  pack.SourceB = 9;  // never written: stays 0
  pack.SourceR = 1;
  auto src = RandomBmp(20, 3, 7);
  auto out = Apply(*f, *src);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 20; ++x) {
      uint32_t p = src->Row32(y)[x];
      ASSERT_EQ(out->Row32(y)[x], BGRA(0, 255, (p >> 8) & 0xFF, 0));
    }
  ASSERT_EQ(f->Params.Count(), 6);
  EXPECT_EQ(f->Params.Strings(4), "ValurG");
}

TEST(HistFlat, UniformGrey100BecomesLevel128) {
  TKWHistFlatPack pack;
  auto f = TKWProcessor::Create<TKWHistFlater>(&pack);
  auto src = Bmp(16, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) src->Row32(y)[x] = BGRA(100, 100, 100, 5);
  auto out = Apply(*f, *src);
  EXPECT_EQ(out->Row32(3)[4], BGRA(128, 128, 128, 5));
  // Method 1 differs from run to run.
  pack.Method = 1;
  auto r1 = Apply(*f, *src), r2 = Apply(*f, *src);
  int diff = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) diff += r1->Row32(y)[x] != r2->Row32(y)[x];
  EXPECT_GT(diff, 0);
}

TEST(HistFlat, EmptyImageGivesZeroTable) {
  uint32_t h[256] = {};
  double a[256], b[256];
  TKWHistFlater::Levels(h, 0, 0, a, b);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(a[i], 0.0);
    EXPECT_EQ(b[i], 0.0);
  }
}

TEST(HistFlat, Method0MatchesPlainFormula) {
  TKWHistFlatPack pack;
  auto f = TKWProcessor::Create<TKWHistFlater>(&pack);
  auto src = RandomBmp(123, 77, 8);
  uint32_t h[256] = {};
  for (int y = 0; y < 77; ++y)
    for (int x = 0; x < 123; ++x) ++h[int(Trunc(Lum(src->Row32(y)[x])))];
  double a[256], b[256];
  TKWHistFlater::Levels(h, 123 * 77, 0, a, b);
  auto ref = Bmp(123, 77);
  for (int y = 0; y < 77; ++y)
    for (int x = 0; x < 123; ++x) {
      uint32_t p = src->Row32(y)[x];
      int l = int(Trunc(Lum(p)));
      double fct = l == 0 ? 1.0 : b[l] / l;
      auto ch = [&](uint32_t v) {
        int64_t t = Trunc((long double)fct * v);
        return uint32_t(uint8_t(std::min<int64_t>(t, 255)));
      };
      ref->Row32(y)[x] = (p & 0xFF000000u) | ch(p & 0xFF) | (ch((p >> 8) & 0xFF) << 8) |
                         (ch((p >> 16) & 0xFF) << 16);
    }
  ExpectSame(*Apply(*f, *src), *ref);
}

// Method 1 draws one number per pixel, row after row; bands of rows on
// other threads start where the rows before them leave the sequence.
TEST(HistFlat, Method1TakesOneNumberPerPixelInRowOrder) {
  TKWHistFlatPack pack;
  pack.Method = 1;
  auto f = TKWProcessor::Create<TKWHistFlater>(&pack), numbers = TKWProcessor::Create<TKWHistFlater>(&pack);
  const int W = 123, H = 77;
  auto src = RandomBmp(W, H, 9);
  uint32_t h[256] = {};
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) ++h[int(Trunc(Lum(src->Row32(y)[x])))];
  double a[256], b[256];
  TKWHistFlater::Levels(h, W * H, 1, a, b);
  auto ref = Bmp(W, H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint32_t p = src->Row32(y)[x];
      const int l = int(Trunc(Lum(p)));
      const double fct = l == 0 ? 1.0 : (a[l] + numbers->Random() * b[l]) / l;
      auto ch = [&](uint32_t v) { return uint32_t(std::min<int64_t>(Trunc((long double)fct * v), 255)); };
      ref->Row32(y)[x] = (p & 0xFF000000u) | ch(p & 0xFF) | (ch((p >> 8) & 0xFF) << 8) | (ch((p >> 16) & 0xFF) << 16);
    }
  ExpectSame(*Apply(*f, *src), *ref);
  EXPECT_EQ(f->Random(), numbers->Random());  // and the sequence goes on alike
}

TEST(Filters, RefuseMismatchedBitmaps) {
  auto f = TKWProcessor::Create<TKWGrayScale>();
  auto a = Bmp(4, 4), b = Bmp(5, 4);
  EXPECT_THROW(f->ExecFilter(a.get(), b.get()), Exception);
}

TEST(ParamTable, PacksCopyAndRejectForeignPacks) {
  TSelectorPack pack;
  auto f = TKWProcessor::Create<TKWSelector>(&pack);
  pack.ValueB = 7;
  std::unique_ptr<TKWParamPack> snap(f->CreateParamPack());
  pack.ValueB = 9;
  ASSERT_EQ(snap->GetList(), &f->Params);
  EXPECT_EQ(pack.ValueB, 7);
  TKWRGBPack other;
  EXPECT_THROW(f->GetParams(&other), EInvalidCast);
}
