// Damaged files of every format the program reads, made by flipping bytes
// and cutting good files at random: each read either succeeds or raises an
// Exception that says why, and a failed read leaves the target as it was.
// (Run under AddressSanitizer this also shows that no read leaves a buffer.)
#include <gtest/gtest.h>

#include "imageio/jpegio.h"
#include "imageio/kwpng.h"
#include "imageio/spi.h"
#include "imageio_testutil.h"

using namespace kwtest;

namespace {

std::vector<uint8_t> Mutate(const std::vector<uint8_t>& good, Rng& r) {
  std::vector<uint8_t> m = good;
  switch (r.Next() % 3) {
    case 0: {  // a few flipped bytes
      int n = 1 + int(r.Next() % 4);
      for (int i = 0; i < n; ++i) m[r.Next() % m.size()] ^= uint8_t(1 + r.Next() % 255);
      break;
    }
    case 1:  // cut short
      m.resize(r.Next() % m.size());
      break;
    default: {  // a run of bytes overwritten with one value
      size_t at = r.Next() % m.size(), len = 1 + r.Next() % 16;
      uint8_t v = r.Byte();
      for (size_t i = at; i < m.size() && i < at + len; ++i) m[i] = v;
      break;
    }
  }
  return m;
}

template <class LoadFn>
void Hammer(const std::vector<uint8_t>& good, uint32_t seed, int rounds, LoadFn load) {
  {
    TSPIBitmap undamaged;
    load(good, undamaged);  // the starting file itself is good
    ASSERT_FALSE(undamaged.Empty());
  }
  Rng r(seed);
  std::vector<uint8_t> bmp = SampleBMP(4, 3);
  TBitmap reference;
  reference.LoadFromMemory(bmp.data(), bmp.size());
  int refused = 0;
  for (int i = 0; i < rounds; ++i) {
    std::vector<uint8_t> bad = Mutate(good, r);
    TSPIBitmap target;
    target.LoadFromMemory(bmp.data(), bmp.size());
    try {
      load(bad, target);
    } catch (const Exception&) {
      ++refused;
      ASSERT_TRUE(SameImage(target, reference)) << "round " << i;
    }
    // An empty target is written straight into; a failure leaves it empty,
    // in its pixel format.
    TSPIBitmap empty;
    empty.SetPixelFormat(pf8bit);
    try {
      load(bad, empty);
    } catch (const Exception&) {
      ASSERT_TRUE(empty.Empty()) << "round " << i;
      ASSERT_EQ(empty.PixelFormat(), pf8bit) << "round " << i;
    }
  }
  // Most damaged files are refused (a flipped byte in the pixel data of a
  // format without checksums may still decode).
  EXPECT_GT(refused, 0);
}

}  // namespace

TEST(DamagedFiles, PngJpegBmpNeverCrashAndKeepTheTarget) {
  TBitmap src;
  FillSmooth32(src, 40, 30);
  std::vector<uint8_t> png;
  {
    TempDir dir;
    SavePNGFile(dir / "a.png", src, true);
    png = ReadFile(dir / "a.png");
  }
  Hammer(png, 1, 400, [](const std::vector<uint8_t>& d, TBitmap& t) {
    bool alpha;
    LoadPNGMemory(d.data(), d.size(), t, alpha);
  });
  std::vector<uint8_t> jpg = SaveJPEGMemory(src, 80);
  Hammer(jpg, 2, 400, [](const std::vector<uint8_t>& d, TBitmap& t) { LoadJPEGMemory(d.data(), d.size(), t); });
  TBitmap src24;
  src24.Assign(src);
  src24.SetPixelFormat(pf24bit);
  std::vector<uint8_t> bmp = src24.SaveToMemory();
  Hammer(bmp, 3, 400, [](const std::vector<uint8_t>& d, TBitmap& t) {
    static_cast<TSPIBitmap&>(t).LoadFromMemory(d.data(), d.size(), "x.bmp");
  });
}

TEST(DamagedFiles, ShippedPluginsNeverCrash) {
  TSPIs spis(0, false);
  spis.Search(std::string(KW_PROGRAM_DIR) + "if*.spi");
  std::string ppm = "P6 7 5 255\n";
  std::vector<uint8_t> p6(ppm.begin(), ppm.end());
  Rng r(4);
  for (int i = 0; i < 7 * 5 * 3; ++i) p6.push_back(r.Byte());
  Hammer(p6, 5, 300, [](const std::vector<uint8_t>& d, TBitmap& t) {
    static_cast<TSPIBitmap&>(t).LoadFromMemory(d.data(), d.size(), "x.ppm");
  });
  std::string pgm = "P2\n# c\n3 2\n100\n0 50 100\n7 8 9\n";
  Hammer(std::vector<uint8_t>(pgm.begin(), pgm.end()), 6, 300, [](const std::vector<uint8_t>& d, TBitmap& t) {
    static_cast<TSPIBitmap&>(t).LoadFromMemory(d.data(), d.size(), "x.pgm");
  });
  // A 4 x 4 GIF with a 4-colour palette (made once by hand).
  const std::vector<uint8_t> gif = {
      'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0x81, 0, 0,  // screen, 4-colour table
      0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255,               // colours
      0x21, 0xF9, 4, 1, 0, 0, 3, 0,                           // transparency: index 3
      0x2C, 0, 0, 0, 0, 4, 0, 4, 0, 0,                        // image 4 x 4
      2, 8, 0x84, 0x1F, 0x86, 0x8B, 0xA0, 0x10, 0x04, 0x05, 0,  // LZW data
      0x3B};
  Hammer(gif, 7, 300, [](const std::vector<uint8_t>& d, TBitmap& t) {
    static_cast<TSPIBitmap&>(t).LoadFromMemory(d.data(), d.size(), "x.gif");
  });
}
