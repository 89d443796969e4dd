#include <gtest/gtest.h>

#include <random>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform_test_util.h"

namespace {

int Bpp(TPixelFormat pf) { return pf == pf32bit ? 4 : pf == pf24bit ? 3 : 1; }

TEST(BitmapLayout, RowsBottomUpContiguousAndPadded) {
  for (TPixelFormat pf : {pf8bit, pf24bit, pf32bit}) {
    for (int w = 1; w <= 9; ++w) {
      TBitmap b;
      b.SetPixelFormat(pf);
      b.SetSize(w, 5);
      const int stride = (w * Bpp(pf) + 3) / 4 * 4;
      EXPECT_EQ(b.BytesPerLine(), stride);
      EXPECT_EQ(TBitmap::BytesPerLineFor(w, pf), stride);
      EXPECT_EQ(b.ByteSize(), size_t(stride) * 5);
      EXPECT_EQ(b.ScanLine(4), b.Bits());
      for (int r = 0; r < 4; ++r) EXPECT_EQ(b.ScanLine(r) - b.ScanLine(r + 1), stride);
    }
  }
  TBitmap b;
  b.SetSize(3, 3);
  EXPECT_THROW(b.ScanLine(3), Exception);
  EXPECT_THROW(b.ScanLine(-1), Exception);
  EXPECT_THROW(b.PixelBGRA(3, 0), Exception);
}

TEST(BitmapLayout, ImageSizeLimits) {
  EXPECT_NO_THROW(CheckImageSize(0, 0));
  EXPECT_NO_THROW(CheckImageSize(kMaxImageSide, kMaxImagePixels / kMaxImageSide));
  EXPECT_THROW(CheckImageSize(kMaxImageSide + 1, 1), EInvalidGraphic);
  EXPECT_THROW(CheckImageSize(1, kMaxImageSide + 1), EInvalidGraphic);
  EXPECT_THROW(CheckImageSize(100000, 100000), EInvalidGraphic);
  EXPECT_THROW(CheckImageSize(16385, 16384), EInvalidGraphic);
  EXPECT_THROW(CheckImageSize(-1, 5), EInvalidGraphic);
  TBitmap b;
  b.SetPixelFormat(pf32bit);
  b.SetSize(4, 4);
  EXPECT_THROW(b.SetSize(100000, 100000), EInvalidGraphic);
  EXPECT_THROW(b.SetWidth(-3), EInvalidGraphic);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(b.Height(), 4);
}

TEST(BitmapResize, KeepsTheSharedAreaAndClearsTheRest) {
  std::mt19937 rng(11);
  for (TPixelFormat pf : {pf8bit, pf24bit, pf32bit}) {
    for (int t = 0; t < 40; ++t) {
      TBitmap b;
      const int w0 = 1 + int(rng() % 13), h0 = 1 + int(rng() % 13);
      pt::MakeRandom(b, pf, w0, h0, rng);
      const auto before = pt::PixelBytes(b);
      const int w1 = int(rng() % 15), h1 = int(rng() % 15);
      if (t % 3 == 0)
        b.SetWidth(w1);
      else if (t % 3 == 1)
        b.SetHeight(h1);
      else
        b.SetSize(w1, h1);
      const int nw = b.Width(), nh = b.Height();
      ASSERT_EQ(b.PixelFormat(), pf);
      for (int y = 0; y < nh; ++y) {
        const uint8_t* row = b.ScanLine(y);
        for (int x = 0; x < nw * Bpp(pf); ++x) {
          const uint8_t expect =
              (y < h0 && x < w0 * Bpp(pf)) ? before[size_t(y) * w0 * Bpp(pf) + x] : 0;
          ASSERT_EQ(row[x], expect) << int(pf) << " " << w0 << "x" << h0 << " -> " << nw << "x" << nh;
        }
      }
    }
  }
}

TEST(BitmapResize, ShrinkThenGrowClearsTheRegainedColumns) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(4, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) b.ScanLine(y)[x] = 9;
  b.SetWidth(2);
  b.SetWidth(4);
  EXPECT_EQ(b.ScanLine(0)[1], 9);
  EXPECT_EQ(b.ScanLine(0)[2], 0);
  EXPECT_EQ(b.ScanLine(1)[3], 0);
}

// Nearest palette entry by squared distance, first on ties.
int NearestRef(const std::vector<TPaletteEntry>& pal, uint8_t r, uint8_t g, uint8_t b) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    const long d = long(r - pal[i].peRed) * (r - pal[i].peRed) +
                   long(g - pal[i].peGreen) * (g - pal[i].peGreen) +
                   long(b - pal[i].peBlue) * (b - pal[i].peBlue);
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = int(i);
    }
  }
  return best;
}

TEST(BitmapFormat, ConversionsAgreeWithPlainLoops) {
  std::mt19937 rng(5);
  for (int t = 0; t < 30; ++t) {
    const int w = 1 + int(rng() % 17), h = 1 + int(rng() % 9);
    const TPixelFormat formats[] = {pf8bit, pf24bit, pf32bit};
    const TPixelFormat from = formats[rng() % 3], to = formats[rng() % 3];
    TBitmap b;
    pt::MakeRandom(b, from, w, h, rng);
    const bool customPalette = rng() % 2;
    std::vector<TPaletteEntry> pal = pt::RandomPalette(rng, 1 + int(rng() % 40));
    if (from != pf8bit && customPalette) b.SetPalette(pal);
    TBitmap src;
    src.Assign(b);
    b.SetPixelFormat(to);
    ASSERT_EQ(b.PixelFormat(), to);
    ASSERT_EQ(b.Width(), w);
    const auto& usedPal = (from != pf8bit && customPalette) ? pal : TBitmap::GrayPalette();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint32_t s = src.PixelBGRA(x, y);
        uint32_t expect;
        if (from == to) {
          expect = s;
        } else if (to == pf8bit) {
          const int idx = NearestRef(usedPal, uint8_t(s >> 16), uint8_t(s >> 8), uint8_t(s));
          ASSERT_EQ(b.ScanLine(y)[x], idx);
          expect = uint32_t(usedPal[idx].peBlue) | (uint32_t(usedPal[idx].peGreen) << 8) |
                   (uint32_t(usedPal[idx].peRed) << 16);
        } else if (to == pf24bit) {
          expect = s & 0xFFFFFF;
        } else {
          expect = s;  // 8/24 -> 32: A is 0 already in PixelBGRA
        }
        ASSERT_EQ(b.PixelBGRA(x, y), expect) << int(from) << "->" << int(to) << " at " << x << "," << y;
      }
    }
  }
}

TEST(BitmapFormat, PixelReadThroughPalette) {
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(3, 1);
  b.SetPalette({{10, 20, 30, 0}, {1, 2, 3, 0}});
  b.ScanLine(0)[0] = 1;
  b.ScanLine(0)[1] = 0;
  b.ScanLine(0)[2] = 200;  // past the palette
  EXPECT_EQ(b.PixelBGRA(0, 0), 0x00010203u);
  EXPECT_EQ(b.PixelBGRA(1, 0), 0x000A141Eu);
  EXPECT_EQ(b.PixelBGRA(2, 0), 0u);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), RGBColor(1, 2, 3));
  EXPECT_THROW(b.SetPixelFormat(TPixelFormat::pf16bit), EInvalidGraphic);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  std::vector<TPaletteEntry> big(300);
  b.SetPalette(big);
  EXPECT_EQ(b.Palette().size(), 256u);
}

TEST(BitmapFormat, ThirtyTwoToTwentyFourAndBackDropsAlpha) {
  TBitmap b;
  b.SetPixelFormat(pf32bit);
  b.SetSize(2, 1);
  b.Row32(0)[0] = 0xAA112233;
  b.Row32(0)[1] = 0x01FFFFFF;
  b.SetPixelFormat(pf24bit);
  b.SetPixelFormat(pf32bit);
  EXPECT_EQ(b.Row32(0)[0], 0x00112233u);
  EXPECT_EQ(b.Row32(0)[1], 0x00FFFFFFu);
}

TEST(BitmapAssign, CopiesEverythingIntoItsOwnBuffer) {
  std::mt19937 rng(9);
  TBitmap a, b;
  pt::MakeRandom(a, pf8bit, 7, 3, rng);
  b.Assign(a);
  EXPECT_TRUE(pt::Snapshot(a) == pt::Snapshot(b));
  EXPECT_NE(a.Bits(), b.Bits());
  b.ScanLine(0)[0] ^= 0xFF;
  EXPECT_FALSE(pt::Snapshot(a) == pt::Snapshot(b));
  b.Assign(b);
  EXPECT_EQ(b.Width(), 7);
  TBitmap empty;
  b.Assign(empty);
  EXPECT_TRUE(b.Empty());
}

}  // namespace
