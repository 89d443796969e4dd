// Shared pieces of the image tests: a fixture with a private swap folder and
// the unit settings restored, small processors, and pixel helpers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "image/kwbitmap.h"
#include "platform/canvas.h"

namespace imgtest {

inline uint32_t Px(uint8_t b, uint8_t g, uint8_t r, uint8_t a = 0) {
  return uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16) | (uint32_t(a) << 24);
}

// Fills a 32-bit bitmap with pixels from a seeded generator.
inline void FillRandom(TBitmap& b, int w, int h, uint32_t seed, bool withAlpha = true) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint32_t* row = b.Row32(y);
    for (int x = 0; x < w; ++x) {
      uint32_t v = rng();
      row[x] = withAlpha ? v : (v & 0x00FFFFFFu);
    }
  }
}

inline std::vector<uint32_t> Pixels(const TBitmap& b) {
  std::vector<uint32_t> v;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) v.push_back(b.PixelBGRA(x, y));
  return v;
}

// Inverts B, G, R; keeps A.
class InvertFilter : public TKWBasicFilter {
 public:
  int runs = 0;
  void Filter(TBitmap* Src, TBitmap* Dst) override {
    ++runs;
    for (int y = 0; y < Dst->Height(); ++y)
      for (int x = 0; x < Dst->Width(); ++x)
        Dst->Row32(y)[x] = Src->Row32(y)[x] ^ 0x00FFFFFFu;
  }
};

// Makes an image of a fixed size, each pixel taken by nearest neighbour and
// then inverted (so the result differs from any stretched predecessor).
class ResizeFilter : public TKWBasicFilter {
 public:
  int w, h;
  ResizeFilter(int W, int H) : w(W), h(H) {}
  void InitSize(TSize& Size) override { Size = TSize{w, h}; }
  void Filter(TBitmap* Src, TBitmap* Dst) override {
    for (int y = 0; y < Dst->Height(); ++y)
      for (int x = 0; x < Dst->Width(); ++x)
        Dst->Row32(y)[x] = 0x00FFFFFFu ^ (Src->Row32(y * Src->Height() / h)[x * Src->Width() / w] & 0x00FFFFFFu);
  }
};

class ThrowingFilter : public TKWBasicFilter {
 public:
  void Filter(TBitmap*, TBitmap*) override { throw Exception("filter failed"); }
};

// Writes BG xor FG into Dst at Origin and records what it was given.
class XorMixer : public TKWBasicMixer {
 public:
  TPoint origin{-1, -1};
  TSize partSize{-1, -1};
  TSize dstSize{-1, -1};
  void Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) override {
    origin = Origin;
    partSize = TSize{BG->Width(), BG->Height()};
    dstSize = TSize{Dst->Width(), Dst->Height()};
    EXPECT_EQ(BG->Width(), FG->Width());
    EXPECT_EQ(BG->Height(), FG->Height());
    for (int y = 0; y < BG->Height(); ++y)
      for (int x = 0; x < BG->Width(); ++x)
        Dst->Row32(Origin.Y + y)[Origin.X + x] = BG->Row32(y)[x] ^ FG->Row32(y)[x];
  }
};

// Pixel (x, y) := B x, G y, R 77.
class PatternGenerator : public TKWBasicGenerator {
 public:
  bool fail = false;
  void Generator(TBitmap* Bitmap) override {
    if (fail) throw Exception("generator failed");
    for (int y = 0; y < Bitmap->Height(); ++y)
      for (int x = 0; x < Bitmap->Width(); ++x)
        Bitmap->Row32(y)[x] = Px(uint8_t(x), uint8_t(y), 77);
  }
};

class ImageTest : public ::testing::Test {
 protected:
  std::filesystem::path dir;

  void SetUp() override {
    char tmpl[] = "/tmp/kwimage_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    SetUndoDataDir((dir / "UndoData").string());
    JPEGQuality = 75;
    ResizeMode = 1;
    DiskUndo = 3;
    NormalAlphaBlending = true;
    UndoFileCounter = 0;
    SetProgressSink(nullptr);
  }
  void TearDown() override {
    SetProgressSink(nullptr);
    SetUndoDataDir("");
    JPEGQuality = 75;
    ResizeMode = 1;
    DiskUndo = 3;
    NormalAlphaBlending = true;
    UndoFileCounter = 0;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  std::string SwapPath(int n) const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08d.tmp", n);
    return (dir / "UndoData" / buf).string();
  }
};

// The chain from the oldest image to the newest, starting anywhere in it.
inline std::vector<TKWBitmap*> Chain(TKWBitmap* any) {
  TKWBitmap* first = any;
  while (first->Prev) first = first->Prev;
  std::vector<TKWBitmap*> v;
  for (TKWBitmap* b = first; b; b = b->Next) v.push_back(b);
  return v;
}

// Frees a whole chain held by a test (the view's job in the program).
inline void FreeChain(TKWBitmap* current) {
  if (!current) return;
  current->ClearHistory();
  delete current;
}

}  // namespace imgtest
