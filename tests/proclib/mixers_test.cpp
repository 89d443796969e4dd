// The four mixers' pixel work: values the behaviour pins down, the optimised
// rows against the plain formulas on many inputs, placement, the A byte,
// progress, and refused input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "platform/canvas.h"
#include "platform/sysutils.h"
#include "proclib/kwavrg.h"
#include "proclib/kwdiffer.h"
#include "proclib/kwlgcmix.h"
#include "proclib/kwovrlap.h"
#include "testutil.h"

using namespace kwlib;
using kwtest::BGRA;
using kwtest::Bmp;
using kwtest::RandomBmp;

namespace {

uint32_t Chan(uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; }

// The plain overlap formula, channel by channel.
uint32_t PlainOverlap(uint32_t b, uint32_t f, const TWeightTable& tb, const TWeightTable& tg,
                      const TWeightTable& tr) {
  uint32_t w = tb[Chan(f, 0)];
  if (tg[Chan(f, 1)] > w) w = tg[Chan(f, 1)];
  if (tr[Chan(f, 2)] > w) w = tr[Chan(f, 2)];
  uint32_t r = b & 0xFF000000u;
  for (int c = 0; c < 3; ++c) r |= ((Chan(b, c) * (65536 - w) + Chan(f, c) * w) >> 16) << (8 * c);
  return r;
}

// Runs a mixer on two 1 x 1 parts into a 1 x 1 destination.
template <class M>
uint32_t MixPixel(M& m, uint32_t b, uint32_t f) {
  auto bg = kwtest::OnePixel(b), fg = kwtest::OnePixel(f), dst = Bmp(1, 1);
  m.Mixer(bg.get(), fg.get(), dst.get(), TPoint{0, 0});
  return dst->Row32(0)[0];
}

struct Progress {
  std::vector<int> lefts;
  void attach(TKWProcessor& p) {
    p.SetProgress([this](TKWProcessor*, TProgressStage s, uint8_t, bool, TRect& r, const std::string&) {
      if (s == TProgressStage::psRunning) lefts.push_back(r.Left);
    });
  }
};

int Expected(int y, int h) { return int(Round((long double)float(double(y) / h) * 10000.0L)); }

}  // namespace

// ---- overlap ----

TEST(Overlap, WeightTablesHoldTheirEdgeValues) {
  // Smooth with Low = High = 100.
  TWeightTable t = MakeWeightTable(100, 100, false, true);
  EXPECT_EQ(t[100], 0u);
  EXPECT_EQ(t[99], 25786u);
  EXPECT_EQ(t[101], 25786u);
  EXPECT_EQ(t[98], 64335u);
  EXPECT_EQ(t[102], 64335u);
  EXPECT_EQ(t[103], 65535u);
  // Smooth over the default range.
  t = MakeWeightTable(0, 127, false, true);
  EXPECT_EQ(t[0], 25786u);
  EXPECT_EQ(t[127], 25786u);
  EXPECT_EQ(t[63], 0u);
  EXPECT_EQ(t[64], 0u);
  EXPECT_EQ(t[255], 65535u);
  // Inverted smooth: every entry the complement.
  TWeightTable inv = MakeWeightTable(0, 127, true, true);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(inv[v], 65535u - t[v]) << v;
  // Hard edges: opaque outside [Low, High], transparent inside; inverted the reverse.
  t = MakeWeightTable(10, 20, false, false);
  inv = MakeWeightTable(10, 20, true, false);
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(t[v], (v < 10 || v > 20) ? 65535u : 0u) << v;
    EXPECT_EQ(inv[v], 65535u - t[v]) << v;
  }
  // An empty range (Low above High) leaves nothing transparent.
  t = MakeWeightTable(200, 100, false, false);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(t[v], 65535u);
}

TEST(Overlap, DefaultsKeyColoursAndTheOpaqueLimit) {
  TKWOverlapPack pack;
  auto m = TKWProcessor::Create<TKWOverlap>(&pack);
  const uint32_t bg = BGRA(10, 20, 30, 77);
  // All three channels inside 0..127: transparent, the background stays exactly.
  EXPECT_EQ(MixPixel(*m, bg, BGRA(100, 100, 100, 5)), bg);
  // One channel outside: opaque.  Opaque 255 over 0 gives 254; equal values stay.
  EXPECT_EQ(MixPixel(*m, BGRA(0, 0, 0, 9), BGRA(100, 200, 100)), BGRA(99, 199, 99, 9));
  EXPECT_EQ(MixPixel(*m, BGRA(0, 0, 0), BGRA(255, 255, 255)), BGRA(254, 254, 254));
  EXPECT_EQ(MixPixel(*m, BGRA(200, 200, 200), BGRA(200, 200, 200)), BGRA(200, 200, 200));
  // Inverted without smoothing: only colours inside the ranges are drawn.
  pack.RInv = pack.GInv = pack.BInv = true;
  EXPECT_EQ(MixPixel(*m, BGRA(0, 0, 0), BGRA(100, 100, 100)), BGRA(99, 99, 99));
  EXPECT_EQ(MixPixel(*m, BGRA(1, 2, 3), BGRA(200, 200, 200)), BGRA(1, 2, 3));
  // One channel inside its range is enough to draw the pixel.
  EXPECT_EQ(MixPixel(*m, BGRA(0, 0, 0), BGRA(100, 200, 200)), BGRA(99, 199, 199));
}

TEST(Overlap, RowMatchesThePlainFormulaOnRandomTablesAndPixels) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    auto table = [&] {
      return MakeWeightTable(int(rng() % 300) - 20, int(rng() % 300) - 20, rng() & 1, rng() & 1);
    };
    const TWeightTable tb = table(), tg = table(), tr = table();
    const int n = 1 + int(rng() % 700);
    std::vector<uint32_t> b(n), f(n), d(n);
    for (int i = 0; i < n; ++i) b[i] = rng(), f[i] = rng();
    OverlapRow(b.data(), f.data(), d.data(), n, TOverlapTables(tb, tg, tr));
    for (int i = 0; i < n; ++i) ASSERT_EQ(d[i], PlainOverlap(b[i], f[i], tb, tg, tr)) << round << " " << i;
  }
  // Every pair of background and foreground channel values, in one row (so
  // through the four-pixel path), for hard, smooth and inverted tables.
  std::vector<uint32_t> b(65536), f(65536), d(65536);
  for (uint32_t bv = 0; bv < 256; ++bv)
    for (uint32_t fv = 0; fv < 256; ++fv) {
      b[bv * 256 + fv] = BGRA(bv, 255 - bv, bv ^ 0x5A, fv);
      f[bv * 256 + fv] = BGRA(fv, fv ^ 0xA5, 255 - fv, bv);
    }
  for (const TWeightTable& t : {MakeWeightTable(40, 90, false, true), MakeWeightTable(40, 90, true, false),
                                MakeWeightTable(0, 255, true, true)}) {
    const TWeightTable t2 = MakeWeightTable(100, 180, false, true);
    OverlapRow(b.data(), f.data(), d.data(), 65536, TOverlapTables(t, t2, t));
    for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(d[i], PlainOverlap(b[i], f[i], t, t2, t)) << i;
  }
}

// ---- logical ----

TEST(Logical, RasterOperationsOnWholePixels) {
  TLogicalMixerPack pack;
  auto m = TKWProcessor::Create<TKWLogicalMixer>(&pack);
  const uint32_t b = 0xA5C3F00Fu, f = 0x5AFF0FF0u;
  pack.Operation = 0;
  EXPECT_EQ(MixPixel(*m, b, f), b & f);
  pack.Operation = 1;
  EXPECT_EQ(MixPixel(*m, b, f), b | f);
  pack.Operation = 2;
  EXPECT_EQ(MixPixel(*m, b, f), b ^ f);
  // Any other operation: the foreground part simply replaces the background part.
  for (int32_t op : {3, -1, 100}) {
    pack.Operation = op;
    EXPECT_EQ(MixPixel(*m, b, f), f);
  }
}

TEST(Logical, DrawsAtTheOriginAndRestoresTheCopyMode) {
  TLogicalMixerPack pack;
  pack.Operation = 2;
  auto m = TKWProcessor::Create<TKWLogicalMixer>(&pack);
  auto bg = RandomBmp(5, 4, 1), fg = RandomBmp(5, 4, 2), dst = RandomBmp(9, 8, 3), before = RandomBmp(9, 8, 3);
  dst->Canvas().CopyMode = cmNotSrcCopy;
  m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{3, 2});
  EXPECT_EQ(dst->Canvas().CopyMode, cmNotSrcCopy);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 9; ++x) {
      const bool in = x >= 3 && x < 8 && y >= 2 && y < 6;
      const uint32_t want = in ? (bg->Row32(y - 2)[x - 3] ^ fg->Row32(y - 2)[x - 3]) : before->Row32(y)[x];
      ASSERT_EQ(dst->Row32(y)[x], want) << x << "," << y;
    }
}

// ---- average ----

TEST(Average, ModesGiveTheirDefiningValues) {
  TAveragePack pack;
  auto m = TKWProcessor::Create<TAverageMixer>(&pack);
  pack.Mode = 0;
  EXPECT_EQ(MixPixel(*m, BGRA(255, 0, 1, 42), BGRA(0, 255, 2, 9)), BGRA(127, 127, 1, 42));
  pack.Mode = 2;
  EXPECT_EQ(MixPixel(*m, BGRA(255, 0, 0), BGRA(255, 0, 255)), BGRA(254, 0, 254));
  pack.Mode = 1;
  pack.BGWait = 1;
  pack.FGWait = 3;
  EXPECT_EQ(MixPixel(*m, BGRA(100, 100, 100, 1), BGRA(200, 200, 200, 2)), BGRA(175, 175, 175, 1));
  // Mode 3 by its formula: (sqrt 100 + sqrt 100)^2 * 1.41421356 / 201 = 2.8143... -> 3.
  pack.Mode = 3;
  EXPECT_EQ(MixPixel(*m, BGRA(100, 0, 255), BGRA(100, 0, 0)), BGRA(3, 0, 1));
}

TEST(Average, WeightedModeEdgeArithmetic) {
  // Truncation toward zero with negative weights; low 8 bits stored.
  EXPECT_EQ(AverageWeighted(100, 0, -3, 1), uint8_t(uint32_t(-300 / -2)));
  EXPECT_EQ(AverageWeighted(255, 255, 100, -101), 255);  // -255 / -1
  EXPECT_EQ(AverageWeighted(255, 0, 2, -1), 510 & 0xFF);  // 510 / 1, low byte
  EXPECT_EQ(AverageWeighted(7, 0, 1, 1), 3);
  EXPECT_EQ(AverageWeighted(0, 7, -1, -1), 3);  // -7 / -2 = 3
  // The quotient that overflows (-2^31 / -1) does not trap.
  EXPECT_EQ(AverageWeighted(128, 0, int32_t(-16777216), 16777215), uint8_t(0));
  EXPECT_THROW(AverageWeighted(1, 1, 5, -5), EDivByZero);
  // Weights whose sum wraps to 0 in 32 bits divide by zero as well.
  EXPECT_THROW(AverageWeighted(1, 1, INT32_MIN, INT32_MIN), EDivByZero);
}

TEST(Average, TablesAndRowsMatchTheFormulas) {
  for (uint32_t b = 0; b < 256; ++b)
    for (uint32_t f = 0; f < 256; ++f) {
      ASSERT_EQ(SquaresTable().v[b][f], (b * b + f * f) / (b + f + 1));
      ASSERT_LE(SquaresTable().v[b][f], 254);
      const long double s = std::sqrt((long double)b) + std::sqrt((long double)f);
      ASSERT_EQ(RootsTable().v[b][f], uint8_t(Round(s * s * 1.41421356L / (b + f + 1))));
    }
  std::mt19937 rng(3);
  for (int round = 0; round < 30; ++round) {
    const int n = 1 + int(rng() % 100);  // odd lengths exercise the tail
    std::vector<uint32_t> b(n), f(n), d(n);
    for (int i = 0; i < n; ++i) b[i] = rng(), f[i] = rng();
    AverageRow(b.data(), f.data(), d.data(), n);
    for (int i = 0; i < n; ++i) {
      uint32_t want = b[i] & 0xFF000000u;
      for (int c = 0; c < 3; ++c) want |= ((Chan(b[i], c) + Chan(f[i], c)) >> 1) << (8 * c);
      ASSERT_EQ(d[i], want);
    }
    const int32_t bw = int32_t(rng() % 201) - 100, fw = int32_t(rng() % 201) - 100;
    if (bw + fw == 0) continue;
    TPairTable t;
    MakeWeightedTable(bw, fw, t);
    PairTableRow(b.data(), f.data(), d.data(), n, t);
    for (int i = 0; i < n; ++i) {
      uint32_t want = b[i] & 0xFF000000u;
      for (int c = 0; c < 3; ++c) {
        const int32_t q = (int32_t(Chan(b[i], c)) * bw + int32_t(Chan(f[i], c)) * fw) / (bw + fw);
        want |= (uint32_t(q) & 0xFF) << (8 * c);
      }
      ASSERT_EQ(d[i], want);
    }
  }
}

TEST(Average, ZeroWeightsRaiseAndWriteNothing) {
  TAveragePack pack;
  pack.Mode = 1;
  pack.BGWait = 0;
  pack.FGWait = 0;
  auto m = TKWProcessor::Create<TAverageMixer>(&pack);
  auto bg = RandomBmp(8, 8, 1), fg = RandomBmp(8, 8, 2), dst = RandomBmp(8, 8, 3);
  EXPECT_THROW(m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{0, 0}), EDivByZero);
  auto same = RandomBmp(8, 8, 3);
  EXPECT_EQ(0, std::memcmp(dst->Bits(), same->Bits(), dst->ByteSize()));
  // An unknown mode writes nothing either, without an error.
  pack.Mode = 4;
  m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{0, 0});
  EXPECT_EQ(0, std::memcmp(dst->Bits(), same->Bits(), dst->ByteSize()));
}

// ---- difference ----

TEST(Differ, IdenticalImagesAreBlackAndRowsMatchTheFormula) {
  TKWDifferPack pack;
  auto m = TKWProcessor::Create<TKWDiffer>(&pack);
  auto bg = RandomBmp(13, 5, 9), fg = RandomBmp(13, 5, 9), dst = Bmp(13, 5);
  m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{0, 0});
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 13; ++x) ASSERT_EQ(dst->Row32(y)[x], bg->Row32(y)[x] & 0xFF000000u);
  EXPECT_EQ(m->GetParams(nullptr)->Count(), 0);
  std::mt19937 rng(11);
  for (int round = 0; round < 30; ++round) {
    const int n = 1 + int(rng() % 100);
    std::vector<uint32_t> b(n), f(n), d(n);
    for (int i = 0; i < n; ++i) b[i] = rng(), f[i] = rng();
    DifferRow(b.data(), f.data(), d.data(), n);
    for (int i = 0; i < n; ++i) {
      uint32_t want = b[i] & 0xFF000000u;
      for (int c = 0; c < 3; ++c) want |= uint32_t(std::abs(int(Chan(b[i], c)) - int(Chan(f[i], c)))) << (8 * c);
      ASSERT_EQ(d[i], want);
    }
  }
}

// ---- all four: placement, the rest of the destination, progress, bad input ----

namespace {

struct AllMixers {
  TKWOverlapPack op;
  TLogicalMixerPack lp;
  TAveragePack ap;
  TKWDifferPack dp;
  std::vector<std::unique_ptr<TKWBasicMixer>> mixers;
  AllMixers() {
    op.RHigh = 60;  // some pixels transparent, some not
    lp.Operation = 1;
    ap.Mode = 2;
    mixers.push_back(TKWProcessor::Create<TKWOverlap>(&op));
    mixers.push_back(TKWProcessor::Create<TKWLogicalMixer>(&lp));
    mixers.push_back(TKWProcessor::Create<TAverageMixer>(&ap));
    mixers.push_back(TKWProcessor::Create<TKWDiffer>(&dp));
  }
};

}  // namespace

TEST(Mixers, WriteOnlyTheOverlapAtTheOriginAndLeaveTheRest) {
  AllMixers all;
  for (auto& m : all.mixers) {
    auto bg = RandomBmp(6, 7, 21), fg = RandomBmp(6, 7, 22);
    auto dst = RandomBmp(20, 15, 23), orig = RandomBmp(20, 15, 23);
    m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{11, 5});
    // The same parts mixed into a destination of their own size.
    auto alone = Bmp(6, 7);
    m->Mixer(bg.get(), fg.get(), alone.get(), TPoint{0, 0});
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < 20; ++x) {
        const bool in = x >= 11 && x < 17 && y >= 5 && y < 12;
        ASSERT_EQ(dst->Row32(y)[x], in ? alone->Row32(y - 5)[x - 11] : orig->Row32(y)[x])
            << m->Name << " " << x << "," << y;
      }
  }
}

TEST(Mixers, RefuseMismatchedPartsAndPlacementsOutsideTheDestination) {
  AllMixers all;
  for (auto& m : all.mixers) {
    auto bg = RandomBmp(6, 7, 1), fg = RandomBmp(6, 7, 2), small = RandomBmp(5, 7, 2);
    auto dst = RandomBmp(10, 10, 3), orig = RandomBmp(10, 10, 3);
    EXPECT_THROW(m->Mixer(bg.get(), small.get(), dst.get(), TPoint{0, 0}), Exception);
    EXPECT_THROW(m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{5, 0}), Exception);
    EXPECT_THROW(m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{0, 4}), Exception);
    EXPECT_THROW(m->Mixer(bg.get(), fg.get(), dst.get(), TPoint{-1, 0}), Exception);
    EXPECT_THROW(m->Mixer(bg.get(), fg.get(), nullptr, TPoint{0, 0}), Exception);
    auto f24 = RandomBmp(6, 7, 2);
    f24->SetPixelFormat(pf24bit);
    EXPECT_THROW(m->Mixer(bg.get(), f24.get(), dst.get(), TPoint{0, 0}), Exception);
    EXPECT_EQ(0, std::memcmp(dst->Bits(), orig->Bits(), dst->ByteSize()));
    // Parts of width 0 (a foreground touching the background's edge) are fine.
    auto e1 = Bmp(0, 7), e2 = Bmp(0, 7);
    EXPECT_NO_THROW(m->Mixer(e1.get(), e2.get(), dst.get(), TPoint{10, 0}));
    EXPECT_EQ(0, std::memcmp(dst->Bits(), orig->Bits(), dst->ByteSize()));
  }
}

TEST(Mixers, ProgressAfterTheirRows) {
  // Overlap: every 32nd row, rows of Dst; average: every 32nd, rows of BG;
  // difference: every 64th, rows of Dst; logical: none.
  AllMixers all;
  auto bg = RandomBmp(3, 130, 1), fg = RandomBmp(3, 130, 2), dst = Bmp(3, 200);
  std::vector<std::vector<int>> want(4);
  for (int y : {31, 63, 95, 127}) want[0].push_back(Expected(y, 200)), want[2].push_back(Expected(y, 130));
  for (int y : {63, 127}) want[3].push_back(Expected(y, 200));
  for (size_t i = 0; i < 4; ++i) {
    Progress p;
    p.attach(*all.mixers[i]);
    all.mixers[i]->ExecMixer(bg.get(), fg.get(), dst.get(), TPoint{0, 0});
    EXPECT_EQ(p.lefts, want[i]) << all.mixers[i]->Name;
  }
}

TEST(Mixers, PacksCarryTheirValuesAndRefuseOtherClasses) {
  AllMixers all;
  all.op.GLow = 9;
  all.op.BSmooth = true;
  std::unique_ptr<TKWParamPack> p(all.mixers[0]->CreateParamPack());
  auto* op = dynamic_cast<TKWOverlapPack*>(p.get());
  ASSERT_NE(op, nullptr);
  EXPECT_EQ(op->Processor, all.mixers[0].get());
  EXPECT_EQ(op->GLow, 9);
  EXPECT_TRUE(op->BSmooth);
  EXPECT_EQ(op->Flag, 0);
  all.op.GLow = 1;
  p->GetList();  // copies the pack back into the settings
  EXPECT_EQ(all.op.GLow, 9);
  TAveragePack other;
  EXPECT_THROW(all.mixers[0]->GetParams(&other), EInvalidCast);
  TKWMixerPack plain;
  EXPECT_THROW(all.mixers[3]->GetParams(&plain), EInvalidCast);
}
