// PNG module: the exchange record, every colour type and bit depth, round
// trips, and damaged, truncated and oversized files.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <filesystem>

#include "imageio/kwpng.h"
#include "imageio/pngencode.h"
#include "imageio_testutil.h"
#include "platform/types.h"

using namespace kwtest;

namespace {

// --- A plain libpng encoder for test files of any colour type -------------

struct RawPNG {
  int width = 0, height = 0, colorType = 0, depth = 8;
  bool interlace = false;
  std::vector<std::vector<uint8_t>> rows;  // packed as PNG stores them
  std::vector<png_color> palette;
  std::vector<uint8_t> paletteAlpha;  // tRNS of a palette image
  bool hasTrnsColor = false;
  png_color_16 trnsColor{};
};

void AppendBytes(png_structp png, png_bytep data, size_t len) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + len);
}
void NoFlush(png_structp) {}

bool EncodeInto(const RawPNG& r, std::vector<uint8_t>& out, png_structp png, png_infop info,
                std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, png_uint_32(r.width), png_uint_32(r.height), r.depth, r.colorType,
               r.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!r.palette.empty()) png_set_PLTE(png, info, r.palette.data(), int(r.palette.size()));
  if (!r.paletteAlpha.empty())
    png_set_tRNS(png, info, r.paletteAlpha.data(), int(r.paletteAlpha.size()), nullptr);
  if (r.hasTrnsColor) png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16*>(&r.trnsColor));
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  return true;
}

std::vector<uint8_t> Encode(const RawPNG& r) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (auto& row : r.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  bool ok = EncodeInto(r, out, png, info, rows);
  png_destroy_write_struct(&png, &info);
  EXPECT_TRUE(ok);
  return out;
}

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // palette
  }
}

// Raw sample of channel c at (x, y): any value of the depth.
unsigned Sample(int x, int y, int c, int depth) {
  unsigned k = unsigned(x * 3 + y * 5 + c * 7 + x * y) % 256;
  if (depth == 16) return k * 257;
  return k % (1u << depth);
}

// Builds the rows of an image whose samples are Sample().
void FillRows(RawPNG& r) {
  const int ch = Channels(r.colorType);
  const size_t rowBytes = (size_t(r.width) * size_t(ch) * size_t(r.depth) + 7) / 8;
  r.rows.assign(size_t(r.height), std::vector<uint8_t>(rowBytes, 0));
  for (int y = 0; y < r.height; ++y) {
    auto& row = r.rows[size_t(y)];
    size_t bit = 0;
    for (int x = 0; x < r.width; ++x)
      for (int c = 0; c < ch; ++c) {
        unsigned s = Sample(x, y, c, r.depth);
        if (r.depth == 16) {
          row[bit / 8] = uint8_t(s >> 8);
          row[bit / 8 + 1] = uint8_t(s);
        } else if (r.depth == 8) {
          row[bit / 8] = uint8_t(s);
        } else {
          row[bit / 8] |= uint8_t(s << (8 - r.depth - bit % 8));
        }
        bit += size_t(r.depth);
      }
  }
}

// The 8-bit value the reader must deliver for a raw sample.
uint8_t To8(unsigned s, int depth) {
  if (depth == 16) return uint8_t(s / 257);
  return uint8_t(s * 255 / ((1u << depth) - 1));
}

// Expected B, G, R, A of (x, y).
uint32_t Expected(const RawPNG& r, int x, int y, bool alpha) {
  unsigned b, g, rd, a = alpha ? 255 : 0;
  const int d = r.depth;
  switch (r.colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
      unsigned i = Sample(x, y, 0, d);
      const png_color& p = r.palette.at(i);
      rd = p.red, g = p.green, b = p.blue;
      if (alpha) a = i < r.paletteAlpha.size() ? r.paletteAlpha[i] : 255;
      break;
    }
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_GRAY_ALPHA: {
      unsigned s = Sample(x, y, 0, d);
      rd = g = b = To8(s, d);
      if (r.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) a = To8(Sample(x, y, 1, d), d);
      else if (r.hasTrnsColor) a = s == r.trnsColor.gray ? 0 : 255;
      break;
    }
    default: {
      unsigned s0 = Sample(x, y, 0, d), s1 = Sample(x, y, 1, d), s2 = Sample(x, y, 2, d);
      rd = To8(s0, d), g = To8(s1, d), b = To8(s2, d);
      if (r.colorType == PNG_COLOR_TYPE_RGB_ALPHA) a = To8(Sample(x, y, 3, d), d);
      else if (r.hasTrnsColor)
        a = (s0 == r.trnsColor.red && s1 == r.trnsColor.green && s2 == r.trnsColor.blue) ? 0 : 255;
      break;
    }
  }
  return b | (g << 8) | (rd << 16) | (a << 24);
}

struct Case {
  int colorType, depth;
  bool trns, interlace;
};

std::string Describe(const Case& c) {
  return "type " + std::to_string(c.colorType) + " depth " + std::to_string(c.depth) +
         (c.trns ? " tRNS" : "") + (c.interlace ? " interlaced" : "");
}

RawPNG MakeCase(const Case& c, int w, int h) {
  RawPNG r;
  r.width = w, r.height = h, r.colorType = c.colorType, r.depth = c.depth, r.interlace = c.interlace;
  FillRows(r);
  if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
    for (unsigned i = 0; i < (1u << c.depth); ++i)
      r.palette.push_back(png_color{uint8_t(i * 13), uint8_t(i * 29 + 1), uint8_t(i * 51 + 2)});
    if (c.trns)
      for (unsigned i = 0; i < std::max(1u, (1u << c.depth) / 2); ++i) r.paletteAlpha.push_back(uint8_t(i * 37));
  } else if (c.trns) {
    r.hasTrnsColor = true;
    // The colour of (2, 1), so that some pixels are transparent.
    r.trnsColor.gray = png_uint_16(Sample(2, 1, 0, c.depth));
    r.trnsColor.red = png_uint_16(Sample(2, 1, 0, c.depth));
    r.trnsColor.green = png_uint_16(Sample(2, 1, 1, c.depth));
    r.trnsColor.blue = png_uint_16(Sample(2, 1, 2, c.depth));
  }
  return r;
}

// Keeps an image in dst that failure tests check is still there.
void Preload(TBitmap& dst) {
  std::vector<uint8_t> bmp = SampleBMP(5, 4);
  dst.LoadFromMemory(bmp.data(), bmp.size());
}

// Replaces a chunk's data bytes and fixes its CRC.  at = offset of the
// chunk's length field.
void FixCrc(std::vector<uint8_t>& png, size_t at) {
  uint32_t len = uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 | png[at + 3];
  uLong crc = crc32(0, png.data() + at + 4, uInt(len + 4));
  Put32BE(png, at + 8 + len, uint32_t(crc));
}

}  // namespace

TEST(PngExchange, RecordLayoutIsPointerSized) {
  EXPECT_EQ(offsetof(TPNGExchange, Width), 0u);
  EXPECT_EQ(offsetof(TPNGExchange, Height), 4u);
  EXPECT_EQ(offsetof(TPNGExchange, PixelFormat), 8u);
  EXPECT_EQ(sizeof(TPNGExchange::Callback), sizeof(void*));
  EXPECT_EQ(sizeof(TPNGExchange::Buffer), sizeof(void*));
}

namespace {
TPNGExchange* g_record = nullptr;
std::vector<uint8_t>* g_buffer = nullptr;
int g_calls = 0;
TPNGExchange g_seenAtCallback{};
void RecordCallback() {
  ++g_calls;
  g_seenAtCallback = *g_record;
  g_buffer->assign(size_t(g_record->Width) * size_t(g_record->Height) * 4, 0xEE);
  g_record->Buffer = g_buffer->data();
}
void NullBufferCallback() { ++g_calls; }
}  // namespace

TEST(PngExchange, LoadFillsRecordThenCallsBackThenWritesBottomUp) {
  TempDir dir;
  TBitmap src;
  FillRandom32(src, 13, 7, 1);
  SavePNGFile(dir / "a.png", src, true);

  TPNGExchange rec{};
  std::vector<uint8_t> buf;
  g_record = &rec, g_buffer = &buf, g_calls = 0;
  rec.Callback = RecordCallback;
  EXPECT_EQ(LoadPNGData((dir / "a.png").c_str(), &rec), 1);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(g_seenAtCallback.Width, 13);
  EXPECT_EQ(g_seenAtCallback.Height, 7);
  EXPECT_EQ(g_seenAtCallback.PixelFormat, 7);
  // The buffer starts with the bottom row and goes upwards.
  for (int y = 0; y < 7; ++y)
    EXPECT_EQ(0, std::memcmp(buf.data() + size_t(6 - y) * 13 * 4, src.ScanLine(y), 13 * 4)) << "row " << y;
}

TEST(PngExchange, CallbackWithoutBufferIsAnError) {
  TempDir dir;
  TBitmap src;
  FillRandom32(src, 4, 4, 2);
  SavePNGFile(dir / "a.png", src, false);
  TPNGExchange rec{};
  rec.Callback = NullBufferCallback;
  g_record = &rec, g_calls = 0;
  EXPECT_THROW(LoadPNGData((dir / "a.png").c_str(), &rec), EInvalidGraphic);
  EXPECT_EQ(g_calls, 1);
  rec.Callback = nullptr;
  EXPECT_THROW(LoadPNGData((dir / "a.png").c_str(), &rec), EInvalidGraphic);
  EXPECT_THROW(LoadPNGData((dir / "a.png").c_str(), nullptr), EInvalidGraphic);
}

TEST(PngExchange, SaveReadsBottomUpBufferAndWritesRgbOrRgba) {
  TempDir dir;
  const int w = 6, h = 3;
  std::vector<uint8_t> buf(size_t(w) * h * 4);
  Rng rng(3);
  for (auto& b : buf) b = rng.Byte();
  for (uint8_t fmt : {uint8_t(6), uint8_t(7)}) {
    TPNGExchange rec{};
    rec.Width = w, rec.Height = h, rec.PixelFormat = fmt, rec.Buffer = buf.data();
    std::string name = dir / ("s" + std::to_string(fmt) + ".png");
    EXPECT_EQ(SavePNGData(name.c_str(), &rec), 1);
    std::vector<uint8_t> file = ReadFile(name);
    EXPECT_EQ(file.at(24), 8) << "bit depth";
    EXPECT_EQ(file.at(25), fmt == 7 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB);
    TBitmap back;
    bool alpha = false;
    LoadPNGFile(name, back, alpha);
    EXPECT_EQ(alpha, fmt == 7);
    ASSERT_EQ(back.Width(), w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = buf.data() + (size_t(h - 1 - y) * w + size_t(x)) * 4;
        const uint8_t* q = back.ScanLine(y) + x * 4;
        EXPECT_EQ(q[0], p[0]);
        EXPECT_EQ(q[1], p[1]);
        EXPECT_EQ(q[2], p[2]);
        EXPECT_EQ(q[3], fmt == 7 ? p[3] : 0);
      }
  }
}

TEST(PngExchange, SaveRefusesBadRecords) {
  TempDir dir;
  std::vector<uint8_t> buf(16);
  TPNGExchange rec{};
  rec.Width = 2, rec.Height = 2, rec.PixelFormat = 5, rec.Buffer = buf.data();
  EXPECT_THROW(SavePNGData((dir / "a.png").c_str(), &rec), EInvalidGraphic);
  rec.PixelFormat = 6, rec.Buffer = nullptr;
  EXPECT_THROW(SavePNGData((dir / "a.png").c_str(), &rec), EInvalidGraphic);
  rec.Buffer = buf.data(), rec.Width = 0;
  EXPECT_THROW(SavePNGData((dir / "a.png").c_str(), &rec), EInvalidGraphic);
  rec.Width = 100000, rec.Height = 100000;
  try {
    SavePNGData((dir / "a.png").c_str(), &rec);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeMessage(100000, 100000));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "a.png"));
}

TEST(PngFiles, RoundTripKeepsEveryByte) {
  TempDir dir;
  for (int w : {1, 3, 64, 257})
    for (bool alpha : {false, true}) {
      TBitmap src, back;
      FillRandom32(src, w, 5, uint32_t(w));
      SavePNGFile(dir / "r.png", src, alpha);
      bool had = !alpha;
      LoadPNGFile(dir / "r.png", back, had);
      EXPECT_EQ(had, alpha);
      ASSERT_EQ(back.PixelFormat(), pf32bit);
      ASSERT_EQ(back.Width(), w);
      ASSERT_EQ(back.Height(), 5);
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < w; ++x) {
          uint32_t s = src.Row32(y)[x], b = back.Row32(y)[x];
          EXPECT_EQ(b, alpha ? s : (s & 0x00FFFFFFu)) << w << " " << x << "," << y;
        }
    }
}

TEST(PngFiles, SavesOtherPixelFormatsAndReplacesExistingFile) {
  TempDir dir;
  std::vector<uint8_t> bmp = SampleBMP(9, 4);
  TBitmap src24;
  src24.LoadFromMemory(bmp.data(), bmp.size());
  ASSERT_EQ(src24.PixelFormat(), pf24bit);
  WriteFile(dir / "x.png", {1, 2, 3});
  SavePNGFile(dir / "x.png", src24, false);
  TBitmap back;
  bool alpha = true;
  LoadPNGFile(dir / "x.png", back, alpha);
  EXPECT_FALSE(alpha);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(back.PixelBGRA(x, y), src24.PixelBGRA(x, y));

  TBitmap gray;
  gray.SetPixelFormat(pf8bit);
  gray.SetPalette(TBitmap::GrayPalette());
  gray.SetSize(3, 2);
  gray.ScanLine(0)[1] = 200;
  SavePNGFile(dir / "g.png", gray, false);
  LoadPNGFile(dir / "g.png", back, alpha);
  EXPECT_EQ(back.PixelBGRA(1, 0), 0x00C8C8C8u);
  EXPECT_EQ(back.PixelBGRA(0, 0), 0u);
  // No temporary files are left behind.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path())) (void)e, ++files;
  EXPECT_EQ(files, 2);
}

TEST(PngFiles, ReadsEveryColourTypeAndDepthAs32Bit) {
  const std::vector<Case> cases = {
      {PNG_COLOR_TYPE_GRAY, 1, false, false},  {PNG_COLOR_TYPE_GRAY, 2, false, true},
      {PNG_COLOR_TYPE_GRAY, 4, true, false},   {PNG_COLOR_TYPE_GRAY, 8, false, false},
      {PNG_COLOR_TYPE_GRAY, 8, true, true},    {PNG_COLOR_TYPE_GRAY, 16, false, false},
      {PNG_COLOR_TYPE_GRAY, 16, true, false},  {PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false},
      {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, true}, {PNG_COLOR_TYPE_RGB, 8, false, false},
      {PNG_COLOR_TYPE_RGB, 8, true, false},    {PNG_COLOR_TYPE_RGB, 16, false, true},
      {PNG_COLOR_TYPE_RGB, 16, true, false},   {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, true},
      {PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false}, {PNG_COLOR_TYPE_PALETTE, 1, false, false},
      {PNG_COLOR_TYPE_PALETTE, 2, true, false}, {PNG_COLOR_TYPE_PALETTE, 4, false, true},
      {PNG_COLOR_TYPE_PALETTE, 8, false, false}, {PNG_COLOR_TYPE_PALETTE, 8, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c));
    RawPNG raw = MakeCase(c, 19, 11);
    std::vector<uint8_t> file = Encode(raw);
    TBitmap dst;
    bool alpha = false;
    LoadPNGMemory(file.data(), file.size(), dst, alpha);
    const bool wantAlpha = (c.colorType & PNG_COLOR_MASK_ALPHA) != 0 || c.trns;
    EXPECT_EQ(alpha, wantAlpha);
    ASSERT_EQ(dst.PixelFormat(), pf32bit);
    ASSERT_EQ(dst.Width(), 19);
    ASSERT_EQ(dst.Height(), 11);
    int mismatches = 0;
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 19; ++x)
        if (dst.Row32(y)[x] != Expected(raw, x, y, wantAlpha) && ++mismatches < 4)
          ADD_FAILURE() << x << "," << y << ": " << std::hex << dst.Row32(y)[x] << " want "
                        << Expected(raw, x, y, wantAlpha);
    EXPECT_EQ(mismatches, 0);
  }
}

TEST(PngBadInput, DamagedTruncatedAndMissingFilesRaiseAndKeepTheTarget) {
  TempDir dir;
  TBitmap src;
  FillRandom32(src, 40, 30, 9);
  SavePNGFile(dir / "ok.png", src, true);
  const std::vector<uint8_t> good = ReadFile(dir / "ok.png");

  TBitmap dst, before;
  Preload(dst);
  Preload(before);
  bool alpha = false;
  auto expectRefused = [&](const std::vector<uint8_t>& data, const std::string& what) {
    SCOPED_TRACE(what);
    WriteFile(dir / "bad.png", data);
    EXPECT_THROW(LoadPNGFile(dir / "bad.png", dst, alpha), EInvalidGraphic);
    EXPECT_TRUE(SameImage(dst, before));
    EXPECT_THROW(LoadPNGMemory(data.data(), data.size(), dst, alpha), EInvalidGraphic);
    EXPECT_TRUE(SameImage(dst, before));
  };
  expectRefused({}, "empty");
  expectRefused({'n', 'o', 't', ' ', 'p', 'n', 'g', '!', 0, 0}, "not a PNG");
  for (size_t cut : {size_t(7), size_t(8), size_t(20), size_t(33), good.size() / 2, good.size() - 13,
                     good.size() - 1})
    expectRefused(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), "cut at " + std::to_string(cut));
  std::vector<uint8_t> crc = good;
  crc[good.size() / 2] ^= 0x40;  // inside the image data: CRC mismatch
  expectRefused(crc, "flipped bit");
  std::vector<uint8_t> depth = good;
  depth[24] = 3;  // bit depth 3 does not exist
  FixCrc(depth, 8);
  expectRefused(depth, "bad bit depth");

  // An empty target is decoded into directly; when the file breaks off
  // halfway it is made empty again.
  TBitmap empty;
  WriteFile(dir / "half.png", std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)));
  EXPECT_THROW(LoadPNGFile(dir / "half.png", empty, alpha), EInvalidGraphic);
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.PixelFormat(), pf24bit);

  EXPECT_THROW(LoadPNGFile(dir / "missing.png", dst, alpha), EInOutError);
  EXPECT_THROW(LoadPNGFile(dir.Path(), dst, alpha), EInOutError);
  EXPECT_TRUE(SameImage(dst, before));
}

TEST(PngBadInput, OversizedHeaderIsRefusedBeforeAllocating) {
  TempDir dir;
  TBitmap src;
  FillRandom32(src, 2, 2, 4);
  SavePNGFile(dir / "ok.png", src, false);
  std::vector<uint8_t> file = ReadFile(dir / "ok.png");
  Put32BE(file, 16, 100000);
  Put32BE(file, 20, 100000);
  FixCrc(file, 8);
  TBitmap dst, before;
  Preload(dst);
  Preload(before);
  bool alpha = false;
  try {
    LoadPNGMemory(file.data(), file.size(), dst, alpha);
    FAIL() << "accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), TooLargeMessage(100000, 100000));
  }
  EXPECT_TRUE(SameImage(dst, before));
}

TEST(PngBadInput, UnwritableTargetRaisesInOutError) {
  TBitmap src;
  FillRandom32(src, 2, 2, 4);
  EXPECT_THROW(SavePNGFile("/nonexistent-folder/x.png", src, false), EInOutError);
  TBitmap empty;
  TempDir dir;
  WriteFile(dir / "keep.png", {1, 2, 3});
  EXPECT_THROW(SavePNGFile(dir / "keep.png", empty, false), EInvalidGraphic);
  EXPECT_EQ(ReadFile(dir / "keep.png"), (std::vector<uint8_t>{1, 2, 3}));
}

// Parts compressed on their own and joined must inflate, as one stream, to
// the parts one after another, whatever bit the last block of each part
// ends on (many small parts of varied content reach every case).
TEST(PngEncode, JoinedPartsInflateToTheWholeData) {
  Rng rng(17);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::vector<uint8_t>> parts(1 + round % 5);
    std::vector<uint8_t> whole;
    for (auto& p : parts) {
      p.resize(round < 30 ? rng.Byte() * 7 : 300000 + rng.Byte() * 1000);
      const int kind = rng.Byte() % 3;  // noise, few symbols, runs
      for (size_t i = 0; i < p.size(); ++i)
        p[i] = kind == 0 ? rng.Byte() : kind == 1 ? uint8_t(rng.Byte() % 4) : uint8_t('a' + (i / 97) % 3);
      whole.insert(whole.end(), p.begin(), p.end());
    }
    std::vector<uint8_t> joined = kwpng::detail::JoinedDeflate(parts, 4);
    std::vector<uint8_t> out(whole.size() + 16);
    z_stream z{};
    ASSERT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = joined.data();
    z.avail_in = uInt(joined.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END) << round;
    EXPECT_EQ(z.avail_in, 0u) << round;
    out.resize(z.total_out);
    inflateEnd(&z);
    EXPECT_EQ(out, whole) << round;
  }
}
