// Mixing geometry and the mixer step.
#include <algorithm>

#include "image_test_util.h"

using namespace imgtest;

namespace {

class MixTest : public ImageTest {};

TEST_F(MixTest, OverlapEqualsRectangleIntersection) {
  // Against the plain intersection of the two placed rectangles, over many
  // sizes and offsets around every boundary.
  for (int B : {1, 7, 20})
    for (int F : {1, 5, 20, 31})
      for (int X = -40; X <= 40; ++X) {
        TBitmap bg, fg;
        FillRandom(bg, B, 3, 1);
        FillRandom(fg, F, 3, 2);
        TMixOrigin o;
        o.X = X;
        TRect fore, back;
        const bool ok = TKWBitmap::GetMixArea(bg, fg, o, fore, back);
        const int left = std::max(0, X), right = std::min(B, X + F);
        ASSERT_EQ(ok, right >= left) << B << " " << F << " " << X;
        if (!ok) continue;
        EXPECT_EQ(back.Left, left);
        EXPECT_EQ(back.Right, right);
        EXPECT_EQ(fore.Left, left - X);
        EXPECT_EQ(fore.Right, right - X);
        EXPECT_EQ(back.Top, 0);
        EXPECT_EQ(back.Bottom, 3);
        EXPECT_EQ(fore.Top, 0);
        EXPECT_EQ(fore.Bottom, 3);
      }
}

TEST_F(MixTest, EdgesOfTheBackground) {
  TBitmap bg, fg;
        FillRandom(bg, 200, 200, 1);
        FillRandom(fg, 100, 50, 2);
  TRect fore, back;
  TMixOrigin o;
  o.X = 201;
  EXPECT_FALSE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
  o.X = 200;
  ASSERT_TRUE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
  EXPECT_EQ(back.Width(), 0);
  EXPECT_EQ(fore.Width(), 0);
  o.X = -100;  // F + X = 0
  ASSERT_TRUE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
  EXPECT_EQ(back.Width(), 0);
  o.X = -101;
  EXPECT_FALSE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
  o.X = 0;
  o.Y = -51;
  EXPECT_FALSE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
  // Offsets near the integer limits do not wrap around.
  o.Y = 0;
  o.X = INT32_MIN;
  EXPECT_FALSE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
  o.X = INT32_MAX;
  EXPECT_FALSE(TKWBitmap::GetMixArea(bg, fg, o, fore, back));
}

TEST_F(MixTest, ForegroundLeftOfTheBackgroundWithAndWithoutClipping) {
  auto mixer = TKWProcessor::Create<XorMixer>();
  mixer->Caption = "排他的論理和";
  TBitmap fg;
  FillRandom(fg, 100, 50, 3);
  TMixOrigin o;
  o.X = -30;
  o.Y = 10;

  TKWBitmap probe;
  FillRandom(probe, 200, 200, 4);
  TRect fore, back;
  ASSERT_TRUE(TKWBitmap::GetMixArea(probe, fg, o, fore, back));
  EXPECT_EQ(back, Rect(0, 10, 70, 60));
  EXPECT_EQ(fore, Rect(30, 0, 100, 50));

  for (bool clip : {false, true}) {
    SCOPED_TRACE(clip);
    o.Clipping = clip;
    auto* bg = new TKWBitmap;
    FillRandom(*bg, 200, 200, 4);
    auto* dest = new TKWBitmap;
    bg->ApplyMixer(dest, &fg, o, mixer.get());
    EXPECT_EQ(bg->Next, dest);
    EXPECT_EQ(dest->OperationName, "排他的論理和");
    EXPECT_EQ(mixer->partSize, (TSize{70, 50}));
    if (clip) {
      EXPECT_EQ(dest->Width(), 70);
      EXPECT_EQ(dest->Height(), 50);
      EXPECT_EQ(mixer->origin, (TPoint{0, 0}));
    } else {
      EXPECT_EQ(dest->Width(), 200);
      EXPECT_EQ(dest->Height(), 200);
      EXPECT_EQ(mixer->origin, (TPoint{0, 10}));
      // Outside the overlap the background shows.
      EXPECT_EQ(dest->PixelBGRA(150, 150), bg->PixelBGRA(150, 150));
      EXPECT_EQ(dest->PixelBGRA(5, 5), bg->PixelBGRA(5, 5));
    }
    const int ox = mixer->origin.X, oy = mixer->origin.Y;
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 70; ++x)
        ASSERT_EQ(dest->PixelBGRA(ox + x, oy + y), bg->PixelBGRA(x, 10 + y) ^ fg.PixelBGRA(30 + x, y));
    FreeChain(dest);
  }
}

TEST_F(MixTest, NoOverlapRaisesAndChangesNothing) {
  auto mixer = TKWProcessor::Create<XorMixer>();
  auto* bg = new TKWBitmap;
  FillRandom(*bg, 200, 200, 5);
  TBitmap fg;
  FillRandom(fg, 100, 50, 6);
  TMixOrigin o;
  o.X = 201;
  TKWBitmap dest;
  EXPECT_THROW(bg->ApplyMixer(&dest, &fg, o, mixer.get()), ENoMixArea);
  EXPECT_TRUE(dest.Empty());
  EXPECT_EQ(bg->Next, nullptr);
  EXPECT_EQ(dest.Prev, nullptr);
  EXPECT_EQ(mixer->origin, (TPoint{-1, -1}));  // never called

  // X = 200: an overlap of width 0 is still a step.
  o.X = 200;
  auto* d2 = new TKWBitmap;
  bg->ApplyMixer(d2, &fg, o, mixer.get());
  EXPECT_EQ(mixer->partSize, (TSize{0, 50}));
  EXPECT_EQ(d2->Width(), 200);
  FreeChain(d2);
}

}  // namespace
