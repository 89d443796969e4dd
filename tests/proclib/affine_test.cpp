// Affine transform: identity, blending of the chosen neighbours, wrap-round
// shifts, the singular matrix, and the filter against a step-by-step
// computation on random images and parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/sysutils.h"
#include "proclib/kwaffine.h"
#include "testutil.h"
#include "ui/messages.h"

using namespace kwlib;
using namespace kwtest;

namespace {

std::unique_ptr<TBitmap> Apply(TKWAffine& f, const TBitmap& src, uint32_t fill = 0) {
  auto dst = Bmp(src.Width(), src.Height());
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) dst->Row32(y)[x] = fill;
  f.ExecFilter(const_cast<TBitmap*>(&src), dst.get());
  return dst;
}

TAffinePack Plain() {
  TAffinePack p;
  p.ExecRotate = false;
  p.ExecZoom = false;
  return p;
}

// The steps written out one by one, wrapping by repeated addition.
uint32_t StepByStep(const TAffinePack& p, const TBitmap& src, int x, int y) {
  const int W = src.Width(), H = src.Height();
  double c = 1, s = 0;
  if (p.ExecRotate) {
    double th = -double(p.RotateAngle) * 3.14159265358979323846 / 180;
    c = std::cos(th), s = std::sin(th);
  }
  if (p.ExecZoom) c *= p.ZoomRate, s *= p.ZoomRate;
  double m11 = c, m12 = -s, m21 = s, m22 = c;
  if (p.ExecSlash) {
    m11 = p.SlashX * s + c, m12 = -p.SlashX * c - s, m21 = p.SlashY * c + s, m22 = p.SlashY * s + c;
  }
  double tx = p.ExecMove ? -p.MoveX : 0, ty = p.ExecMove ? -p.MoveY : 0;
  int ox = int(Round((long double)W * p.OriginX)), oy = int(Round((long double)H * p.OriginY));
  double det = m11 * m22 - m12 * m21;
  double p11 = m22 / det, p12 = -m12 / det, p21 = -m21 / det, p22 = m11 / det;
  double dx = x - ox, dy = y - oy;
  double u = dx * p11 + dy * p12 + tx, v = dx * p21 + dy * p22 + ty;
  int sx = int(Trunc(u)) + ox;
  while (sx < 0) sx += W;
  while (sx > W - 1) sx -= W;
  int sx2 = (sx == 0 || sx == W - 1) ? sx : Round(u) == sx ? sx - 1 : sx + 1;
  int sy = int(Trunc(v)) + oy;
  while (sy < 0) sy += H;
  while (sy > H - 1) sy -= H;
  int r = H - 1 - sy;
  int sy2 = (r == 0 || r == H - 1) ? sy : Round(v) == r ? sy + 1 : sy - 1;
  double fx = u - Trunc(u), fy = v - Trunc(v);
  double w1 = (1 - fx) * (1 - fy), w2 = (1 - fx) * fy, w3 = fx * (1 - fy), w4 = fx * fy;
  uint32_t out = 0;
  for (int ch = 2; ch >= 0; --ch) {
    auto P = [&](int xx, int yy) { return double((src.Row32(yy)[xx] >> (8 * ch)) & 0xFF); };
    int64_t t = Trunc(w1 * P(sx, sy) + w2 * P(sx, sy2) + w3 * P(sx2, sy) + w4 * P(sx2, sy2));
    out |= uint32_t(t > 255 ? 255 : t < 0 ? 0 : t) << (8 * ch);
  }
  return out;
}

}  // namespace

TEST(Affine, HundredPercentReproducesTheImage) {
  TAffinePack p;  // zoom 100 %, rotation 0 by default
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  p.OriginX = 0.37f;
  p.OriginY = 0.5f;
  auto src = RandomBmp(31, 17, 4);
  auto dst = Apply(*f, *src, 0xAB000000u);
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 31; ++x)
      ASSERT_EQ(dst->Row32(y)[x], (src->Row32(y)[x] & 0xFFFFFFu) | 0xAB000000u);
  EXPECT_TRUE(f->CanPreview());
}

TEST(Affine, DoubleZoomBlendsWithTheChosenNeighbour) {
  TAffinePack p = Plain();
  p.ExecZoom = true;
  p.ZoomRate = 2;
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  auto src = Bmp(8, 1);
  for (int x = 0; x < 8; ++x) src->Row32(0)[x] = BGRA(10 * x + 1, 0, 255 - x);
  auto dst = Apply(*f, *src);
  // x = 1: u = 0.5 at the edge column 0, no neighbour.
  EXPECT_EQ(dst->Row32(0)[1], BGRA(1, 0, 255));
  // x = 2: u = 1, weight 1 on column 1.
  EXPECT_EQ(dst->Row32(0)[2], BGRA(11, 0, 254));
  // x = 3: u = 1.5 rounds to 2, not 1, so column 2 joins: (11 + 21) / 2, (254 + 253) / 2 cut.
  EXPECT_EQ(dst->Row32(0)[3], BGRA(16, 0, 253));
  // x = 5: u = 2.5 rounds to 2 = sx, so column 1 joins: (21 + 11) / 2, (253 + 254) / 2 cut.
  EXPECT_EQ(dst->Row32(0)[5], BGRA(16, 0, 253));
}

TEST(Affine, ShiftWrapsColumnsAndRefusesPreview) {
  TAffinePack p;
  p.ExecMove = true;
  p.MoveX = 10;
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  EXPECT_FALSE(f->CanPreview());
  bool checked = false;
  f->MoveChecked = [&] { return checked; };
  EXPECT_TRUE(f->CanPreview());  // the panel's box decides when there is one
  auto src = RandomBmp(23, 6, 5);
  auto dst = Apply(*f, *src);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 23; ++x)
      ASSERT_EQ(dst->Row32(y)[x], src->Row32(y)[((x - 10) % 23 + 23) % 23] & 0xFFFFFFu);
}

TEST(Affine, SingularMatrixReportsAndCopies) {
  std::vector<std::string> shown;
  auto old = SetMessageHandler([&](TMsgKind, const std::string&, const std::string& text, bool) {
    shown.push_back(text);
    return TMsgResult::Ok;
  });
  TAffinePack p;
  p.ZoomRate = 0;
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  auto src = RandomBmp(9, 7, 6);
  auto dst = Apply(*f, *src, 0x11111111u);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(dst->Row32(y)[x], src->Row32(y)[x]);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "アフィン変換:パラメータの組み合わせが不正です。\r\n逆行列を計算できません。");
  // Shear that flattens the matrix, and infinite factors, are refused too.
  TAffinePack q = Plain();
  q.ExecSlash = true;
  q.SlashX = 1;
  q.SlashY = -1;  // det = 1 - (-1)(-1) = 0
  EXPECT_TRUE(AffineMap(q, 9, 7).Singular);
  q.SlashX = INFINITY;
  EXPECT_TRUE(AffineMap(q, 9, 7).Singular);
  SetMessageHandler(old);
}

TEST(Affine, MatchesStepByStepComputation) {
  TAffinePack p;
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> d(-1, 1);
  const int sizes[][2] = {{1, 1}, {2, 3}, {5, 1}, {37, 29}, {64, 48}};
  for (auto& s : sizes)
    for (int t = 0; t < 12; ++t) {
      p.ExecZoom = t % 3 != 0;
      p.ZoomRate = 0.3f + 2 * std::fabs(d(rng));
      p.ExecRotate = t % 2 == 0;
      p.RotateAngle = 360 * d(rng);
      p.ExecSlash = t % 4 == 1;
      p.SlashX = d(rng) / 2;
      p.SlashY = d(rng) / 2;
      p.ExecMove = t % 5 < 2;
      p.MoveX = int(rng() % 200) - 100;
      p.MoveY = int(rng() % 200) - 100;
      p.OriginX = std::fabs(d(rng));
      p.OriginY = std::fabs(d(rng));
      auto src = RandomBmp(s[0], s[1], rng());
      if (AffineMap(p, s[0], s[1]).Singular) continue;
      auto dst = Apply(*f, *src);
      int64_t bad = 0;
      for (int y = 0; y < s[1]; ++y)
        for (int x = 0; x < s[0]; ++x) bad += dst->Row32(y)[x] != StepByStep(p, *src, x, y);
      EXPECT_EQ(bad, 0) << s[0] << "x" << s[1] << " case " << t;
    }
}

TEST(Affine, ParametersInRegistrationOrder) {
  TAffinePack p;
  auto f = TKWProcessor::Create<TKWAffine>(&p);
  const char* names[12] = {"ZoomRate", "RotateAngle", "SlashX",   "SlashY",     "MoveX",     "MoveY",
                           "OriginX",  "OriginY",     "ExecZoom", "ExecRotate", "ExecSlash", "ExecMove"};
  ASSERT_EQ(f->Params.Count(), 12);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(f->Params.Strings(i), names[i]);
  EXPECT_EQ(f->Param(4)->ParamType, TKWParamType::ptInteger);
  EXPECT_EQ(f->Param(11)->ParamType, TKWParamType::ptBoolean);
  EXPECT_TRUE(p.ExecZoom && p.ExecRotate && !p.ExecSlash && !p.ExecMove);
  EXPECT_EQ(p.ZoomRate, 1.0f);
  auto img = RandomBmp(40, 30, 1);
  f->OnImageChange(img.get());
  EXPECT_TRUE(f->ImageKnown());
  EXPECT_EQ(f->ImageWidth(), 40);
  f->OnImageChange(nullptr);
  EXPECT_FALSE(f->ImageKnown());
}
