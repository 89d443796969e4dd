#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/bitmap.h"
#include "platform_test_util.h"

namespace {

// An independent BMP writer for files the program itself does not write.
struct BmpSpec {
  int hdr = 40;
  int32_t w = 0, h = 0;
  int bpp = 24;
  uint32_t compression = 0;
  bool topDown = false;
  uint32_t clrUsed = 0;
  std::vector<std::array<uint8_t, 3>> pal;  // R, G, B
  std::array<uint32_t, 4> masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  std::vector<std::vector<uint8_t>> rows;   // packed bytes, top row first
};

void Put(std::vector<uint8_t>& v, uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

std::vector<uint8_t> BuildBmp(const BmpSpec& s) {
  std::vector<uint8_t> ih;
  if (s.hdr == 12) {
    Put(ih, 12, 4);
    Put(ih, uint32_t(s.w), 2);
    Put(ih, uint32_t(s.h), 2);
    Put(ih, 1, 2);
    Put(ih, uint32_t(s.bpp), 2);
  } else {
    Put(ih, uint32_t(s.hdr), 4);
    Put(ih, uint32_t(s.w), 4);
    Put(ih, uint32_t(s.topDown ? -s.h : s.h), 4);
    Put(ih, 1, 2);
    Put(ih, uint32_t(s.bpp), 2);
    Put(ih, s.compression, 4);
    Put(ih, 0, 4);
    Put(ih, 2835, 4);
    Put(ih, 2835, 4);
    Put(ih, s.clrUsed, 4);
    Put(ih, 0, 4);
    if (s.hdr >= 52)
      for (int i = 0; i < 3; ++i) Put(ih, s.masks[size_t(i)], 4);
    if (s.hdr >= 56) Put(ih, s.masks[3], 4);
    ih.resize(size_t(s.hdr), 0);
  }
  if (s.hdr == 40 && s.compression == 3)
    for (int i = 0; i < 3; ++i) Put(ih, s.masks[size_t(i)], 4);
  for (const auto& e : s.pal) {
    ih.push_back(e[2]);
    ih.push_back(e[1]);
    ih.push_back(e[0]);
    if (s.hdr != 12) ih.push_back(0);
  }
  const size_t stride = (size_t(s.w) * s.bpp + 31) / 32 * 4;
  std::vector<uint8_t> px;
  for (int i = 0; i < s.h; ++i) {
    const auto& r = s.rows[size_t(s.topDown ? i : s.h - 1 - i)];
    std::vector<uint8_t> row(stride, 0);
    std::copy(r.begin(), r.end(), row.begin());
    px.insert(px.end(), row.begin(), row.end());
  }
  std::vector<uint8_t> f;
  const uint32_t off = 14 + uint32_t(ih.size());
  f.push_back('B');
  f.push_back('M');
  Put(f, off + uint32_t(px.size()), 4);
  Put(f, 0, 4);
  Put(f, off, 4);
  f.insert(f.end(), ih.begin(), ih.end());
  f.insert(f.end(), px.begin(), px.end());
  return f;
}

std::vector<std::array<uint8_t, 3>> RandPal(std::mt19937& rng, int n) {
  std::vector<std::array<uint8_t, 3>> p(static_cast<size_t>(n));
  for (auto& e : p) e = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
  return p;
}

std::vector<std::vector<uint8_t>> RandRows(std::mt19937& rng, int h, size_t bytes) {
  std::vector<std::vector<uint8_t>> r(static_cast<size_t>(h), std::vector<uint8_t>(bytes));
  for (auto& row : r)
    for (auto& b : row) b = uint8_t(rng());
  return r;
}

void ExpectPalette(const TBitmap& b, const std::vector<std::array<uint8_t, 3>>& pal) {
  ASSERT_EQ(b.Palette().size(), pal.size());
  for (size_t i = 0; i < pal.size(); ++i)
    EXPECT_EQ(b.Palette()[i], (TPaletteEntry{pal[i][0], pal[i][1], pal[i][2], 0}));
}

TEST(BmpRoundTrip, MemoryStreamAndFileKeepEverything) {
  std::mt19937 rng(21);
  const std::string path = "/tmp/kw_bmp_rt_" + std::to_string(getpid()) + ".bmp";
  for (TPixelFormat pf : {pf8bit, pf24bit, pf32bit}) {
    for (int w = 1; w <= 9; ++w) {
      TBitmap a;
      pt::MakeRandom(a, pf, w, 1 + int(rng() % 5), rng);
      const pt::Snapshot want(a);

      TBitmap m;
      const auto bytes = a.SaveToMemory();
      m.LoadFromMemory(bytes.data(), bytes.size());
      EXPECT_TRUE(pt::Snapshot(m) == want);

      std::stringstream ss;
      a.SaveToStream(ss);
      EXPECT_EQ(ss.str(), std::string(bytes.begin(), bytes.end()));
      TBitmap s;
      s.LoadFromStream(ss);
      EXPECT_TRUE(pt::Snapshot(s) == want);

      a.SaveToFile(path);
      TBitmap f;
      f.LoadFromFile(path);
      EXPECT_TRUE(pt::Snapshot(f) == want);
    }
  }
  std::remove(path.c_str());
}

TEST(BmpRoundTrip, ShortPaletteAndEmptyBitmap) {
  TBitmap a;
  a.SetPixelFormat(pf8bit);
  a.SetSize(3, 2);
  a.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
  a.ScanLine(1)[2] = 1;
  const auto bytes = a.SaveToMemory();
  TBitmap b;
  b.LoadFromMemory(bytes.data(), bytes.size());
  EXPECT_TRUE(pt::Snapshot(a) == pt::Snapshot(b));

  TBitmap empty, back;
  empty.SetPixelFormat(pf32bit);
  const auto e = empty.SaveToMemory();
  std::mt19937 rng(1);
  pt::MakeRandom(back, pf24bit, 2, 2, rng);
  back.LoadFromMemory(e.data(), e.size());
  EXPECT_TRUE(back.Empty());
  EXPECT_EQ(back.PixelFormat(), pf32bit);
}

uint32_t Le32(const std::vector<uint8_t>& v, size_t o) {
  return uint32_t(v[o]) | (uint32_t(v[o + 1]) << 8) | (uint32_t(v[o + 2]) << 16) | (uint32_t(v[o + 3]) << 24);
}

TEST(BmpWrite, StandardHeaderAndBottomUpRows) {
  std::mt19937 rng(22);
  for (TPixelFormat pf : {pf8bit, pf24bit, pf32bit}) {
    TBitmap a;
    pt::MakeRandom(a, pf, 5, 3, rng);
    const auto f = a.SaveToMemory();
    const int bpp = pf == pf8bit ? 8 : pf == pf24bit ? 24 : 32;
    const uint32_t off = 54 + (pf == pf8bit ? 1024 : 0);
    const uint32_t stride = (5 * bpp + 31) / 32 * 4;
    ASSERT_EQ(f.size(), off + stride * 3);
    EXPECT_EQ(f[0], 'B');
    EXPECT_EQ(f[1], 'M');
    EXPECT_EQ(Le32(f, 2), f.size());
    EXPECT_EQ(Le32(f, 10), off);
    EXPECT_EQ(Le32(f, 14), 40u);
    EXPECT_EQ(Le32(f, 18), 5u);
    EXPECT_EQ(Le32(f, 22), 3u);  // positive: bottom-up
    EXPECT_EQ(f[26] | (f[27] << 8), 1);
    EXPECT_EQ(f[28] | (f[29] << 8), bpp);
    EXPECT_EQ(Le32(f, 30), 0u);
    // The first stored row is the bottom row.
    EXPECT_TRUE(std::equal(f.begin() + off, f.begin() + off + 5 * bpp / 8, a.ScanLine(2)));
    if (pf == pf8bit) {
      EXPECT_EQ(Le32(f, 46), 256u);
      EXPECT_EQ(f[54], a.Palette()[0].peBlue);
      EXPECT_EQ(f[56], a.Palette()[0].peRed);
    }
  }
}

TEST(BmpRead, OneAndFourBitsBecomeEightBitWithPalette) {
  std::mt19937 rng(23);
  for (int bpp : {1, 4}) {
    for (int w : {1, 3, 7, 8, 9, 13, 33}) {
      BmpSpec s;
      s.bpp = bpp;
      s.w = w;
      s.h = 3;
      s.pal = RandPal(rng, 1 << bpp);
      s.rows = RandRows(rng, s.h, (size_t(w) * bpp + 7) / 8);
      const auto f = BuildBmp(s);
      TBitmap b;
      b.LoadFromMemory(f.data(), f.size());
      ASSERT_EQ(b.PixelFormat(), pf8bit);
      ASSERT_EQ(b.Width(), w);
      ExpectPalette(b, s.pal);
      for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint8_t byte = s.rows[size_t(y)][size_t(x * bpp / 8)];
          const int idx = bpp == 1 ? (byte >> (7 - x % 8)) & 1 : (x % 2 ? byte & 15 : byte >> 4);
          ASSERT_EQ(b.ScanLine(y)[x], idx) << bpp << " " << w << " " << x << "," << y;
        }
    }
  }
}

TEST(BmpRead, TopDownFiles) {
  std::mt19937 rng(24);
  for (int bpp : {8, 24, 32, 4}) {
    BmpSpec s;
    s.bpp = bpp;
    s.w = 5;
    s.h = 4;
    s.topDown = true;
    if (bpp <= 8) s.pal = RandPal(rng, 1 << bpp);
    s.rows = RandRows(rng, s.h, (size_t(s.w) * bpp + 7) / 8);
    const auto f = BuildBmp(s);
    BmpSpec up = s;
    up.topDown = false;
    const auto g = BuildBmp(up);
    TBitmap a, b;
    a.LoadFromMemory(f.data(), f.size());
    b.LoadFromMemory(g.data(), g.size());
    EXPECT_EQ(a.Height(), 4);
    EXPECT_TRUE(pt::Snapshot(a) == pt::Snapshot(b)) << bpp;
    if (bpp >= 8) {
      EXPECT_TRUE(std::equal(s.rows[0].begin(), s.rows[0].end(), a.ScanLine(0)));
    }
  }
}

TEST(BmpRead, CoreHeaderAndBitFieldHeaders) {
  std::mt19937 rng(25);
  // OS/2 core header: 16-bit sizes, 3-byte palette entries.
  BmpSpec c;
  c.hdr = 12;
  c.bpp = 8;
  c.w = 6;
  c.h = 2;
  c.pal = RandPal(rng, 256);
  c.rows = RandRows(rng, 2, 6);
  auto f = BuildBmp(c);
  TBitmap b;
  b.LoadFromMemory(f.data(), f.size());
  ExpectPalette(b, c.pal);
  EXPECT_TRUE(std::equal(c.rows[1].begin(), c.rows[1].end(), b.ScanLine(1)));

  for (int hdr : {40, 52, 56, 108, 124}) {
    BmpSpec s;
    s.hdr = hdr;
    s.bpp = 32;
    s.compression = 3;
    s.w = 3;
    s.h = 2;
    s.rows = RandRows(rng, 2, 12);
    f = BuildBmp(s);
    TBitmap v;
    v.LoadFromMemory(f.data(), f.size());
    ASSERT_EQ(v.PixelFormat(), pf32bit) << hdr;
    EXPECT_TRUE(std::equal(s.rows[0].begin(), s.rows[0].end(), v.ScanLine(0))) << hdr;
    // Any other layout of the channels is refused.
    s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0};
    f = BuildBmp(s);
    EXPECT_THROW(v.LoadFromMemory(f.data(), f.size()), EInvalidGraphic) << hdr;
  }
}

TEST(BmpRead, UnsupportedLayoutsAreRefused) {
  BmpSpec s;
  s.w = 2;
  s.h = 2;
  s.bpp = 16;
  s.rows = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  auto f = BuildBmp(s);
  TBitmap b;
  EXPECT_THROW(b.LoadFromMemory(f.data(), f.size()), EInvalidGraphic);
  s.bpp = 8;
  s.compression = 1;  // run-length coded
  f = BuildBmp(s);
  EXPECT_THROW(b.LoadFromMemory(f.data(), f.size()), EInvalidGraphic);
  s.compression = 0;
  s.clrUsed = 300;
  f = BuildBmp(s);
  EXPECT_THROW(b.LoadFromMemory(f.data(), f.size()), EInvalidGraphic);
  EXPECT_THROW(b.LoadFromMemory(nullptr, 0), EInvalidGraphic);
}

// A bitmap with known content that failed loads must leave alone.
void PrepareTarget(TBitmap& t) {
  std::mt19937 rng(99);
  pt::MakeRandom(t, pf32bit, 3, 2, rng);
}

std::vector<std::vector<uint8_t>> SampleFiles() {
  std::mt19937 rng(26);
  std::vector<std::vector<uint8_t>> files;
  for (TPixelFormat pf : {pf8bit, pf24bit, pf32bit}) {
    TBitmap a;
    pt::MakeRandom(a, pf, 5, 3, rng);
    files.push_back(a.SaveToMemory());
  }
  BmpSpec s;
  s.bpp = 1;
  s.w = 9;
  s.h = 3;
  s.topDown = true;
  s.pal = RandPal(rng, 2);
  s.rows = RandRows(rng, 3, 2);
  files.push_back(BuildBmp(s));
  s.hdr = 12;
  s.bpp = 4;
  s.topDown = false;
  s.pal = RandPal(rng, 16);
  s.rows = RandRows(rng, 3, 5);
  files.push_back(BuildBmp(s));
  BmpSpec v;
  v.hdr = 124;
  v.bpp = 32;
  v.compression = 3;
  v.w = 2;
  v.h = 2;
  v.rows = RandRows(rng, 2, 8);
  files.push_back(BuildBmp(v));
  return files;
}

TEST(BmpDamaged, EveryTruncationRaisesAndKeepsTheTarget) {
  for (const auto& f : SampleFiles()) {
    TBitmap t;
    PrepareTarget(t);
    const pt::Snapshot before(t);
    for (size_t len = 0; len < f.size(); ++len) {
      std::vector<uint8_t> cut(f.begin(), f.begin() + long(len));
      EXPECT_THROW(t.LoadFromMemory(cut.data(), cut.size()), EInvalidGraphic) << len;
      std::stringstream ss(std::string(cut.begin(), cut.end()));
      EXPECT_THROW(t.LoadFromStream(ss), EInvalidGraphic) << len;
      ASSERT_TRUE(pt::Snapshot(t) == before) << len;
    }
  }
}

TEST(BmpDamaged, EveryHeaderFieldCorrupted) {
  const uint8_t values[] = {0x00, 0xFF, 0x80, 0x7F, 0x01, 0x10};
  for (const auto& f : SampleFiles()) {
    const size_t headerEnd = std::min<size_t>(f.size(), Le32(f, 10) + 4);
    for (size_t at = 0; at < headerEnd; ++at) {
      for (uint8_t v : values) {
        std::vector<uint8_t> bad = f;
        bad[at] = v;
        TBitmap t;
        PrepareTarget(t);
        const pt::Snapshot before(t);
        try {
          t.LoadFromMemory(bad.data(), bad.size());
          // Accepted: what was read fits in the data that was there.
          ASSERT_LE(t.ByteSize(), bad.size());
        } catch (const EInvalidGraphic&) {
          ASSERT_TRUE(pt::Snapshot(t) == before) << at;
        }
      }
    }
  }
}

TEST(BmpDamaged, OversizeHeaderRefusedBeforeReadingPixels) {
  BmpSpec s;
  s.bpp = 32;
  s.w = 1;
  s.h = 1;
  s.rows = {{1, 2, 3, 4}};
  auto f = BuildBmp(s);
  for (size_t i = 0; i < 4; ++i) {
    f[18 + i] = uint8_t(100000u >> (8 * i));
    f[22 + i] = uint8_t(100000u >> (8 * i));
  }
  TBitmap t;
  PrepareTarget(t);
  const pt::Snapshot before(t);
  try {
    t.LoadFromMemory(f.data(), f.size());
    FAIL() << "accepted a 100000 x 100000 header";
  } catch (const EInvalidGraphic& e) {
    // The size check, not the missing pixel data, stopped it.
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(pt::Snapshot(t) == before);
  // Negative height beyond the limit (top-down) as well.
  for (size_t i = 0; i < 4; ++i) f[22 + i] = uint8_t(uint32_t(-2000000) >> (8 * i));
  EXPECT_THROW(t.LoadFromMemory(f.data(), f.size()), EInvalidGraphic);
}

TEST(BmpStream, ConsumesExactlyOneImage) {
  std::mt19937 rng(27);
  TBitmap a, b;
  pt::MakeRandom(a, pf24bit, 3, 3, rng);
  pt::MakeRandom(b, pf8bit, 4, 2, rng);
  std::stringstream ss;
  a.SaveToStream(ss);
  b.SaveToStream(ss);
  ss << "tail";
  TBitmap x, y;
  x.LoadFromStream(ss);
  y.LoadFromStream(ss);
  EXPECT_TRUE(pt::Snapshot(x) == pt::Snapshot(a));
  EXPECT_TRUE(pt::Snapshot(y) == pt::Snapshot(b));
  std::string rest;
  ss >> rest;
  EXPECT_EQ(rest, "tail");
}

TEST(BmpStream, StreamThatThrowsAtItsEnd) {
  std::mt19937 rng(28);
  TBitmap a, t;
  pt::MakeRandom(a, pf24bit, 3, 3, rng);
  const auto bytes = a.SaveToMemory();
  std::stringstream ss(std::string(bytes.begin(), bytes.end() - 5));
  ss.exceptions(std::ios::failbit | std::ios::eofbit | std::ios::badbit);
  PrepareTarget(t);
  const pt::Snapshot before(t);
  EXPECT_THROW(t.LoadFromStream(ss), EInvalidGraphic);
  EXPECT_TRUE(pt::Snapshot(t) == before);
}

TEST(BmpFiles, MissingFilesAndFolders) {
  TBitmap t;
  PrepareTarget(t);
  const pt::Snapshot before(t);
  EXPECT_THROW(t.LoadFromFile("/nonexistent/x.bmp"), EInOutError);
  EXPECT_THROW(t.SaveToFile("/nonexistent/x.bmp"), EInOutError);
  const std::string path = "/tmp/kw_bmp_junk_" + std::to_string(getpid()) + ".bmp";
  std::ofstream(path) << "not a bitmap at all";
  EXPECT_THROW(t.LoadFromFile(path), EInvalidGraphic);
  std::remove(path.c_str());
  EXPECT_TRUE(pt::Snapshot(t) == before);
}

}  // namespace
