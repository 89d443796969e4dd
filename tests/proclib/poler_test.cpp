// Polar transform: the worked examples, the filter against a plain
// per-pixel computation on random images and stage tables (failing
// formulas included) for one and several threads, the parameter list and
// the progress reports.
#include <gtest/gtest.h>

#include <random>

#include "geometry_reference.h"
#include "procdef/kwparallel.h"
#include "proclib/kwpoler.h"
#include "testutil.h"

using namespace kwlib;
using namespace kwtest;

namespace {

std::unique_ptr<TBitmap> Apply(TKWPoler& f, const TBitmap& src, uint32_t seed) {
  auto dst = RandomBmp(src.Width(), src.Height(), seed);
  f.ExecFilter(const_cast<TBitmap*>(&src), dst.get());
  return dst;
}

TKWPolerPack NoStages() {
  TKWPolerPack p;
  return p;
}

}  // namespace

TEST(Poler, WorkedExamples) {
  TKWPolerPack p = NoStages();
  auto f = TKWProcessor::Create<TKWPoler>(&p);
  auto src = RandomBmp(40, 30, 1);

  // Every method "none": the image itself, whatever the shift.
  p.MoveX = 7;
  p.MoveY = -3;
  auto same = Apply(*f, *src, 2);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(same->Row32(y)[x], src->Row32(y)[x]);

  // r' = -1 * (r + 0) + 0 added to r: every pixel takes the colour at the origin.
  p.MoveX = p.MoveY = 0;
  p.SetSlot(0, psR, TPolerSlot{0, 1, -1, 1, 0, 0});
  auto dst = Apply(*f, *src, 3);
  const uint32_t origin = src->Row32(15)[20] & 0xFFFFFFu;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(dst->Row32(y)[x] & 0xFFFFFFu, origin) << x << "," << y;

  // The formulas of the examples: the power of r with A 1, B 2, C 1 adds r²;
  // the logarithm of θ with B 1, C 0 gives 0 for θ <= 0.
  const TPolerFormula power = f->FormulaOf(TPolerSlot{0, 5, 1, 2, 1, 0});
  EXPECT_EQ(power(12, 0.3, 1, 2, 1, 0), 144.0);
  const TPolerFormula log = f->FormulaOf(TPolerSlot{1, 4, 1, 1, 0, 0});
  EXPECT_EQ(log(5, -0.5, 1, 1, 0, 0), 0.0);
  EXPECT_EQ(log(5, 0.0, 1, 1, 0, 0), 0.0);
  EXPECT_EQ(log(5, 1.0, 1, 1, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(log(5, M_E, 1, 1, 0, 0), 1.0);
  // Methods outside the table do nothing and make no stage active.
  EXPECT_EQ(f->FormulaOf(TPolerSlot{0, 7, 1, 1, 0, 0}), nullptr);
  EXPECT_EQ(f->FormulaOf(TPolerSlot{0, -1, 1, 1, 0, 0}), nullptr);

  // The twist of 0.01 radian per pixel of distance, and the others, agree
  // with the plain computation.
  const TPolerSlot examples[][2] = {
      {TPolerSlot{}, TPolerSlot{0, 1, 0.01f, 1, 0, 0}},  // twist
      {TPolerSlot{0, 5, 1, 2, 1, 0}, TPolerSlot{}},      // r + r²
      {TPolerSlot{}, TPolerSlot{1, 4, 1, 1, 0, 0}},      // log of θ
      {TPolerSlot{0, 6, 3, 0.5f, 0, 0}, TPolerSlot{}},   // ripple
  };
  for (auto& e : examples) {
    TKWPolerPack q = NoStages();
    q.SetSlot(2, psR, e[0]);
    q.SetSlot(2, psP, e[1]);
    p = q;
    auto got = Apply(*f, *src, 4);
    auto want = RandomBmp(40, 30, 4);
    kwref::Poler(q, *src, *want);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) ASSERT_EQ(got->Row32(y)[x], want->Row32(y)[x]) << x << "," << y;
  }
}

TEST(Poler, MatchesPlainComputationOnAnyThreadCount) {
  TKWPolerPack p;
  auto f = TKWProcessor::Create<TKWPoler>(&p);
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> d(-1, 1);
  const int sizes[][2] = {{1, 1}, {2, 3}, {7, 1}, {37, 29}, {64, 70}};
  int64_t rowsEnded = 0, cases = 0;
  for (auto& s : sizes)
    for (int t = 0; t < 24; ++t) {
      TKWPolerPack q;
      q.OriginX = 1.4f * d(rng) + 0.3f;
      q.OriginY = 1.4f * d(rng) + 0.3f;
      q.MoveX = t % 3 ? 0.0f : 40 * d(rng);
      q.MoveY = t % 4 ? 0.0f : 40 * d(rng);
      for (int n = 0; n < kPolerStages; ++n)
        for (int side = 0; side < 2; ++side) {
          if (rng() % 3 == 0) continue;
          TPolerSlot sl;
          sl.Method = int(rng() % 9) - 1;  // -1 and 7 are no formulas
          sl.Variable = int(rng() % 2);
          sl.A = 2 * d(rng);
          sl.B = rng() % 5 == 0 ? 30 * d(rng) : 3 * d(rng);  // large: exp overflows
          sl.C = rng() % 4 == 0 ? 0.0f : 2 * d(rng);
          sl.D = d(rng);
          if (sl.Method == 1 || sl.Method == 2) sl.A /= 20;
          q.SetSlot(n, side, sl);
        }
      auto src = RandomBmp(s[0], s[1], rng());
      const uint32_t fill = rng();
      auto want = RandomBmp(s[0], s[1], fill);
      kwref::Poler(q, *src, *want);
      for (int threads : {1, 3}) {
        KWSetThreadCount(threads);
        p = q;
        auto got = Apply(*f, *src, fill);
        int64_t bad = 0;
        for (int y = 0; y < s[1]; ++y)
          for (int x = 0; x < s[0]; ++x) bad += got->Row32(y)[x] != want->Row32(y)[x];
        EXPECT_EQ(bad, 0) << s[0] << "x" << s[1] << " case " << t << " threads " << threads;
      }
      // Rows that ended early keep the filled pixels at their end.
      auto probe = RandomBmp(s[0], s[1], fill);
      for (int y = 0; y < s[1]; ++y) rowsEnded += want->Row32(y)[s[0] - 1] == probe->Row32(y)[s[0] - 1];
      ++cases;
    }
  KWSetThreadCount(0);
  EXPECT_GT(rowsEnded, 10) << "the cases should include failing formulas";
  EXPECT_EQ(cases, 5 * 24);
}

TEST(Poler, ParametersInOrderAndProgressAsInOneThread) {
  TKWPolerPack p;
  auto f = TKWProcessor::Create<TKWPoler>(&p);
  ASSERT_EQ(f->Params.Count(), 64);
  EXPECT_EQ(f->Params.Strings(0), "OriginX");
  EXPECT_EQ(f->Params.Strings(3), "MoveY");
  const char* slot[6] = {"Variable", "Method", "A", "B", "C", "D"};
  for (int n = 0; n < 5; ++n)
    for (int side = 0; side < 2; ++side)
      for (int k = 0; k < 6; ++k) {
        const int i = 4 + (n * 2 + side) * 6 + k;
        EXPECT_EQ(f->Params.Strings(i), slot[k] + std::to_string(n + 1) + (side ? "P" : "R"));
        EXPECT_EQ(f->Param(i)->ParamType, k < 2 ? TKWParamType::ptInteger : TKWParamType::ptSingle);
      }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f->Param(i)->ParamType, TKWParamType::ptSingle);
  EXPECT_EQ(p.OriginX, 0.5f);
  EXPECT_EQ(p.A5P, 1.0f);
  EXPECT_EQ(p.C3R, 0.0f);
  // An entry writes into the slot it names.
  f->Param(4 + 7 * 6 + 1)->SetInteger(6);  // Method4P
  EXPECT_EQ(p.Slot(3, psP).Method, 6);

  std::vector<int> done;
  f->OnProgress = [&](TKWProcessor*, TProgressStage st, uint8_t, bool, TRect& r, const std::string&) {
    if (st == TProgressStage::psRunning) done.push_back(r.Left);
  };
  auto src = RandomBmp(9, 100, 5);
  std::vector<int> expected;
  for (int y = 31; y < 100; y += 32) expected.push_back(int(Round((long double)(float(y / 100.0)) * 10000)));
  for (int threads : {1, 2}) {
    KWSetThreadCount(threads);
    done.clear();
    Apply(*f, *src, 6);
    EXPECT_EQ(done, expected) << threads;
  }
  KWSetThreadCount(0);
}
