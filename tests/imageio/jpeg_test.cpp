// JPEG reading and writing: colour, gray and CMYK files, quality, and
// damaged, truncated and oversized files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "imageio/jpegio.h"
#include "imageio_testutil.h"
#include "platform/types.h"
#include "procdef/kwparallel.h"

using namespace kwtest;

namespace {

// Encodes raw samples with libjpeg directly (gray: 1 component, CMYK: 4).
std::vector<uint8_t> EncodeRaw(int w, int h, J_COLOR_SPACE space, int comps, const std::vector<uint8_t>& samples,
                               bool adobe, int quality = 100, int lumaH = 0, int lumaV = 0) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = comps;
  c.in_color_space = space;
  jpeg_set_defaults(&c);
  if (space != JCS_EXT_BGRA) jpeg_set_colorspace(&c, space);  // BGRA: coded as YCbCr
  c.write_Adobe_marker = adobe ? TRUE : FALSE;
  jpeg_set_quality(&c, quality, TRUE);
  if (lumaH > 0) {  // sampling of the first component against the others' 1 x 1
    c.comp_info[0].h_samp_factor = lumaH;
    c.comp_info[0].v_samp_factor = lumaV;
  }
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + size_t(c.next_scanline) * size_t(w * comps));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> v(out, out + size);
  std::free(out);
  return v;
}

int MaxDiffBGR(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(a.ScanLine(y)[x * 4 + c]) - int(b.ScanLine(y)[x * 4 + c])));
  return worst;
}

void Preload(TBitmap& dst) {
  std::vector<uint8_t> bmp = SampleBMP(6, 3);
  dst.LoadFromMemory(bmp.data(), bmp.size());
}

// Offset of the SOFn marker's height field.
size_t SofHeightOffset(const std::vector<uint8_t>& j) {
  for (size_t i = 2; i + 8 < j.size(); ++i)
    if (j[i] == 0xFF && (j[i + 1] == 0xC0 || j[i + 1] == 0xC1 || j[i + 1] == 0xC2)) return i + 5;
  return 0;
}

}  // namespace

TEST(JpegFiles, ColourRoundTripIsCloseAndAlphaIsZero) {
  TempDir dir;
  TBitmap src;
  FillSmooth32(src, 64, 48);
  // Source alpha must not leak into the file or back.
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) src.ScanLine(y)[x * 4 + 3] = 0x77;
  SaveJPEGFile(dir / "a.jpg", src, 100);
  TBitmap back;
  LoadJPEGFile(dir / "a.jpg", back);
  ASSERT_EQ(back.PixelFormat(), pf32bit);
  ASSERT_EQ(back.Width(), 64);
  ASSERT_EQ(back.Height(), 48);
  EXPECT_LE(MaxDiffBGR(src, back), 6);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(back.ScanLine(y)[x * 4 + 3], 0);
}

// Tall and very wide pictures are coded in strips on several threads: the
// file is the same for every thread count, and a reader gets exactly the
// pixels of the picture coded in one piece.
TEST(JpegFiles, PicturesCodedInStripsReadAsCodedInOnePiece) {
  for (const auto& [w, h] : {std::pair{37, 1030}, std::pair{40000, 450}}) {
    TBitmap src;
    FillRandom32(src, w, h, 9);
    std::vector<uint8_t> samples;
    for (int y = 0; y < h; ++y) samples.insert(samples.end(), src.ScanLine(y), src.ScanLine(y) + size_t(w) * 4);
    const std::vector<uint8_t> whole = EncodeRaw(w, h, JCS_EXT_BGRA, 4, samples, false, 75);
    KWSetThreadCount(1);
    const std::vector<uint8_t> one = SaveJPEGMemory(src, 75);
    KWSetThreadCount(3);
    const std::vector<uint8_t> three = SaveJPEGMemory(src, 75);
    KWSetThreadCount(0);
    EXPECT_EQ(one, three) << w << " x " << h;
    int restarts = 0;
    for (size_t i = 0; i + 1 < one.size(); ++i) restarts += one[i] == 0xFF && (one[i + 1] & 0xF8) == 0xD0;
    EXPECT_GE(restarts, 1) << w << " x " << h;
    TBitmap a, b;
    LoadJPEGMemory(one.data(), one.size(), a);
    LoadJPEGMemory(whole.data(), whole.size(), b);
    ASSERT_EQ(a.Width(), w);
    ASSERT_EQ(a.Height(), h);
    for (int y = 0; y < h; ++y)
      ASSERT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(w) * 4), 0) << w << " x " << h << ", row " << y;
  }
}

// Large single-scan pictures are decoded by several decoders at once, each
// taking a part of the rows: every sampling, gray, CMYK, restart markers,
// damaged and cut-short data give the bytes (or the refusal) of one decoder.
TEST(JpegFiles, PicturesDecodedInPartsGiveTheBytesOfOneDecoder) {
  const int w = 301, h = 1003;
  TBitmap src;
  FillRandom32(src, w, h, 5);
  std::vector<uint8_t> bgra, gray, cmyk;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = src.ScanLine(y) + x * 4;
      bgra.insert(bgra.end(), p, p + 4);
      gray.push_back(uint8_t((p[0] + x) / 2));
      cmyk.insert(cmyk.end(), {p[0], p[1], uint8_t(x), uint8_t(y)});
    }
  std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
      {"4:2:0", EncodeRaw(w, h, JCS_EXT_BGRA, 4, bgra, false, 90)},
      {"4:4:4", EncodeRaw(w, h, JCS_EXT_BGRA, 4, bgra, false, 90, 1, 1)},
      {"4:2:2", EncodeRaw(w, h, JCS_EXT_BGRA, 4, bgra, false, 90, 2, 1)},
      {"4:4:0", EncodeRaw(w, h, JCS_EXT_BGRA, 4, bgra, false, 90, 1, 2)},
      {"gray", EncodeRaw(w, h, JCS_GRAYSCALE, 1, gray, false, 90)},
      {"CMYK", EncodeRaw(w, h, JCS_CMYK, 4, cmyk, true, 90)},
      {"restart markers", SaveJPEGMemory(src, 90)}};
  std::vector<uint8_t> damaged = cases[1].second;
  for (size_t i = damaged.size() * 2 / 3; i + 2 < damaged.size(); i += 997) damaged[i] ^= 0x5A;
  cases.emplace_back("damaged", damaged);
  cases.emplace_back("cut short", std::vector<uint8_t>(cases[0].second.begin(),
                                                       cases[0].second.begin() + long(cases[0].second.size() * 9 / 10)));
  auto decode = [](const std::vector<uint8_t>& data, int threads, TBitmap& b) {
    KWSetThreadCount(threads);
    try {
      LoadJPEGMemory(data.data(), data.size(), b);
    } catch (const EInvalidGraphic& e) {
      return e.Message();
    }
    return std::string();
  };
  for (const auto& [what, data] : cases) {
    TBitmap one;
    const std::string error = decode(data, 1, one);
    if (what == "cut short") {
      EXPECT_FALSE(error.empty());
    } else if (what != "damaged") {
      EXPECT_EQ(error, "") << what;
    }
    for (int threads : {2, 4}) {
      TBitmap parts;
      EXPECT_EQ(decode(data, threads, parts), error) << what << ", " << threads << " threads";
      ASSERT_EQ(parts.Height(), one.Height()) << what;
      for (int y = 0; y < one.Height(); ++y)
        ASSERT_EQ(std::memcmp(parts.ScanLine(y), one.ScanLine(y), size_t(w) * 4), 0)
            << what << ", " << threads << " threads, row " << y;
    }
  }
  KWSetThreadCount(0);
}

TEST(JpegFiles, QualitySetsTheCompression) {
  TBitmap src;
  FillRandom32(src, 96, 96, 5);
  size_t low = SaveJPEGMemory(src, 10).size();
  size_t high = SaveJPEGMemory(src, 95).size();
  EXPECT_LT(low * 2, high);
  // Out-of-range qualities are clamped, not refused.
  EXPECT_EQ(SaveJPEGMemory(src, 0), SaveJPEGMemory(src, 1));
  EXPECT_EQ(SaveJPEGMemory(src, 500), SaveJPEGMemory(src, 100));
}

TEST(JpegFiles, SavesEightAndTwentyFourBitBitmaps) {
  std::vector<uint8_t> bmp = SampleBMP(16, 16);
  TBitmap src;
  src.LoadFromMemory(bmp.data(), bmp.size());
  std::vector<uint8_t> j = SaveJPEGMemory(src, 100);
  TBitmap back;
  LoadJPEGMemory(j.data(), j.size(), back);
  TBitmap src32;
  src32.Assign(src);
  src32.SetPixelFormat(pf32bit);
  EXPECT_LE(MaxDiffBGR(src32, back), 40);  // sharp pattern: only roughly equal
  EXPECT_EQ(back.Width(), 16);
}

TEST(JpegFiles, GrayscaleBecomesEqualChannels) {
  const int w = 16, h = 8;
  std::vector<uint8_t> g(size_t(w) * h);
  for (int i = 0; i < w * h; ++i) g[size_t(i)] = uint8_t(i % w * 16);
  std::vector<uint8_t> j = EncodeRaw(w, h, JCS_GRAYSCALE, 1, g, false);
  TBitmap dst;
  LoadJPEGMemory(j.data(), j.size(), dst);
  ASSERT_EQ(dst.Width(), w);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = dst.ScanLine(y) + x * 4;
      EXPECT_EQ(p[0], p[1]);
      EXPECT_EQ(p[1], p[2]);
      EXPECT_EQ(p[3], 0);
      EXPECT_NEAR(p[0], x * 16, 4);
    }
}

TEST(JpegFiles, CmykWithAdobeMarkerIsReadAsInverted) {
  // Flat blocks of 8 x 8: cyan ink, magenta ink, yellow ink, black ink.  The
  // Adobe convention stores 255 - ink.
  const int w = 32, h = 8;
  const uint8_t inks[4][4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 255}};
  std::vector<uint8_t> s(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 4; ++c) s[(size_t(y) * w + size_t(x)) * 4 + size_t(c)] = uint8_t(255 - inks[x / 8][c]);
  std::vector<uint8_t> j = EncodeRaw(w, h, JCS_CMYK, 4, s, true);
  TBitmap dst;
  LoadJPEGMemory(j.data(), j.size(), dst);
  // As B | G << 8 | R << 16.
  const uint32_t want[4] = {0x0000FFFFu /*cyan*/, 0x00FF00FFu /*magenta*/, 0x00FFFF00u /*yellow*/, 0};
  for (int block = 0; block < 4; ++block) {
    uint32_t p = dst.PixelBGRA(block * 8 + 4, 4);
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(int((p >> (8 * c)) & 0xFF), int((want[block] >> (8 * c)) & 0xFF), 3) << "block " << block;
    EXPECT_EQ(p >> 24, 0u);
  }
}

TEST(JpegBadInput, DamagedTruncatedAndMissingFilesRaiseAndKeepTheTarget) {
  TempDir dir;
  TBitmap src;
  FillSmooth32(src, 80, 60);
  const std::vector<uint8_t> good = SaveJPEGMemory(src, 90);
  TBitmap dst, before;
  Preload(dst);
  Preload(before);
  auto expectRefused = [&](const std::vector<uint8_t>& data, const std::string& what) {
    SCOPED_TRACE(what);
    WriteFile(dir / "bad.jpg", data);
    EXPECT_THROW(LoadJPEGFile(dir / "bad.jpg", dst), EInvalidGraphic);
    EXPECT_TRUE(SameImage(dst, before));
  };
  expectRefused({}, "empty");
  expectRefused({0xFF, 0xD8}, "only the start marker");
  expectRefused({'G', 'I', 'F', '8', '9', 'a', 0, 0}, "not a JPEG");
  for (size_t cut : {size_t(20), good.size() / 3, good.size() / 2, good.size() - 40})
    expectRefused(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), "cut at " + std::to_string(cut));
  std::vector<uint8_t> zeroHeight = good;
  size_t sof = SofHeightOffset(zeroHeight);
  ASSERT_NE(sof, 0u);
  zeroHeight[sof] = zeroHeight[sof + 1] = 0;
  expectRefused(zeroHeight, "height 0");
  std::vector<uint8_t> noTables = good;
  for (size_t i = 2; i + 1 < noTables.size(); ++i)
    if (noTables[i] == 0xFF && noTables[i + 1] == 0xDB) noTables[i + 1] = 0xEE;  // quantization tables -> APP14
  expectRefused(noTables, "quantization tables removed");

  // An empty target is decoded into directly; when the file breaks off
  // halfway it is made empty again.
  TBitmap empty;
  std::vector<uint8_t> half(good.begin(), good.begin() + long(good.size() / 2));
  EXPECT_THROW(LoadJPEGMemory(half.data(), half.size(), empty), EInvalidGraphic);
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.PixelFormat(), pf24bit);

  EXPECT_THROW(LoadJPEGFile(dir / "missing.jpg", dst), EInOutError);
  EXPECT_TRUE(SameImage(dst, before));
}

TEST(JpegBadInput, OversizedHeaderIsRefusedBeforeAllocating) {
  TBitmap src;
  FillSmooth32(src, 16, 16);
  std::vector<uint8_t> j = SaveJPEGMemory(src, 90);
  size_t sof = SofHeightOffset(j);
  ASSERT_NE(sof, 0u);
  // 60000 x 60000 (the largest a JPEG can say is 65500).
  j[sof] = 0xEA, j[sof + 1] = 0x60, j[sof + 2] = 0xEA, j[sof + 3] = 0x60;
  TBitmap dst, before;
  Preload(dst);
  Preload(before);
  try {
    LoadJPEGMemory(j.data(), j.size(), dst);
    FAIL() << "accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeMessage(60000, 60000));
  }
  EXPECT_TRUE(SameImage(dst, before));
}

TEST(JpegBadInput, SavingNothingOrNowhereRaises) {
  TBitmap empty;
  EXPECT_THROW(SaveJPEGMemory(empty, 75), EInvalidGraphic);
  TBitmap src;
  FillSmooth32(src, 4, 4);
  EXPECT_THROW(SaveJPEGFile("/nonexistent-folder/a.jpg", src, 75), EInOutError);
}
