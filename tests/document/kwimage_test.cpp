#include <QImage>

#include <random>

#include "doc_test_support.h"
#include "image/kwimage.h"

static ::testing::Environment* const kQtEnv =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

namespace {

// Plain reference of the nearest-pixel display: one lookup per pixel.
uint32_t ReferencePixel(const TBitmap& src, int dispW, int dispH, int dx, int dy) {
  int sx = int(int64_t(dx) * src.Width() / dispW);
  int sy = int(int64_t(dy) * src.Height() / dispH);
  return src.PixelBGRA(sx, sy) | 0xFF000000u;
}

}  // namespace

TEST(KWImageZoom, SizesRoundHalfToEvenAndZoomStepsDouble) {
  TKWImage v;
  TBitmap b;
  FillPattern(b, 101, 51, 1);
  v.CopyImage(b);
  v.SetZoomRate(0.5f);
  EXPECT_EQ(v.width(), 50);   // 50.5 -> 50
  EXPECT_EQ(v.height(), 26);  // 25.5 -> 26
  v.SetZoomRate(1.0f);
  v.ZoomIn();
  v.ZoomIn();
  EXPECT_NEAR(v.ZoomRate(), 2.0f, 1e-6);
  EXPECT_EQ(v.width(), 202);
  EXPECT_EQ(v.height(), 102);
  v.ZoomOut();
  EXPECT_NEAR(v.ZoomRate(), 1.41421356f, 1e-6);
  // Zero or negative zoom is refused and changes nothing.
  v.SetZoomRate(0.0f);
  EXPECT_NEAR(v.ZoomRate(), 1.41421356f, 1e-6);
}

TEST(KWImageRender, NearestViewMatchesPlainReferenceOnManyInputs) {
  std::mt19937 rng(7);
  for (int round = 0; round < 60; ++round) {
    TBitmap src;
    const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 40);
    FillPattern(src, w, h, rng(), uint8_t(rng()));
    if (round % 3 == 1) src.SetPixelFormat(pf24bit);
    if (round % 3 == 2) {
      src.SetPixelFormat(pf8bit);
    }
    const int dispW = 1 + int(rng() % 200), dispH = 1 + int(rng() % 200);
    const int x0 = int(rng() % dispW), y0 = int(rng() % dispH);
    const int ow = 1 + int(rng() % (dispW - x0)), oh = 1 + int(rng() % (dispH - y0));
    QImage out(ow, oh, QImage::Format_RGB32);
    RenderNearest(src, dispW, dispH, x0, y0, out);
    for (int y = 0; y < oh; ++y)
      for (int x = 0; x < ow; ++x)
        ASSERT_EQ(reinterpret_cast<const uint32_t*>(out.constScanLine(y))[x],
                  ReferencePixel(src, dispW, dispH, x0 + x, y0 + y))
            << "round " << round << " at " << x << "," << y;
  }
}

TEST(KWImageHistory, UndoRedoWalkTheChainAndFilterErrorsKeepTheImage) {
  TempDataDir data;
  TKWImage v;
  TBitmap b;
  FillPattern(b, 8, 6, 3);
  v.CopyImage(b);
  v.Image()->FileName = "a.bmp";
  TInvertFilter f;
  f.Init();
  TKWBitmap* first = v.Image();
  v.ApplyFilter(&f, false);
  EXPECT_NE(v.Image(), first);
  EXPECT_EQ(v.Image()->FileName, "a.bmp");
  EXPECT_EQ(v.Image()->OperationName, "反転テスト");
  EXPECT_EQ(v.Image()->Row32(0)[0], b.Row32(0)[0] ^ 0x00FFFFFFu);
  EXPECT_EQ(v.Log().size(), 1u);
  EXPECT_TRUE(v.Undo());
  EXPECT_EQ(v.Image(), first);
  EXPECT_FALSE(v.Undo());
  EXPECT_TRUE(v.Redo());
  EXPECT_FALSE(v.Redo());

  TKWBitmap* cur = v.Image();
  f.Fail = true;
  EXPECT_THROW(v.ApplyFilter(&f, true), Exception);
  EXPECT_EQ(v.Image(), cur);  // unchanged
  EXPECT_EQ(v.Log().size(), 2u);  // the entry is logged before the run
  EXPECT_EQ(f.UpdateParamCalls, 1);
}

TEST(KWImageHistory, UndoOntoSwappedImageReadsItBack) {
  TempDataDir data;
  const int oldDisk = DiskUndo;
  DiskUndo = 1;
  {
    TKWImage v;
    TBitmap b;
    FillPattern(b, 16, 9, 5);
    v.CopyImage(b);
    TInvertFilter f;
    f.Init();
    v.ApplyFilter(&f, false);
    v.ApplyFilter(&f, false);
    TKWBitmap* older = v.Image()->Prev->Prev;
    ASSERT_TRUE(older->OnDisk);
    const std::string swap = older->TempFileName;
    EXPECT_TRUE(FileExists(swap));
    ASSERT_TRUE(v.Undo());
    ASSERT_TRUE(v.Undo());
    EXPECT_FALSE(v.Image()->OnDisk);
    EXPECT_FALSE(FileExists(swap));
    EXPECT_EQ(v.Image()->Width(), 16);
    EXPECT_EQ(v.Image()->Row32(8)[15], b.Row32(8)[15]);
  }
  DiskUndo = oldDisk;
}

TEST(KWImageAlpha, ToggleShowsGrayAlphaAndAnyRefreshShowsTheImage) {
  TKWImage v;
  TBitmap b;
  FillPattern(b, 4, 4, 9, 77);
  v.CopyImage(b);
  v.Image()->HasAlpha = true;
  v.ToggleAlpha();
  EXPECT_TRUE(v.ShowingAlpha());
  QImage shot(v.size(), QImage::Format_RGB32);
  v.render(&shot);
  EXPECT_EQ(shot.pixel(1, 1) & 0xFFFFFFu, 0x4D4D4Du);  // 77 as gray
  v.ToggleAlpha();
  EXPECT_FALSE(v.ShowingAlpha());
  v.render(&shot);
  EXPECT_EQ(shot.pixel(1, 1) & 0xFFFFFFu, b.Row32(1)[1] & 0xFFFFFFu);

  // Without an alpha channel the toggled display looks unchanged.
  v.Image()->HasAlpha = false;
  v.ToggleAlpha();
  EXPECT_TRUE(v.ShowingAlpha());
  v.render(&shot);
  EXPECT_EQ(shot.pixel(2, 3) & 0xFFFFFFu, b.Row32(3)[2] & 0xFFFFFFu);
  v.SetZoomRate(2.0f);
  EXPECT_FALSE(v.ShowingAlpha());
}

TEST(KWImageGenerator, FailingGeneratorKeepsImageAndLogsItsEntry) {
  struct TBadGen : TKWBasicGenerator {
    void Generator(TBitmap*) override { throw Exception("x"); }
  } g;
  g.Init();
  TKWImage v;
  TBitmap b;
  FillPattern(b, 3, 3, 1);
  v.CopyImage(b);
  TKWBitmap* cur = v.Image();
  // The failure reaches the caller (never taken for an empty picture).
  EXPECT_THROW(v.ApplyGenerator(&g, false, 5, 7), Exception);
  EXPECT_EQ(v.Image(), cur);
  ASSERT_EQ(v.Log().size(), 1u);
  auto* pack = dynamic_cast<TKWGeneratorPack*>(v.Log()[0].get());
  ASSERT_NE(pack, nullptr);
  EXPECT_EQ(pack->Width, 5);
  EXPECT_EQ(pack->Height, 7);
}

TEST(KWImageClipboard, OpaquePicturesComeInWithoutAlphaAndAlphaSurvivesTheRoundTrip) {
  TBitmap b;
  FillPattern(b, 7, 5, 3, 0);
  b.Row32(2)[3] |= 0x40000000u;
  QImage q = BitmapToQImage(b, true);
  TBitmap back;
  QImageToBitmap(q, back);
  EXPECT_EQ(back.PixelFormat(), pf32bit);
  EXPECT_EQ(back.Row32(2)[3], b.Row32(2)[3]);
  EXPECT_EQ(back.Row32(4)[6], b.Row32(4)[6]);

  QImage opaque(4, 4, QImage::Format_ARGB32);
  opaque.fill(QColor(10, 20, 30, 255));
  QImageToBitmap(opaque, back);
  EXPECT_EQ(back.PixelFormat(), pf24bit);
  EXPECT_EQ(back.PixelBGRA(1, 1), 0x000A141Eu);
}
