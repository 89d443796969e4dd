#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform_test_util.h"

namespace {

// Plain reference of a copy: every destination pixel of the rectangle
// takes the source pixel under its centre, when both lie inside their
// bitmaps, combined bitwise on the whole 32-bit pixel.
uint32_t RefRop(uint32_t mode, uint32_t s, uint32_t d) {
  switch (mode) {
    case cmSrcCopy: return s;
    case cmNotSrcCopy: return ~s;
    case cmSrcAnd: return s & d;
    case cmSrcPaint: return s | d;
    case cmSrcInvert: return s ^ d;
  }
  ADD_FAILURE() << "unexpected mode";
  return 0;
}

// Destination bitmap as words (A = 0 for 24-bit).
void WritePixel(TBitmap& b, int x, int y, uint32_t p) {
  uint8_t* row = b.ScanLine(y);
  if (b.PixelFormat() == pf32bit) {
    reinterpret_cast<uint32_t*>(row)[x] = p;
  } else {
    row[3 * x] = uint8_t(p);
    row[3 * x + 1] = uint8_t(p >> 8);
    row[3 * x + 2] = uint8_t(p >> 16);
  }
}

void RefCopy(TBitmap& dst, TRect dr, const TBitmap& src, TRect sr, uint32_t mode) {
  const int dw = dr.Right - dr.Left, dh = dr.Bottom - dr.Top;
  const int sw = sr.Right - sr.Left, sh = sr.Bottom - sr.Top;
  if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
  TBitmap from;
  from.Assign(src);  // the source as it was before the copy
  const int adw = std::abs(dw), adh = std::abs(dh), asw = std::abs(sw), ash = std::abs(sh);
  const bool mx = (dw < 0) != (sw < 0), my = (dh < 0) != (sh < 0);
  const int dx0 = std::min(dr.Left, dr.Right), dy0 = std::min(dr.Top, dr.Bottom);
  const int sx0 = std::min(sr.Left, sr.Right), sy0 = std::min(sr.Top, sr.Bottom);
  for (int j = 0; j < adh; ++j) {
    const int y = dy0 + j;
    int sj = int(std::floor((j + 0.5) * ash / adh));
    if (my) sj = ash - 1 - sj;
    const int sy = sy0 + sj;
    if (y < 0 || y >= dst.Height() || sy < 0 || sy >= from.Height()) continue;
    for (int i = 0; i < adw; ++i) {
      const int x = dx0 + i;
      int si = int(std::floor((i + 0.5) * asw / adw));
      if (mx) si = asw - 1 - si;
      const int sx = sx0 + si;
      if (x < 0 || x >= dst.Width() || sx < 0 || sx >= from.Width()) continue;
      WritePixel(dst, x, y, RefRop(mode, from.PixelBGRA(sx, sy), dst.PixelBGRA(x, y)));
    }
  }
}

const uint32_t kModes[] = {cmSrcCopy, cmNotSrcCopy, cmSrcAnd, cmSrcPaint, cmSrcInvert};

TEST(CanvasCopy, DrawMatchesReferenceForAllModesAndFormats) {
  std::mt19937 rng(1);
  const TPixelFormat srcFormats[] = {pf8bit, pf24bit, pf32bit};
  const TPixelFormat dstFormats[] = {pf24bit, pf32bit};
  for (int t = 0; t < 400; ++t) {
    TBitmap src, dst, ref;
    pt::MakeRandom(src, srcFormats[t % 3], 1 + int(rng() % 40), 1 + int(rng() % 30), rng);
    pt::MakeRandom(dst, dstFormats[(t / 3) % 2], 1 + int(rng() % 40), 1 + int(rng() % 30), rng);
    ref.Assign(dst);
    const uint32_t mode = kModes[rng() % 5];
    const int x = int(rng() % 70) - 35, y = int(rng() % 60) - 30;
    dst.Canvas().CopyMode = mode;
    dst.Canvas().Draw(x, y, src);
    RefCopy(ref, Rect(x, y, x + src.Width(), y + src.Height()), src,
            Rect(0, 0, src.Width(), src.Height()), mode);
    ASSERT_TRUE(pt::Snapshot(dst) == pt::Snapshot(ref))
        << "trial " << t << " mode " << std::hex << mode << std::dec << " at " << x << "," << y;
  }
}

TEST(CanvasCopy, StretchToHalfDoubleAndOddSizes) {
  std::mt19937 rng(2);
  for (int t = 0; t < 300; ++t) {
    TBitmap src, dst, ref;
    const int sw = 1 + int(rng() % 30), sh = 1 + int(rng() % 30);
    pt::MakeRandom(src, t % 4 == 0 ? pf24bit : pf32bit, sw, sh, rng);
    pt::MakeRandom(dst, pf32bit, 1 + int(rng() % 50), 1 + int(rng() % 50), rng);
    ref.Assign(dst);
    int w, h;
    switch (t % 3) {
      case 0: w = std::max(1, sw / 2), h = std::max(1, sh / 2); break;
      case 1: w = sw * 2, h = sh * 2; break;
      default: w = 1 + int(rng() % 60), h = 1 + int(rng() % 60); break;
    }
    const int x = int(rng() % 20) - 10, y = int(rng() % 20) - 10;
    const uint32_t mode = kModes[rng() % 5];
    dst.Canvas().CopyMode = mode;
    if (t % 2) {
      dst.Canvas().StretchDraw(Rect(x, y, x + w, y + h), src);
    } else {
      // In bands of rows, as the threads of a filter draw it.
      const int band = 1 + int(rng() % 7);
      for (int y0 = -3; y0 < dst.Height(); y0 += band)
        dst.Canvas().StretchDrawRows(Rect(x, y, x + w, y + h), src, y0, y0 + band);
    }
    RefCopy(ref, Rect(x, y, x + w, y + h), src, Rect(0, 0, sw, sh), mode);
    ASSERT_TRUE(pt::Snapshot(dst) == pt::Snapshot(ref)) << "trial " << t;
  }
}

TEST(CanvasCopy, StretchToExactHalfPicksEverySecondPixel) {
  TBitmap src, dst;
  src.SetPixelFormat(pf32bit);
  src.SetSize(4, 2);
  for (int x = 0; x < 4; ++x) src.Row32(0)[x] = src.Row32(1)[x] = uint32_t(x + 1);
  dst.SetPixelFormat(pf32bit);
  dst.SetSize(2, 1);
  dst.Canvas().StretchDraw(Rect(0, 0, 2, 1), src);
  EXPECT_EQ(dst.Row32(0)[0], 2u);
  EXPECT_EQ(dst.Row32(0)[1], 4u);
  dst.SetSize(8, 1);
  dst.Canvas().StretchDraw(Rect(0, 0, 8, 1), src);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dst.Row32(0)[x], uint32_t(x / 2 + 1));
}

TEST(CanvasCopy, CopyRectScaledMirroredAndOutsideTheSource) {
  std::mt19937 rng(3);
  for (int t = 0; t < 400; ++t) {
    TBitmap src, dst, ref;
    pt::MakeRandom(src, t % 5 == 0 ? pf8bit : pf32bit, 1 + int(rng() % 30), 1 + int(rng() % 30), rng);
    pt::MakeRandom(dst, t % 7 == 0 ? pf24bit : pf32bit, 1 + int(rng() % 30), 1 + int(rng() % 30), rng);
    ref.Assign(dst);
    auto coord = [&](int span) { return int(rng() % (2 * span + 1)) - span / 2; };
    const TRect sr = Rect(coord(30), coord(30), coord(30), coord(30));
    const TRect dr = Rect(coord(30), coord(30), coord(30), coord(30));
    const uint32_t mode = kModes[rng() % 5];
    dst.Canvas().CopyMode = mode;
    dst.Canvas().CopyRect(dr, src.Canvas(), sr);
    RefCopy(ref, dr, src, sr, mode);
    ASSERT_TRUE(pt::Snapshot(dst) == pt::Snapshot(ref)) << "trial " << t;
  }
}

TEST(CanvasCopy, HugeRectanglesMapWithoutOverflow) {
  TBitmap src, dst;
  src.SetPixelFormat(pf32bit);
  src.SetSize(4, 1);
  for (int x = 0; x < 4; ++x) src.Row32(0)[x] = uint32_t(x + 1);
  dst.SetPixelFormat(pf32bit);
  dst.SetSize(4, 1);
  // Destination x = 0 is index 2e9 of 4e9; the source spans 3e9 around 0:
  // index i takes source index floor((2i + 1) * 3e9 / 8e9).
  dst.Canvas().CopyRect(Rect(-2000000000, 0, 2000000000, 1), src.Canvas(),
                        Rect(-1500000000, 0, 1500000000, 1));
  EXPECT_EQ(dst.Row32(0)[0], 1u);
  EXPECT_EQ(dst.Row32(0)[1], 2u);
  EXPECT_EQ(dst.Row32(0)[2], 2u);
  EXPECT_EQ(dst.Row32(0)[3], 3u);
}

TEST(CanvasCopy, OverlappingCopyWithinOneBitmap) {
  std::mt19937 rng(4);
  for (int t = 0; t < 100; ++t) {
    TBitmap b, ref;
    pt::MakeRandom(b, pf32bit, 20, 20, rng);
    ref.Assign(b);
    const int dx = int(rng() % 9) - 4, dy = int(rng() % 9) - 4;
    const TRect sr = Rect(2, 2, 15, 15), dr = Rect(2 + dx, 2 + dy, 15 + dx, 15 + dy);
    b.Canvas().CopyRect(dr, b.Canvas(), sr);
    RefCopy(ref, dr, ref, sr, cmSrcCopy);
    ASSERT_TRUE(pt::Snapshot(b) == pt::Snapshot(ref)) << dx << "," << dy;
  }
}

TEST(CanvasCopy, ThirtyTwoBitCopyKeepsAlphaOthersGiveZero) {
  TBitmap s32, s24, d;
  s32.SetPixelFormat(pf32bit);
  s32.SetSize(1, 1);
  s32.Row32(0)[0] = 0x80112233;
  s24.SetSize(1, 1);
  s24.ScanLine(0)[0] = 0x33;
  s24.ScanLine(0)[1] = 0x22;
  s24.ScanLine(0)[2] = 0x11;
  d.SetPixelFormat(pf32bit);
  d.SetSize(1, 1);
  d.Canvas().Draw(0, 0, s32);
  EXPECT_EQ(d.Row32(0)[0], 0x80112233u);
  d.Canvas().Draw(0, 0, s24);
  EXPECT_EQ(d.Row32(0)[0], 0x00112233u);
  d.Canvas().CopyMode = cmNotSrcCopy;
  d.Canvas().Draw(0, 0, s24);
  EXPECT_EQ(d.Row32(0)[0], 0xFFEEDDCCu);
}

TEST(CanvasCopy, EightBitDestinationTakesNearestEntry) {
  TBitmap src, dst;
  src.SetPixelFormat(pf32bit);
  src.SetSize(2, 1);
  src.Row32(0)[0] = 0x00F0F0F0;
  src.Row32(0)[1] = 0x00101010;
  dst.SetPixelFormat(pf8bit);
  dst.SetSize(2, 1);
  dst.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
  dst.Canvas().Draw(0, 0, src);
  EXPECT_EQ(dst.ScanLine(0)[0], 1);
  EXPECT_EQ(dst.ScanLine(0)[1], 0);
}

TEST(CanvasFill, FillRectClipsAndUsesBrush) {
  std::mt19937 rng(6);
  for (int t = 0; t < 100; ++t) {
    TBitmap b, ref;
    pt::MakeRandom(b, t % 2 ? pf32bit : pf24bit, 1 + int(rng() % 20), 1 + int(rng() % 20), rng);
    ref.Assign(b);
    const TRect r = Rect(int(rng() % 40) - 10, int(rng() % 40) - 10, int(rng() % 40) - 10,
                         int(rng() % 40) - 10);
    const TColor c = rng() & 0xFFFFFF;
    b.Canvas().Brush.Color = c;
    b.Canvas().FillRect(r);
    const uint32_t px = uint32_t(GetBValue(c)) | (uint32_t(GetGValue(c)) << 8) | (uint32_t(GetRValue(c)) << 16);
    for (int y = std::max(0, r.Top); y < std::min(ref.Height(), r.Bottom); ++y)
      for (int x = std::max(0, r.Left); x < std::min(ref.Width(), r.Right); ++x) WritePixel(ref, x, y, px);
    ASSERT_TRUE(pt::Snapshot(b) == pt::Snapshot(ref));
  }
  TBitmap b;
  b.SetSize(3, 3);
  b.Canvas().Brush.Style = TBrushStyle::bsClear;
  b.Canvas().Brush.Color = clWhite;
  b.Canvas().FillRect(Rect(0, 0, 3, 3));
  EXPECT_EQ(b.Canvas().Pixel(1, 1), clBlack);
}

int CountColor(const TBitmap& b, TColor c) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += (b.PixelBGRA(x, y) & 0xFFFFFF) == (((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
  return n;
}

TBitmap* Blank(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  return &b;
}

TEST(CanvasLines, LineToExcludesTheEndPoint) {
  TBitmap b;
  TCanvas& c = Blank(b, 10, 10)->Canvas();
  c.Pen.Color = RGBColor(255, 0, 0);
  c.MoveTo(1, 1);
  c.LineTo(6, 1);
  EXPECT_EQ(CountColor(b, RGBColor(255, 0, 0)), 5);
  EXPECT_EQ(c.Pixel(1, 1), RGBColor(255, 0, 0));
  EXPECT_EQ(c.Pixel(5, 1), RGBColor(255, 0, 0));
  EXPECT_EQ(c.Pixel(6, 1), clBlack);
  EXPECT_EQ(c.PenPos, (TPoint{6, 1}));
  // Diagonal: one pixel per step along the major axis.
  c.MoveTo(0, 9);
  c.LineTo(9, 0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(c.Pixel(i, 9 - i), RGBColor(255, 0, 0)) << i;
  EXPECT_EQ(c.Pixel(9, 0), clBlack);
  // A pen of style psClear only moves.
  c.Pen.Style = TPenStyle::psClear;
  c.Pen.Color = clWhite;
  c.LineTo(0, 0);
  EXPECT_EQ(CountColor(b, clWhite), 0);
  EXPECT_EQ(c.PenPos, (TPoint{0, 0}));
}

TEST(CanvasLines, WidePenCoversItsWidth) {
  TBitmap b;
  TCanvas& c = Blank(b, 20, 20)->Canvas();
  c.Pen.Color = clWhite;
  c.Pen.Width = 3;
  c.MoveTo(5, 10);
  c.LineTo(15, 10);
  for (int x = 5; x <= 15; ++x)
    for (int y = 9; y <= 11; ++y) EXPECT_EQ(c.Pixel(x, y), clWhite) << x << "," << y;
  EXPECT_EQ(c.Pixel(10, 8), clBlack);
  EXPECT_EQ(c.Pixel(10, 12), clBlack);
}

TEST(CanvasLines, FarAwayCoordinatesAreClippedQuickly) {
  TBitmap b;
  TCanvas& c = Blank(b, 10, 10)->Canvas();
  c.Pen.Color = clWhite;
  c.Pen.Width = 5;
  c.MoveTo(-2000000000, 5);
  c.LineTo(2000000000, 5);
  c.Polyline({{-2000000000, -2000000000}, {2000000000, 2000000000}});
  EXPECT_EQ(c.Pixel(0, 5), clWhite);
  EXPECT_EQ(c.Pixel(9, 5), clWhite);
  EXPECT_EQ(c.Pixel(3, 3), clWhite);
}

TEST(CanvasLines, PolylineAndPolygon) {
  TBitmap b;
  TCanvas& c = Blank(b, 12, 12)->Canvas();
  c.Pen.Color = RGBColor(0, 255, 0);
  c.Brush.Color = RGBColor(0, 0, 255);
  c.Polygon({{2, 2}, {9, 2}, {9, 9}, {2, 9}});
  // Outline on the four sides, inside filled.
  for (int i = 2; i <= 9; ++i) {
    EXPECT_EQ(c.Pixel(i, 2), RGBColor(0, 255, 0));
    EXPECT_EQ(c.Pixel(2, i), RGBColor(0, 255, 0));
    EXPECT_EQ(c.Pixel(9, i), RGBColor(0, 255, 0));
    EXPECT_EQ(c.Pixel(i, 9), RGBColor(0, 255, 0));
  }
  EXPECT_EQ(CountColor(b, RGBColor(0, 0, 255)), 6 * 6);
  EXPECT_EQ(c.Pixel(1, 1), clBlack);
  EXPECT_EQ(c.Pixel(10, 10), clBlack);

  TBitmap p;
  TCanvas& pc = Blank(p, 12, 12)->Canvas();
  pc.Pen.Color = clWhite;
  pc.MoveTo(7, 7);
  pc.Polyline({{0, 0}, {5, 0}, {5, 4}});
  EXPECT_EQ(CountColor(p, clWhite), 9);
  EXPECT_EQ(pc.Pixel(5, 4), clBlack);  // the last point is excluded
  EXPECT_EQ(pc.PenPos, (TPoint{7, 7}));
}

TEST(CanvasPixels, ReadAndWriteWithRangeChecks) {
  TBitmap b;
  TCanvas& c = Blank(b, 3, 3)->Canvas();
  c.SetPixel(1, 2, RGBColor(10, 20, 30));
  EXPECT_EQ(b.Row32(2)[1], 0x000A141Eu);
  EXPECT_EQ(c.Pixel(1, 2), RGBColor(10, 20, 30));
  c.SetPixel(-1, 0, clWhite);
  c.SetPixel(3, 0, clWhite);
  EXPECT_EQ(CountColor(b, clWhite), 0);
  EXPECT_EQ(c.Pixel(3, 3), 0xFFFFFFFFu);
}

}  // namespace
