// Loading and saving a 6000 x 4000 JPEG and PNG through our functions,
// against the bare codec library doing the same work (file to 32-bit B, G,
// R, A rows and back).  The difference is our overhead: reading the whole
// file first, decoding into a temporary buffer before handing it over, and
// writing through a temporary file.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "imageio/jpegio.h"
#include "imageio/kwpng.h"
#include "platform/bitmap.h"

namespace {

constexpr int kW = 6000, kH = 4000;

// A photo-like picture: gradients with a little noise.
const TBitmap& Picture() {
  static TBitmap* b = [] {
    auto* p = new TBitmap;
    p->SetPixelFormat(pf32bit);
    p->SetSize(kW, kH);
    uint32_t s = 12345;
    for (int y = 0; y < kH; ++y) {
      uint8_t* row = p->ScanLine(y);
      for (int x = 0; x < kW; ++x) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        row[x * 4] = uint8_t(x * 255 / kW + (s & 7));
        row[x * 4 + 1] = uint8_t(y * 255 / kH + ((s >> 3) & 7));
        row[x * 4 + 2] = uint8_t(((x / 16) ^ (y / 16)) + ((s >> 6) & 7));
        row[x * 4 + 3] = 0;
      }
    }
    return p;
  }();
  return *b;
}

std::string Dir() {
  static std::string d = [] {
    auto p = std::filesystem::temp_directory_path() / "kw_imageio_bench";
    std::filesystem::create_directories(p);
    return p.string() + "/";
  }();
  return d;
}

const std::string& JpegFile() {
  static std::string f = [] {
    std::string n = Dir() + "in.jpg";
    SaveJPEGFile(n, Picture(), 75);
    return n;
  }();
  return f;
}

const std::string& PngFile() {
  static std::string f = [] {
    std::string n = Dir() + "in.png";
    SavePNGFile(n, Picture(), false);
    return n;
  }();
  return f;
}

// ---- ours -----------------------------------------------------------------

void BM_JpegLoad_Ours(benchmark::State& st) {
  const std::string& f = JpegFile();
  for (auto _ : st) {
    TBitmap b;
    LoadJPEGFile(f, b);
    benchmark::DoNotOptimize(b.Bits());
  }
}

void BM_JpegSave_Ours(benchmark::State& st) {
  const TBitmap& p = Picture();
  for (auto _ : st) SaveJPEGFile(Dir() + "out_ours.jpg", p, 75);
}

void BM_PngLoad_Ours(benchmark::State& st) {
  const std::string& f = PngFile();
  for (auto _ : st) {
    TBitmap b;
    bool alpha = false;
    LoadPNGFile(f, b, alpha);
    benchmark::DoNotOptimize(b.Bits());
  }
}

void BM_PngSave_Ours(benchmark::State& st) {
  const TBitmap& p = Picture();
  for (auto _ : st) SavePNGFile(Dir() + "out_ours.png", p, false);
}

// ---- bare libraries ---------------------------------------------------------
// They decode into a buffer of the same kind as a bitmap's pixels (the
// platform's pixel memory, not cleared), so that only the codec work and
// the buffer are compared.

struct Pixels {
  explicit Pixels(size_t n) : p(static_cast<uint8_t*>(KWAllocatePixels(n))) {}
  ~Pixels() { KWFreePixels(p); }
  uint8_t* data() { return p; }
  uint8_t* p;
};

void BM_JpegLoad_Bare(benchmark::State& st) {
  const std::string& f = JpegFile();
  for (auto _ : st) {
    FILE* in = std::fopen(f.c_str(), "rb");
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_stdio_src(&c, in);
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&c);
    Pixels pixels(size_t(c.output_width) * c.output_height * 4);
    while (c.output_scanline < c.output_height) {
      JSAMPROW row = pixels.data() + size_t(c.output_scanline) * c.output_width * 4;
      jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    std::fclose(in);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BM_JpegSave_Bare(benchmark::State& st) {
  const TBitmap& p = Picture();
  for (auto _ : st) {
    FILE* out = std::fopen((Dir() + "out_bare.jpg").c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = kW;
    c.image_height = kH;
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(p.ScanLine(int(c.next_scanline)));
      jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
  }
}

void BM_PngLoad_Bare(benchmark::State& st) {
  const std::string& f = PngFile();
  for (auto _ : st) {
    FILE* in = std::fopen(f.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, in);
    png_read_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    const size_t w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    Pixels pixels(w * h * 4);
    std::vector<png_bytep> rows(h);
    for (size_t y = 0; y < h; ++y) rows[y] = pixels.data() + y * w * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BM_PngSave_Bare(benchmark::State& st) {
  const TBitmap& p = Picture();
  std::vector<png_bytep> rows(kH);
  for (int y = 0; y < kH; ++y) rows[size_t(y)] = const_cast<png_bytep>(p.ScanLine(y));
  for (auto _ : st) {
    FILE* out = std::fopen((Dir() + "out_bare.png").c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, kW, kH, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
  }
}

}  // namespace

BENCHMARK(BM_JpegLoad_Bare)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_JpegLoad_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_JpegSave_Bare)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_JpegSave_Ours)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PngLoad_Bare)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PngLoad_Ours)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PngSave_Bare)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PngSave_Ours)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
