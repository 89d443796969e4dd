// Mask filter: preset kernels, free mask addressing, divisor floor, the
// centre-weighting correction, reflection at the borders, rounding, and the
// filter against a plain computation on random images and kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "proclib/kwmask.h"
#include "testutil.h"

using namespace kwlib;
using namespace kwtest;

namespace {

std::unique_ptr<TBitmap> Filled(int w, int h, uint32_t c) {
  auto b = Bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->Row32(y)[x] = c;
  return b;
}

std::unique_ptr<TBitmap> Apply(TMaskFilter& f, const TBitmap& src, uint32_t fill = 0) {
  auto dst = Filled(src.Width(), src.Height(), fill);
  f.ExecFilter(const_cast<TBitmap*>(&src), dst.get());
  return dst;
}

bool InShape(int range, int dx, int dy) {
  int ax = std::abs(dx), ay = std::abs(dy);
  return range == 0 ? ax + ay <= 1 : range == 1 ? ax <= 1 && ay <= 1 : range == 2 ? ax + ay <= 2 : true;
}

// Padded-copy semantics: row -1 reads row 0, row -2 row 1, row len row
// len - 1, row len + 1 row len - 2; images under two pixels keep to the
// pixels they have.
int Mirror(int c, int len) {
  int r = c == -1 ? 0 : c == -2 ? 1 : c == len ? len - 1 : c == len + 1 ? len - 2 : c;
  return std::min(std::max(r, 0), len - 1);
}

std::unique_ptr<TBitmap> Reference(const TBitmap& src, const TMaskPack& p, uint32_t fill) {
  double k[5][5];
  EXPECT_TRUE(MaskKernel(p, k));
  const int w = src.Width(), h = src.Height();
  auto dst = Filled(w, h, fill);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint32_t out = fill & 0xFF000000u;
      for (int ch = 0; ch < 3; ++ch) {
        double v = 0;
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx)
            if (InShape(p.Range, dx, dy))
              v += k[dy + 2][dx + 2] *
                   double((src.Row32(Mirror(y + dy, h))[Mirror(x + dx, w)] >> (8 * ch)) & 0xFF);
        int c = v < 0 ? 0 : v > 255 ? 255 : int(std::nearbyint(v));
        out |= uint32_t(c) << (8 * ch);
      }
      dst->Row32(y)[x] = out;
    }
  return dst;
}

int64_t Differences(const TBitmap& a, const TBitmap& b) {
  int64_t bad = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) bad += a.Row32(y)[x] != b.Row32(y)[x];
  return bad;
}

}  // namespace

TEST(MaskKernel, PresetsDivideAsTheirTableSays) {
  TMaskPack p;
  const int N[4] = {5, 9, 13, 25};
  double k[5][5];
  for (int r = 0; r < 4; ++r) {
    const int n = N[r] - 1;
    p.Range = r;
    const double centre[5] = {1.0 / N[r], double(n) / (2 * n), double(n), double(n + 1),
                              double(n + 3) / 3};
    const double other[5] = {1.0 / N[r], 1.0 / (2 * n), -1, -1, -1.0 / 3};
    for (int op = 0; op < 5; ++op) {
      p.Operation = op;
      ASSERT_TRUE(MaskKernel(p, k));
      EXPECT_DOUBLE_EQ(k[2][2], centre[op]) << r << " " << op;
      EXPECT_DOUBLE_EQ(k[0][4], other[op]) << r << " " << op;
    }
  }
  p.Range = 4;
  EXPECT_FALSE(MaskKernel(p, k));
  p.Range = 0;
  p.Operation = 6;
  EXPECT_FALSE(MaskKernel(p, k));
}

TEST(MaskKernel, FreeMaskAddressingFloorAndSpray) {
  TMaskPack p;
  p.Operation = 5;
  p.Range = 3;
  p.Mask(0, 1) = 3;  // key "Mask01": dx = -2, dy = -1
  p.AddValue = 1;
  p.DivValue = 2;
  double k[5][5];
  ASSERT_TRUE(MaskKernel(p, k));
  EXPECT_EQ(k[1][0], 2.0);
  EXPECT_EQ(k[0][1], 0.5);
  p.DivValue = 0;
  p.AddValue = 0;
  ASSERT_TRUE(MaskKernel(p, k));
  EXPECT_EQ(k[1][0], 3 / 1e-10);
  p.DivValue = -5e-11f;
  ASSERT_TRUE(MaskKernel(p, k));
  EXPECT_EQ(k[1][0], 3 / 1e-10);
  // The correction of the cross, strength 4, on the moving average.
  TMaskPack s;
  s.Spray = true;
  s.SprayPower = 4;
  ASSERT_TRUE(MaskKernel(s, k));
  EXPECT_DOUBLE_EQ(k[2][2], 1.0 / 5 + 4 * 1.0 / 10);
  EXPECT_DOUBLE_EQ(k[1][2], 1.0 / 5 - 4 * 0.25 / 10);
  EXPECT_DOUBLE_EQ(k[0][0], 1.0 / 5);
  s.Range = 3;
  ASSERT_TRUE(MaskKernel(s, k));
  EXPECT_DOUBLE_EQ(k[0][0], 1.0 / 25 + 4 * -0.509005999 / 10);
}

TEST(MaskFilter, AveragesReflectAtCornersAndRoundHalvesToEven) {
  TMaskPack p;
  p.Range = 1;
  auto f = TKWProcessor::Create<TMaskFilter>(&p);
  auto flat = Filled(7, 4, BGRA(13, 200, 77, 5));
  EXPECT_EQ(Differences(*Apply(*f, *flat, 0x09000000u), *Filled(7, 4, BGRA(13, 200, 77, 9))), 0);
  // Corner: 4 x (0, 0), 2 x (1, 0), 2 x (0, 1), 1 x (1, 1).
  auto src = Filled(3, 3, 0);
  src->Row32(0)[0] = BGRA(90, 0, 0);
  src->Row32(0)[1] = BGRA(9, 0, 0);
  src->Row32(1)[0] = BGRA(18, 0, 0);
  EXPECT_EQ(Apply(*f, *src)->Row32(0)[0], BGRA(46, 0, 0));
  // A lone centre weight of 0.5: 5 -> 2.5 -> 2, 7 -> 3.5 -> 4.
  TMaskPack h;
  h.Operation = 5;
  h.DivValue = 1;
  h.Mask(2, 2) = 0.5f;
  auto g = TKWProcessor::Create<TMaskFilter>(&h);
  EXPECT_EQ(Apply(*g, *OnePixel(BGRA(5, 7, 9)))->Row32(0)[0], BGRA(2, 4, 4));
}

TEST(MaskFilter, EdgeExtractionClampsAndZeroDivisorGivesBlack) {
  TMaskPack p;
  p.Operation = 2;
  auto f = TKWProcessor::Create<TMaskFilter>(&p);
  EXPECT_EQ(Differences(*Apply(*f, *Filled(6, 6, BGRA(99, 98, 97))), *Filled(6, 6, 0)), 0);
  auto spot = Filled(5, 5, 0);
  spot->Row32(2)[2] = BGRA(255, 255, 255);
  auto out = Apply(*f, *spot);
  auto expect = Filled(5, 5, 0);
  expect->Row32(2)[2] = BGRA(255, 255, 255);
  EXPECT_EQ(Differences(*out, *expect), 0);
  TMaskPack z;
  z.Operation = 5;  // every value, the adder and the divisor 0
  auto g = TKWProcessor::Create<TMaskFilter>(&z);
  EXPECT_EQ(Differences(*Apply(*g, *RandomBmp(9, 9, 1)), *Filled(9, 9, 0)), 0);
}

TEST(MaskFilter, ScriptNameAndSettingsKeyAddressTheSameWeight) {
  TMaskPack p;
  p.Range = 3;
  p.Operation = 5;
  p.DivValue = 1;
  auto f = TKWProcessor::Create<TMaskFilter>(&p);
  ASSERT_EQ(f->Params.Count(), 4 + 25 + 2);  // 31
  const char* head[4] = {"Range", "Operation", "AddValue", "DivValue"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f->Params.Strings(i), head[i]);
  EXPECT_EQ(f->Params.Strings(4), "Mask11");
  EXPECT_EQ(f->Params.Strings(5), "Mask12");
  EXPECT_EQ(f->Params.Strings(28), "Mask55");
  EXPECT_EQ(f->Params.Strings(29), "Spray");
  EXPECT_EQ(f->Params.Strings(30), "SpryPower");
  const int i21 = f->Params.IndexOf("Mask21");
  ASSERT_GE(i21, 0);
  EXPECT_EQ(f->Param(i21)->ParamType, TKWParamType::ptSingle);
  EXPECT_EQ(f->Param(i21)->ValuePtr, &p.Mask(0, 1));
  for (const auto& d : TMaskPack::Table()) {
    if (d.Name && std::string(d.Name) == "Mask21") {
      EXPECT_STREQ(d.Key, "Mask01");
    }
  }
  // Weight 1 at dx = -2, dy = -1: each pixel shows its neighbour two to the
  // left and one up, so a spot moves right by 2 and down by 1.
  f->Param(i21)->SetSingle(1);
  auto spot = Filled(9, 9, 0);
  spot->Row32(4)[4] = BGRA(10, 20, 30);
  auto out = Apply(*f, *spot);
  EXPECT_EQ(out->Row32(5)[6], BGRA(10, 20, 30));
  EXPECT_EQ(out->Row32(4)[4], 0u);
}

TEST(MaskFilter, MatchesPlainComputationOnRandomImagesAndKernels) {
  TMaskPack p;
  auto f = TKWProcessor::Create<TMaskFilter>(&p);
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> val(-1.5f, 2.0f);
  // Widths around the four- and eight-pixel steps of the fast rows.
  const int sizes[][2] = {{1, 1}, {2, 2}, {1, 5}, {5, 1}, {3, 4}, {9, 3}, {33, 34}, {70, 41}, {131, 6}};
  uint32_t seed = 100;
  for (auto& s : sizes)
    for (int range = 0; range < 4; ++range)
      for (int op = 0; op < 6; ++op) {
        p.Range = range;
        p.Operation = op;
        for (int a = 0; a < 5; ++a)
          for (int b = 0; b < 5; ++b) p.Mask(a, b) = val(rng);
        p.AddValue = val(rng) / 4;
        p.DivValue = 1 + val(rng);
        p.Spray = rng() % 3 == 0;
        p.SprayPower = int(rng() % 10);
        auto src = RandomBmp(s[0], s[1], seed++);
        // Only black and white in every other image: the clipping at both ends.
        if (seed % 2)
          for (int y = 0; y < s[1]; ++y)
            for (int x = 0; x < s[0]; ++x) src->Row32(y)[x] = (src->Row32(y)[x] & 0x01010101u) * 255;
        SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << " range " << range << " op " << op);
        EXPECT_EQ(Differences(*Apply(*f, *src, 0x5A000000u), *Reference(*src, p, 0x5A000000u)), 0);
      }
}

TEST(MaskFilter, NoKernelPassesTheImageUnchanged) {
  TMaskPack p;
  p.Range = 7;
  auto f = TKWProcessor::Create<TMaskFilter>(&p);
  auto src = RandomBmp(6, 5, 3);
  EXPECT_EQ(Differences(*Apply(*f, *src), *src), 0);
  p.Range = 0;
  p.Operation = -1;
  EXPECT_EQ(Differences(*Apply(*f, *src), *src), 0);
}
