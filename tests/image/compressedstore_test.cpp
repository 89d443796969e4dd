// The compressed image store: block layout, delta coding, damaged data, and
// the built-in logo.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "image/compressedstore.h"
#include "image_test_util.h"

using namespace imgtest;

namespace {

// Inflates a block's zlib stream with zlib itself (not through the store).
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& block) {
  const uint32_t n = block[0] | (block[1] << 8) | (block[2] << 16) | (uint32_t(block[3]) << 24);
  EXPECT_EQ(size_t(n), block.size() - 4);
  std::vector<uint8_t> out(64 << 20);
  uLongf outLen = uLongf(out.size());
  EXPECT_EQ(uncompress(out.data(), &outLen, block.data() + 4, uLong(n)), Z_OK);
  out.resize(outLen);
  return out;
}

void Put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// A 1-bit 8 x 2 BMP: top row 10110001, bottom row 01001110; palette black, white.
std::vector<uint8_t> OneBitBmp() {
  std::vector<uint8_t> f(14 + 40 + 8 + 8, 0);
  f[0] = 'B';
  f[1] = 'M';
  Put32(f, 2, uint32_t(f.size()));
  Put32(f, 10, 14 + 40 + 8);
  Put32(f, 14, 40);
  Put32(f, 18, 8);
  Put32(f, 22, 2);
  Put16(f, 26, 1);
  Put16(f, 28, 1);
  Put32(f, 46, 2);
  f[54 + 4] = f[54 + 5] = f[54 + 6] = 255;  // entry 1 white
  f[62] = 0x4E;  // bottom row first
  f[66] = 0xB1;
  return f;
}

class StoreTest : public ImageTest {};

TEST_F(StoreTest, DeltaDistanceByBitCount) {
  EXPECT_EQ(DeltaDistance(1), 1);
  EXPECT_EQ(DeltaDistance(4), 1);
  EXPECT_EQ(DeltaDistance(8), 1);
  EXPECT_EQ(DeltaDistance(16), 2);
  EXPECT_EQ(DeltaDistance(24), 3);
  EXPECT_EQ(DeltaDistance(32), 4);
  EXPECT_EQ(DeltaDistance(48), 0);
  EXPECT_EQ(DeltaDistance(64), 0);
}

TEST_F(StoreTest, DeltaCodingIsTheByteDifference) {
  std::vector<uint8_t> v{10, 20, 5, 250, 3, 3, 9};
  const auto orig = v;
  DeltaEncode(v, 2);
  EXPECT_EQ(v, (std::vector<uint8_t>{10, 20, uint8_t(5 - 10), uint8_t(250 - 20), uint8_t(3 - 5),
                                     uint8_t(3 - 250), uint8_t(9 - 3)}));
  DeltaDecode(v, 2);
  EXPECT_EQ(v, orig);
  DeltaEncode(v, 0);
  EXPECT_EQ(v, orig);
}

TEST_F(StoreTest, Logo24BitLayout) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(320, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320 * 3; ++x) b.ScanLine(y)[x] = uint8_t(x + 3 * y);
  const auto block = CompressBitmap(b);
  EXPECT_LT(block.size(), 230454u / 10);  // gradients compress well after delta coding
  EXPECT_EQ(block[4], 0x78);                // zlib header of the default level
  EXPECT_EQ(block[5], 0x9C);
  auto raw = Inflate(block);
  ASSERT_EQ(raw.size(), 1u + 230454u);
  EXPECT_EQ(raw[0], 3);
  std::vector<uint8_t> file(raw.begin() + 1, raw.end());
  DeltaDecode(file, 3);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(file, b.SaveToMemory());

  TBitmap back;
  ASSERT_TRUE(LoadCompressedBitmap(block.data(), block.size(), back));
  EXPECT_EQ(back.PixelFormat(), pf24bit);
  EXPECT_EQ(back.Width(), 320);
  EXPECT_EQ(Pixels(back), Pixels(b));
}

TEST_F(StoreTest, OneBitFileIsCodedByteByByte) {
  const auto bmp = OneBitBmp();
  const auto block = CompressBMPFile(bmp);
  auto raw = Inflate(block);
  EXPECT_EQ(raw[0], 1);
  std::vector<uint8_t> expected = bmp;
  DeltaEncode(expected, 1);
  EXPECT_EQ(std::vector<uint8_t>(raw.begin() + 1, raw.end()), expected);
  std::vector<uint8_t> file;
  ASSERT_TRUE(DecompressBMPFile(block.data(), block.size(), file));
  EXPECT_EQ(file, bmp);
  TBitmap b;
  ASSERT_TRUE(LoadCompressedBitmap(block.data(), block.size(), b));
  EXPECT_EQ(b.Width(), 8);
  EXPECT_EQ(b.PixelBGRA(0, 0) & 0xFFFFFF, 0xFFFFFFu);  // 1
  EXPECT_EQ(b.PixelBGRA(1, 0) & 0xFFFFFF, 0u);         // 0
  EXPECT_EQ(b.PixelBGRA(1, 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(StoreTest, RoundTripOfEightAndThirtyTwoBits) {
  TBitmap b32;
  FillRandom(b32, 33, 21, 3, true);
  auto block = CompressBitmap(b32);
  EXPECT_EQ(Inflate(block)[0], 4);
  TBitmap back;
  ASSERT_TRUE(LoadCompressedBitmap(block.data(), block.size(), back));
  EXPECT_EQ(back.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixels(back), Pixels(b32));

  TBitmap b8;
  b8.SetPixelFormat(pf8bit);
  b8.SetSize(17, 9);
  b8.SetPalette(TBitmap::GrayPalette());
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 17; ++x) b8.ScanLine(y)[x] = uint8_t(x * y);
  block = CompressBitmap(b8);
  EXPECT_EQ(Inflate(block)[0], 1);
  TBitmap back8;
  ASSERT_TRUE(LoadCompressedBitmap(block.data(), block.size(), back8));
  EXPECT_EQ(back8.PixelFormat(), pf8bit);
  for (int y = 0; y < 9; ++y) EXPECT_EQ(std::memcmp(back8.ScanLine(y), b8.ScanLine(y), 17), 0);
}

TEST_F(StoreTest, NoDataAndDamagedData) {
  TBitmap keep;
  FillRandom(keep, 3, 3, 1);
  const auto before = Pixels(keep);

  for (int32_t n : {0, -5}) {
    std::vector<uint8_t> block(4);
    Put32(block, 0, uint32_t(n));
    EXPECT_FALSE(LoadCompressedBitmap(block.data(), block.size(), keep));
    EXPECT_EQ(Pixels(keep), before);
  }

  TBitmap b;
  FillRandom(b, 20, 20, 2);
  const auto good = CompressBitmap(b);
  auto expectBad = [&](std::vector<uint8_t> block, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_THROW(LoadCompressedBitmap(block.data(), block.size(), keep), ECompressedData);
    EXPECT_EQ(Pixels(keep), before);
  };
  expectBad({1, 2}, "shorter than the length field");
  auto cut = good;
  cut.resize(good.size() - 10);
  expectBad(cut, "length field beyond the data");
  auto cutStream = std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2));
  Put32(cutStream, 0, uint32_t(cutStream.size() - 4));
  expectBad(cutStream, "stream ends early");
  auto flipped = good;
  flipped[good.size() / 2] ^= 0x55;
  flipped[good.size() - 2] ^= 0x55;  // Adler-32 too
  expectBad(flipped, "damaged deflate data");
  auto bigD = std::vector<uint8_t>(4);
  {
    const uint8_t payload[] = {9, 'B', 'M'};
    uLongf len = compressBound(3);
    std::vector<uint8_t> z(len);
    compress(z.data(), &len, payload, 3);
    z.resize(len);
    Put32(bigD, 0, uint32_t(len));
    bigD.insert(bigD.end(), z.begin(), z.end());
  }
  expectBad(bigD, "delta distance above 4");
  // A stream that inflates fine but is no bitmap.
  std::vector<uint8_t> notBmp(4);
  {
    const uint8_t payload[] = {0, 'n', 'o', 'p', 'e'};
    uLongf len = compressBound(5);
    std::vector<uint8_t> z(len);
    compress(z.data(), &len, payload, 5);
    z.resize(len);
    Put32(notBmp, 0, uint32_t(len));
    notBmp.insert(notBmp.end(), z.begin(), z.end());
  }
  EXPECT_THROW(LoadCompressedBitmap(notBmp.data(), notBmp.size(), keep), Exception);
  EXPECT_EQ(Pixels(keep), before);

  std::vector<uint8_t> tiny{'B', 'M', 0};
  EXPECT_THROW(CompressBMPFile(tiny), ECompressedData);
}

TEST_F(StoreTest, BuiltInLogo) {
  const auto& block = LogoData();
  ASSERT_GT(block.size(), 4u);
  auto raw = Inflate(block);
  ASSERT_EQ(raw.size(), 1u + 230454u);  // 24-bit 320 x 240
  EXPECT_EQ(raw[0], 3);
  auto logo = LoadLogo();
  EXPECT_EQ(logo->Width(), 320);
  EXPECT_EQ(logo->Height(), 240);
  EXPECT_EQ(logo->PixelFormat(), pf32bit);
  EXPECT_FALSE(logo->HasAlpha);
  // A picture, not a blank: many colours.
  std::vector<uint32_t> colours = Pixels(*logo);
  std::sort(colours.begin(), colours.end());
  EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 500);
}

}  // namespace
