// Geometric filters: axis operations against their coordinate formulas,
// resize by tiling and stretching, sizes and preview rules.
#include <gtest/gtest.h>

#include "proclib/kwaxis.h"
#include "proclib/kwresize.h"
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

}  // namespace

TEST(Axis, EveryOperateFollowsItsFormula) {
  TKWAxisPack pack;
  auto f = TKWProcessor::Create<TKWAxisOperate>(&pack);
  // 1031 x 1024 is large enough for a huge-page-aligned buffer, so the
  // quarter turns write whole destination lines past the caches.
  const int sizes[][2] = {{1, 1}, {3, 2}, {1, 6}, {7, 37}, {40, 33}, {64, 65}, {131, 70}, {203, 157}, {77, 100}, {40, 12}, {1031, 1024}};
  for (auto& s : sizes) {
    const int W = s[0], H = s[1];
    auto src = RandomBmp(W, H, uint32_t(W * 100 + H));
    for (int op = 0; op < 5; ++op) {
      pack.Operate = op;
      TSize size{W, H};
      f->InitSize(size);
      const bool turn = op == 2 || op == 3;
      EXPECT_EQ(size, (TSize{turn ? H : W, turn ? W : H}));
      EXPECT_EQ(f->CanPreview(), !turn);
      auto dst = Bmp(size.cx, size.cy);
      f->ExecFilter(src.get(), dst.get());
      for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) {
          int sx = 0, sy = 0;
          switch (op) {
            case 0: sx = W - 1 - x, sy = y; break;
            case 1: sx = x, sy = H - 1 - y; break;
            case 2: sx = y, sy = H - 1 - x; break;
            case 3: sx = W - 1 - y, sy = x; break;
            case 4: sx = W - 1 - x, sy = H - 1 - y; break;
          }
          ASSERT_EQ(dst->Row32(y)[x], src->Row32(sy)[sx]) << op << " " << x << "," << y;
        }
    }
  }
}

TEST(Axis, QuarterTurnCornerUnknownOperateAndBadSizes) {
  TKWAxisPack pack;
  pack.Operate = 2;
  auto f = TKWProcessor::Create<TKWAxisOperate>(&pack);
  auto src = RandomBmp(3, 2, 4);
  auto dst = Bmp(2, 3);
  f->ExecFilter(src.get(), dst.get());
  EXPECT_EQ(dst->Row32(0)[1], src->Row32(0)[0]);
  // A destination of the unturned size is refused before anything is written.
  auto wrong = Filled(3, 2, 5);
  EXPECT_THROW(f->Filter(src.get(), wrong.get()), Exception);
  EXPECT_EQ(wrong->Row32(1)[2], 5u);
  for (int op : {-1, 5}) {
    pack.Operate = op;
    EXPECT_FALSE(f->CanPreview());
    TSize size{3, 2};
    f->InitSize(size);
    EXPECT_EQ(size, (TSize{3, 2}));
    auto same = Filled(3, 2, 7);
    f->ExecFilter(src.get(), same.get());
    EXPECT_EQ(same->Row32(0)[0], 7u);
  }
  ASSERT_EQ(f->Params.Count(), 1);
  EXPECT_EQ(f->Params.Strings(0), "Operate");
}

TEST(Resize, TilesFromTheOffsetModuloTheSourceSize) {
  TResizePack pack;
  pack.Width = 250;
  pack.Height = 250;
  pack.OffsetX = 30;
  pack.Method = 0;
  auto f = TKWProcessor::Create<TKWResize>(&pack);
  EXPECT_FALSE(f->CanPreview());
  TSize size{100, 100};
  f->InitSize(size);
  EXPECT_EQ(size, (TSize{250, 250}));
  auto src = RandomBmp(100, 100, 8);
  auto check = [&](int ox, int oy) {
    pack.OffsetX = ox;
    pack.OffsetY = oy;
    auto dst = Bmp(250, 250);
    f->ExecFilter(src.get(), dst.get());
    int64_t bad = 0;
    for (int y = 0; y < 250; ++y)
      for (int x = 0; x < 250; ++x) {
        int sx = int(((int64_t(x) - ox) % 100 + 100) % 100);
        int sy = int(((int64_t(y) - oy) % 100 + 100) % 100);
        bad += dst->Row32(y)[x] != src->Row32(sy)[sx];
      }
    EXPECT_EQ(bad, 0) << ox << "," << oy;
    return dst;
  };
  auto dst = check(30, 0);
  EXPECT_EQ(dst->Row32(0)[0], src->Row32(0)[70]);
  EXPECT_EQ(dst->Row32(0)[30], src->Row32(0)[0]);
  check(0, 0);
  check(-130, 7);
  check(2000000000, -2000000000);  // far offsets cost no more than near ones
  check(100, 300);
}

TEST(Resize, StretchOtherMethodsAndEmptyImages) {
  TResizePack pack;
  pack.Width = 4;
  pack.Height = 4;
  pack.Method = 1;
  auto f = TKWProcessor::Create<TKWResize>(&pack);
  auto src = RandomBmp(2, 2, 9);
  auto dst = Bmp(4, 4);
  f->ExecFilter(src.get(), dst.get());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst->Row32(y)[x], src->Row32(y / 2)[x / 2]);
  pack.Method = 2;
  auto kept = Filled(4, 4, 3);
  f->ExecFilter(src.get(), kept.get());
  EXPECT_EQ(kept->Row32(3)[3], 3u);
  pack.Method = 0;
  auto empty = Bmp(0, 0);
  f->ExecFilter(empty.get(), kept.get());  // nothing to tile with
  EXPECT_EQ(kept->Row32(0)[0], 3u);
  pack.Width = -5;
  TSize size{1, 1};
  f->InitSize(size);
  EXPECT_EQ(size, (TSize{0, 4}));
  int shownW = 0, shownH = 0;
  f->OnShowSize = [&](int w, int h) { shownW = w, shownH = h; };
  f->OnImageChange(src.get());
  EXPECT_EQ(shownW, 2);
  EXPECT_EQ(shownH, 2);
  ASSERT_EQ(f->Params.Count(), 5);
  const char* names[5] = {"Width", "Height", "OffsetX", "OffsetY", "Method"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(f->Params.Strings(i), names[i]);
}
