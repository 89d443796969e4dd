// The plug-ins shipped with the program: PNM (PBM/PGM/PPM) and GIF, read
// through TSPIBitmap as the program reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "imageio/spi.h"
#include "imageio_testutil.h"
#include "platform/sysutils.h"

#ifdef KW_HAVE_GIFLIB
#include <gif_lib.h>
#endif

using namespace kwtest;

namespace {

const std::string kProgramDir = KW_PROGRAM_DIR;

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

class ShippedPlugins : public ::testing::Test {
 protected:
  void SetUp() override {
    spis_ = std::make_unique<TSPIs>(0, false);
    spis_->Search(kProgramDir + "if*.spi");
  }
  void Load(TSPIBitmap& b, const std::string& name, const std::vector<uint8_t>& data) {
    WriteFile(dir_ / name, data);
    b.LoadFromFile(dir_ / name);
  }
  std::unique_ptr<TSPIs> spis_;
  TempDir dir_;
};

uint32_t Gray(unsigned v) { return v | (v << 8) | (v << 16); }

}  // namespace

TEST_F(ShippedPlugins, PnmPluginIsAnImageReaderForItsExtensions) {
  TSPI* pnm = nullptr;
  for (int i = 0; i < spis_->Count(); ++i)
    if (ExtractFileName(spis_->Items(i)->FileName) == "ifpnm.spi") pnm = spis_->Items(i);
  ASSERT_TRUE(pnm) << "ifpnm.spi not found in " << kProgramDir;
  EXPECT_TRUE(dynamic_cast<TInSPI*>(pnm));
  for (const char* e : {"pbm", "PGM", "ppm", "pnm"}) EXPECT_TRUE(pnm->HandlesExtension(e)) << e;
}

TEST_F(ShippedPlugins, ReadsPlainAndRawBitmapsGraymapsAndPixmaps) {
  TSPIBitmap b;
  // P1: 1 is black; the digits may run together.
  Load(b, "a.pbm", Bytes("P1\n# a comment\n5 2\n1 0 1 0 0\n01011\n"));
  ASSERT_EQ(b.Width(), 5);
  ASSERT_EQ(b.Height(), 2);
  const int p1[2][5] = {{1, 0, 1, 0, 0}, {0, 1, 0, 1, 1}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(b.PixelBGRA(x, y) & 0xFFFFFF, p1[y][x] ? 0u : 0xFFFFFFu);

  // P4: rows padded to whole bytes.
  std::vector<uint8_t> p4 = Bytes("P4 10 2\n");
  p4.insert(p4.end(), {0xA5, 0xC0, 0x0F, 0x40});
  Load(b, "b.pbm", p4);
  ASSERT_EQ(b.Width(), 10);
  for (int x = 0; x < 10; ++x) {
    bool top = (x < 8 ? (0xA5 >> (7 - x)) : (0xC0 >> (15 - x))) & 1;
    bool bottom = (x < 8 ? (0x0F >> (7 - x)) : (0x40 >> (15 - x))) & 1;
    EXPECT_EQ(b.PixelBGRA(x, 0) & 0xFFFFFF, top ? 0u : 0xFFFFFFu) << x;
    EXPECT_EQ(b.PixelBGRA(x, 1) & 0xFFFFFF, bottom ? 0u : 0xFFFFFFu) << x;
  }

  // P2 with maximum 15: scaled to 0..255.
  Load(b, "c.pgm", Bytes("P2 3 1 15\n0 5 15\n"));
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(b.PixelBGRA(0, 0) & 0xFFFFFF, Gray(0));
  EXPECT_EQ(b.PixelBGRA(1, 0) & 0xFFFFFF, Gray(85));
  EXPECT_EQ(b.PixelBGRA(2, 0) & 0xFFFFFF, Gray(255));

  // P5 with 16-bit samples, most significant byte first.
  std::vector<uint8_t> p5 = Bytes("P5 2 1 65535\n");
  p5.insert(p5.end(), {0x80, 0x80, 0xFF, 0xFF});
  Load(b, "d.pgm", p5);
  EXPECT_EQ(b.PixelBGRA(0, 0) & 0xFFFFFF, Gray(128));
  EXPECT_EQ(b.PixelBGRA(1, 0) & 0xFFFFFF, Gray(255));

  // P3 and P6: red, green, blue in the file, exact 24-bit pixels.
  Load(b, "e.ppm", Bytes("P3 2 1 255 10 20 30 200 100 0\n"));
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.PixelBGRA(0, 0) & 0xFFFFFF, 30u | (20u << 8) | (10u << 16));
  EXPECT_EQ(b.PixelBGRA(1, 0) & 0xFFFFFF, 0u | (100u << 8) | (200u << 16));
  std::vector<uint8_t> p6 = Bytes("P6\n3 2\n255\n");
  Rng r(1);
  std::vector<uint8_t> px;
  for (int i = 0; i < 18; ++i) px.push_back(r.Byte());
  p6.insert(p6.end(), px.begin(), px.end());
  Load(b, "f.ppm", p6);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint8_t* q = px.data() + (y * 3 + x) * 3;
      EXPECT_EQ(b.PixelBGRA(x, y) & 0xFFFFFF, q[2] | (q[1] << 8) | (uint32_t(q[0]) << 16));
    }
  EXPECT_EQ(ExtractFileName(b.ReadBy->FileName), "ifpnm.spi");
}

TEST_F(ShippedPlugins, DamagedPnmFilesAreRefused) {
  std::vector<uint8_t> bmp = SampleBMP(3, 2);
  TSPIBitmap b, before;
  b.LoadFromMemory(bmp.data(), bmp.size());
  before.LoadFromMemory(bmp.data(), bmp.size());
  std::vector<uint8_t> cut = Bytes("P6 4 4 255\n");
  cut.resize(cut.size() + 40, 7);  // 48 bytes needed
  const std::vector<std::vector<uint8_t>> bad = {
      cut, Bytes("P5 0 3 255\n"), Bytes("P2 2 2 255\n1 2 3\n"), Bytes("P2 1 1 10\n11\n"),
      Bytes("P3 1 1 70000\n1 1 1\n"), Bytes("P1 2 1\n0 2\n"), Bytes("P6 99999999999 1 255\n"),
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_THROW(Load(b, "bad.ppm", bad[i]), EInvalidGraphic);
    EXPECT_TRUE(SameImage(b, before));
  }
  try {
    Load(b, "huge.ppm", Bytes("P6 100000 100000 255\n"));
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeMessage(100000, 100000));
  }
  EXPECT_TRUE(SameImage(b, before));
}

#ifdef KW_HAVE_GIFLIB
namespace {

struct GifOut {
  std::vector<uint8_t> bytes;
};
int AppendGif(GifFileType* g, const GifByteType* data, int len) {
  static_cast<GifOut*>(g->UserData)->bytes.insert(static_cast<GifOut*>(g->UserData)->bytes.end(), data, data + len);
  return len;
}

// Writes a GIF: screen sw x sh, one frame at (fx, fy) of fw x fh with
// index(x, y) pixels, 8 colours, optional transparent index, interlaced or not.
std::vector<uint8_t> MakeGif(int sw, int sh, int fx, int fy, int fw, int fh, int transparent, bool interlace,
                             int background, int (*index)(int, int)) {
  GifOut out;
  int err = 0;
  GifFileType* g = EGifOpen(&out, AppendGif, &err);
  GifColorType colours[8];
  for (int i = 0; i < 8; ++i) colours[i] = GifColorType{GifByteType(i * 30), GifByteType(255 - i * 20), GifByteType(i * 7)};
  ColorMapObject* map = GifMakeMapObject(8, colours);
  EGifSetGifVersion(g, true);
  EGifPutScreenDesc(g, sw, sh, 8, background, map);
  if (transparent >= 0) {
    GraphicsControlBlock gcb{};
    gcb.TransparentColor = transparent;
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
  }
  EGifPutImageDesc(g, fx, fy, fw, fh, interlace, nullptr);
  std::vector<GifPixelType> line(static_cast<size_t>(fw));
  std::vector<int> order;
  if (interlace) {
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int p = 0; p < 4; ++p)
      for (int y = start[p]; y < fh; y += step[p]) order.push_back(y);
  } else {
    for (int y = 0; y < fh; ++y) order.push_back(y);
  }
  for (int y : order) {
    for (int x = 0; x < fw; ++x) line[size_t(x)] = GifPixelType(index(x, y));
    EGifPutLine(g, line.data(), fw);
  }
  EGifCloseFile(g, &err);
  GifFreeMapObject(map);
  return out.bytes;
}

uint32_t GifColour(int i) { return uint32_t(i * 7) | (uint32_t(255 - i * 20) << 8) | (uint32_t(i * 30) << 16); }
int Pattern(int x, int y) { return (x + 3 * y) % 8; }

}  // namespace

TEST_F(ShippedPlugins, GifFramesInterlacingAndTransparency) {
  TSPIBitmap b;
  for (bool interlace : {false, true}) {
    SCOPED_TRACE(interlace);
    Load(b, "a.gif", MakeGif(9, 17, 0, 0, 9, 17, -1, interlace, 0, Pattern));
    ASSERT_EQ(b.Width(), 9);
    ASSERT_EQ(b.Height(), 17);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    for (int y = 0; y < 17; ++y)
      for (int x = 0; x < 9; ++x) ASSERT_EQ(b.PixelBGRA(x, y) & 0xFFFFFF, GifColour(Pattern(x, y))) << x << "," << y;
  }
  // A frame smaller than the screen: the rest is the background colour.
  Load(b, "b.gif", MakeGif(10, 8, 3, 2, 4, 5, -1, false, 6, Pattern));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      bool in = x >= 3 && x < 7 && y >= 2 && y < 7;
      EXPECT_EQ(b.PixelBGRA(x, y) & 0xFFFFFF, GifColour(in ? Pattern(x - 3, y - 2) : 6)) << x << "," << y;
    }
  // A transparent colour makes a 32-bit picture with alpha.
  Load(b, "c.gif", MakeGif(6, 4, 1, 0, 5, 4, 2, false, 0, Pattern));
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      uint32_t p = b.PixelBGRA(x, y);
      int idx = x >= 1 ? Pattern(x - 1, y) : -1;
      if (idx < 0 || idx == 2) EXPECT_EQ(p >> 24, 0u) << x << "," << y;
      else EXPECT_EQ(p, GifColour(idx) | 0xFF000000u) << x << "," << y;
    }
}

TEST_F(ShippedPlugins, DamagedGifFilesAreRefused) {
  std::vector<uint8_t> good = MakeGif(30, 20, 0, 0, 30, 20, -1, false, 0, Pattern);
  std::vector<uint8_t> bmp = SampleBMP(3, 2);
  TSPIBitmap b, before;
  b.LoadFromMemory(bmp.data(), bmp.size());
  before.LoadFromMemory(bmp.data(), bmp.size());
  for (size_t cut : {size_t(6), size_t(13), size_t(40), good.size() / 2}) {
    SCOPED_TRACE(cut);
    EXPECT_THROW(Load(b, "cut.gif", std::vector<uint8_t>(good.begin(), good.begin() + long(cut))), EInvalidGraphic);
    EXPECT_TRUE(SameImage(b, before));
  }
  std::vector<uint8_t> huge = good;
  huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;  // screen 65535 x 65535
  try {
    Load(b, "huge.gif", huge);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeMessage(65535, 65535));
  }
  EXPECT_TRUE(SameImage(b, before));
}
#endif
