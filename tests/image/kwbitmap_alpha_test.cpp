// Alpha-channel operations and the combination of a result with its
// predecessor, held against the plain formulas.
#include <cmath>

#include "image_test_util.h"
#include "platform/sysutils.h"

using namespace imgtest;

namespace {

// The combination of one channel as written down: a and b as 32-bit floats,
// the products and the sum in extended precision, nearest with halves to even.
uint8_t RefCombine(int pc, int rc, int alpha, bool normal) {
  const float a = float(alpha) / 255.0f;
  const float b = 1.0f - a;
  const long double v = normal ? (long double)pc * b + (long double)rc * a
                               : (long double)pc * a + (long double)rc * b;
  return uint8_t(Round(v));
}

uint8_t RefLuma(int B, int G, int R) {
  return uint8_t(Round(0.1140105L * B + 0.58701L * G + 0.2989875L * R));
}

class AlphaTest : public ImageTest {};

TEST_F(AlphaTest, CombineRowMatchesFormulaForEveryPixelPairAndAlpha) {
  for (bool normal : {true, false}) {
    SCOPED_TRACE(normal ? "normal" : "protecting");
    std::vector<uint32_t> pred(256), res(256);
    long mismatches = 0, halves = 0;
    for (int alpha = 0; alpha < 256; ++alpha) {
      for (int r = 0; r < 256; ++r) {
        // Pixel p of the row: predecessor channels p, 255 - p, p ^ 0x5A;
        // result channels r, r ^ 0xA5, 255 - r.  Every (p, r, alpha) of each
        // channel occurs once.
        const uint8_t rc[3] = {uint8_t(r), uint8_t(r ^ 0xA5), uint8_t(255 - r)};
        for (int p = 0; p < 256; ++p) {
          const uint8_t pa = normal ? uint8_t(p * 7) : uint8_t(alpha);
          const uint8_t ra = normal ? uint8_t(alpha) : uint8_t(p * 13);
          pred[p] = Px(uint8_t(p), uint8_t(255 - p), uint8_t(p ^ 0x5A), pa);
          res[p] = Px(rc[0], rc[1], rc[2], ra);
        }
        kwbitmap_detail::CombineRow(pred.data(), res.data(), 256, normal);
        for (int p = 0; p < 256; ++p) {
          const uint8_t pc[3] = {uint8_t(p), uint8_t(255 - p), uint8_t(p ^ 0x5A)};
          const uint32_t out = res[p];
          for (int c = 0; c < 3; ++c) {
            const uint8_t want = RefCombine(pc[c], rc[c], alpha, normal);
            if (uint8_t(out >> (8 * c)) != want && ++mismatches < 5)
              ADD_FAILURE() << "p " << int(pc[c]) << " r " << int(rc[c]) << " alpha " << alpha;
          }
          const uint32_t wantA = normal ? uint32_t(alpha) : uint32_t(uint8_t(alpha));
          if ((out >> 24) != wantA && ++mismatches < 5) ADD_FAILURE() << "A byte, alpha " << alpha;
          // Exact halves among the channel values (they must have gone to even).
          const float a = float(alpha) / 255.0f, b = 1.0f - a;
          const long double v = normal ? (long double)p * b + (long double)r * a
                                       : (long double)p * a + (long double)r * b;
          if (v - std::floor(v) == 0.5L) {
            ++halves;
            EXPECT_EQ(uint8_t(out) % 2, 0) << "half " << double(v);
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0);
    RecordProperty(normal ? "halves_normal" : "halves_protecting", int(halves));
  }
}

TEST_F(AlphaTest, FastRoundingSendsHalvesToEven) {
  for (int k = 0; k < 100000; ++k) {
    const double half = k + 0.5;
    ASSERT_EQ(kwbitmap_detail::RoundNonNegative(half), uint32_t(k % 2 == 0 ? k : k + 1)) << half;
    ASSERT_EQ(kwbitmap_detail::RoundNonNegative(half), uint32_t(Round(half)));
    // Just either side of the half.
    ASSERT_EQ(kwbitmap_detail::RoundNonNegative(std::nextafter(half, 0.0)), uint32_t(k));
    ASSERT_EQ(kwbitmap_detail::RoundNonNegative(std::nextafter(half, 1e9)), uint32_t(k + 1));
  }
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> dist(0.0, 300.0);
  for (int i = 0; i < 1000000; ++i) {
    const double v = dist(rng);
    ASSERT_EQ(kwbitmap_detail::RoundNonNegative(v), uint32_t(Round(v))) << v;
  }
}

TEST_F(AlphaTest, BlendFactorsAgreeWhetherFormedInFloatOrExtended) {
  // The kernel forms A / 255 in extended precision and rounds to float; the
  // reference divides in float.  Both must give the same factor.
  for (int i = 0; i < 256; ++i) {
    const float ext = float((long double)i / 255.0L);
    EXPECT_EQ(ext, float(i) / 255.0f) << i;
    EXPECT_EQ(float(1.0L - ext), 1.0f - ext) << i;
  }
}

TEST_F(AlphaTest, LumaAlphaMatchesExtendedFormulaForAllColours) {
  long mismatches = 0, nearHalves = 0;
  for (uint32_t c = 0; c < (1u << 24); ++c) {
    const int B = c & 0xFF, G = (c >> 8) & 0xFF, R = c >> 16;
    const uint8_t want = RefLuma(B, G, R);
    if (kwbitmap_detail::LumaAlpha(c) != want && ++mismatches < 5)
      ADD_FAILURE() << "colour " << std::hex << c;
    const long double v = 0.1140105L * B + 0.58701L * G + 0.2989875L * R;
    if (std::fabs(double(v - std::floor(v) - 0.5L)) < 1e-6) ++nearHalves;
  }
  EXPECT_EQ(mismatches, 0);
  // Values within a millionth of a half exist, so the careful path is used.
  EXPECT_GT(nearHalves, 0);
  RecordProperty("near_halves", int(nearHalves));
}

TEST_F(AlphaTest, AlphaFromImageWhiteBlackAndSelf) {
  TKWBitmap img;
  img.SetSize(4, 2);
  for (int x = 0; x < 4; ++x) {
    img.Row32(0)[x] = Px(255, 255, 255, 17);
    img.Row32(1)[x] = Px(0, 0, 0, 99);
  }
  img.AlphaFromImage(img);
  EXPECT_TRUE(img.HasAlpha);
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(img.PixelBGRA(x, 0), Px(255, 255, 255, 255));
    EXPECT_EQ(img.PixelBGRA(x, 1), Px(0, 0, 0, 0));
  }

  // Random pixels from another bitmap: colour kept, A from the source.
  TKWBitmap dst;
  FillRandom(dst, 37, 11, 5);
  TBitmap src;
  FillRandom(src, 37, 11, 6);
  const auto before = Pixels(dst);
  dst.AlphaFromImage(src);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37; ++x) {
      const uint32_t s = src.PixelBGRA(x, y), d = dst.PixelBGRA(x, y);
      ASSERT_EQ(d & 0xFFFFFF, before[size_t(y * 37 + x)] & 0xFFFFFF);
      ASSERT_EQ(d >> 24, RefLuma(s & 0xFF, (s >> 8) & 0xFF, (s >> 16) & 0xFF));
    }
}

TEST_F(AlphaTest, AlphaFromImageStretchesAnotherSize) {
  TBitmap src;  // 24-bit, 2 x 1: white, black
  src.SetPixelFormat(pf24bit);
  src.SetSize(2, 1);
  uint8_t* row = src.ScanLine(0);
  row[0] = row[1] = row[2] = 255;
  TKWBitmap img;
  FillRandom(img, 6, 3, 8, false);
  img.AlphaFromImage(src);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(img.PixelBGRA(x, y) >> 24, x < 3 ? 255u : 0u) << x;
}

TEST_F(AlphaTest, FillInvertAndGray) {
  TKWBitmap img;
  FillRandom(img, 5, 70, 9, false);
  const auto colours = Pixels(img);
  img.InvertAlpha();  // no alpha channel: nothing changes
  EXPECT_EQ(Pixels(img), colours);
  EXPECT_FALSE(img.HasAlpha);

  img.FillAlpha(200);
  EXPECT_TRUE(img.HasAlpha);
  for (size_t i = 0; i < colours.size(); ++i) EXPECT_EQ(Pixels(img)[i], colours[i] | 0xC8000000u);
  img.InvertAlpha();
  for (uint32_t p : Pixels(img)) EXPECT_EQ(p >> 24, 55u);

  // Gray picture: 8 bits, gray palette, indices = A bytes.
  FillRandom(img, 5, 70, 10, true);
  TBitmap gray;
  img.AlphaToGray(gray);
  EXPECT_EQ(gray.PixelFormat(), pf8bit);
  EXPECT_EQ(gray.Width(), 5);
  EXPECT_EQ(gray.Height(), 70);
  ASSERT_EQ(gray.Palette().size(), 256u);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(gray.Palette()[size_t(i)], (TPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0}));
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(gray.ScanLine(y)[x], img.PixelBGRA(x, y) >> 24);

  // Into a working bitmap: stays 32-bit, gray colours.
  TKWBitmap grayKW;
  img.AlphaToGray(grayKW);
  EXPECT_EQ(grayKW.PixelFormat(), pf32bit);
  const uint32_t a = img.PixelBGRA(3, 4) >> 24;
  EXPECT_EQ(grayKW.PixelBGRA(3, 4) & 0xFFFFFF, a | (a << 8) | (a << 16));

  // Without alpha channel: a plain copy.
  img.HasAlpha = false;
  TBitmap copy;
  img.AlphaToGray(copy);
  EXPECT_EQ(copy.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixels(copy), Pixels(img));
}

// ---- the combination inside processing steps ----

TEST_F(AlphaTest, ProtectingAlphaFullAndNone) {
  NormalAlphaBlending = false;
  auto f = TKWProcessor::Create<InvertFilter>();
  for (uint8_t alpha : {uint8_t(255), uint8_t(0)}) {
    SCOPED_TRACE(int(alpha));
    auto* cur = new TKWBitmap;
    FillRandom(*cur, 30, 20, 14, false);
    cur->FillAlpha(alpha);
    const auto before = Pixels(*cur);
    auto* next = new TKWBitmap;
    cur->ApplyFilter(next, f.get());
    EXPECT_TRUE(next->HasAlpha);
    const auto after = Pixels(*next);
    for (size_t i = 0; i < after.size(); ++i) {
      const uint32_t want = alpha == 255 ? before[i] : (before[i] ^ 0x00FFFFFFu);
      ASSERT_EQ(after[i], want) << i;
    }
    FreeChain(next);
  }
}

TEST_F(AlphaTest, ProtectingAlphaPartialMatchesFormula) {
  NormalAlphaBlending = false;
  auto f = TKWProcessor::Create<InvertFilter>();
  auto* cur = new TKWBitmap;
  FillRandom(*cur, 64, 64, 15, true);
  cur->HasAlpha = true;
  const auto before = Pixels(*cur);
  auto* next = new TKWBitmap;
  cur->ApplyFilter(next, f.get());
  const auto after = Pixels(*next);
  for (size_t i = 0; i < after.size(); ++i) {
    const uint32_t p = before[i], r = p ^ 0x00FFFFFFu;
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(uint8_t(after[i] >> (8 * c)),
                RefCombine((p >> (8 * c)) & 0xFF, (r >> (8 * c)) & 0xFF, p >> 24, false));
    ASSERT_EQ(after[i] >> 24, p >> 24);
  }
  FreeChain(next);
}

TEST_F(AlphaTest, ResizedResultIsCombinedWithStretchedPredecessor) {
  NormalAlphaBlending = false;
  ResizeMode = 1;
  auto f = TKWProcessor::Create<ResizeFilter>(8, 6);
  auto* cur = new TKWBitmap;  // 2 x 2, one alpha per quadrant
  cur->SetSize(2, 2);
  cur->Row32(0)[0] = Px(10, 20, 30, 255);
  cur->Row32(0)[1] = Px(40, 50, 60, 0);
  cur->Row32(1)[0] = Px(70, 80, 90, 128);
  cur->Row32(1)[1] = Px(1, 2, 3, 255);
  cur->HasAlpha = true;
  auto* next = new TKWBitmap;
  cur->ApplyFilter(next, f.get());
  ASSERT_EQ(next->Width(), 8);
  ASSERT_EQ(next->Height(), 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const uint32_t p = cur->PixelBGRA(x / 4, y / 3);
      const uint32_t r = p ^ 0x00FFFFFFu;  // what the filter made there
      const uint32_t got = next->PixelBGRA(x, y);
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(uint8_t(got >> (8 * c)),
                  RefCombine((p >> (8 * c)) & 0xFF, (r >> (8 * c)) & 0xFF, p >> 24, false));
      EXPECT_EQ(got >> 24, p >> 24);
    }
  FreeChain(next);
}

TEST_F(AlphaTest, NormalBlendingLeavesProcessingStepsAlone) {
  NormalAlphaBlending = true;
  auto f = TKWProcessor::Create<InvertFilter>();
  auto* cur = new TKWBitmap;
  FillRandom(*cur, 20, 20, 16, true);
  cur->HasAlpha = true;
  auto* next = new TKWBitmap;
  cur->ApplyFilter(next, f.get());
  auto before = Pixels(*cur);
  for (auto& p : before) p ^= 0x00FFFFFFu;
  EXPECT_EQ(Pixels(*next), before);
  EXPECT_TRUE(next->HasAlpha);  // taken over afterwards
  FreeChain(next);
}

TEST_F(AlphaTest, NormalBlendingUsesTheResultsOwnAlpha) {
  NormalAlphaBlending = true;
  TKWBitmap pred;
  FillRandom(pred, 33, 17, 17, true);
  pred.HasAlpha = false;
  TKWBitmap res;
  FillRandom(res, 33, 17, 18, true);
  res.HasAlpha = true;
  const auto r0 = Pixels(res);
  pred.CombineAlpha(res);
  const auto out = Pixels(res);
  const auto p0 = Pixels(pred);
  for (size_t i = 0; i < out.size(); ++i) {
    for (int c = 0; c < 3; ++c)
      ASSERT_EQ(uint8_t(out[i] >> (8 * c)),
                RefCombine((p0[i] >> (8 * c)) & 0xFF, (r0[i] >> (8 * c)) & 0xFF, r0[i] >> 24, true));
    ASSERT_EQ(out[i] >> 24, r0[i] >> 24);
  }
  // A result without alpha channel is left as it is.
  TKWBitmap plain;
  FillRandom(plain, 33, 17, 19, true);
  const auto q = Pixels(plain);
  pred.CombineAlpha(plain);
  EXPECT_EQ(Pixels(plain), q);
}

TEST_F(AlphaTest, DrawFittedTilesOrStretches) {
  TBitmap src;
  src.SetPixelFormat(pf32bit);
  src.SetSize(2, 2);
  src.Row32(0)[0] = 1;
  src.Row32(0)[1] = 2;
  src.Row32(1)[0] = 3;
  src.Row32(1)[1] = 4;
  TBitmap dst;
  dst.SetPixelFormat(pf32bit);
  dst.SetSize(5, 3);
  ResizeMode = 0;
  TKWBitmap::DrawFitted(src, dst);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(dst.PixelBGRA(x, y), src.PixelBGRA(x % 2, y % 2));
  // A source at least as big is drawn once at the origin.
  TBitmap small;
  small.SetPixelFormat(pf32bit);
  small.SetSize(1, 1);
  TKWBitmap::DrawFitted(src, small);
  EXPECT_EQ(small.PixelBGRA(0, 0), 1u);
  // An empty source leaves the destination as it was.
  TBitmap empty;
  empty.SetPixelFormat(pf32bit);
  TKWBitmap::DrawFitted(empty, dst);
  EXPECT_EQ(dst.PixelBGRA(4, 2), src.PixelBGRA(0, 0));

  ResizeMode = 1;
  TBitmap big;
  big.SetPixelFormat(pf32bit);
  big.SetSize(4, 4);
  TKWBitmap::DrawFitted(src, big);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(big.PixelBGRA(x, y), src.PixelBGRA(x / 2, y / 2));
}

TEST_F(AlphaTest, ProgressEvery64thRowThenZero) {
  std::vector<int> seen;
  SetProgressSink([&](int v) { seen.push_back(v); });
  TKWBitmap img;
  img.SetSize(3, 200);
  img.FillAlpha(1);
  EXPECT_EQ(seen, (std::vector<int>{63 * 10000 / 200, 127 * 10000 / 200, 191 * 10000 / 200, 0}));
  seen.clear();
  img.ReportProgress(150);
  EXPECT_EQ(seen, std::vector<int>{7500});
  // A loop over a taller result reports against this image's height, held at 10000.
  img.ReportProgress(1000);
  EXPECT_EQ(seen.back(), 10000);
  SetProgressSink(nullptr);
  img.FillAlpha(2);  // no sink: nothing happens
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(AlphaTest, HasAnyAlpha) {
  TBitmap b;
  FillRandom(b, 4, 4, 1, false);
  EXPECT_FALSE(HasAnyAlpha(b));
  b.Row32(3)[3] |= 0x01000000u;
  EXPECT_TRUE(HasAnyAlpha(b));
  b.SetPixelFormat(pf24bit);
  EXPECT_FALSE(HasAnyAlpha(b));
}

}  // namespace
