#include "imageio_testutil.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/types.h"

namespace kwtest {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kwimageio-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(buf.data()) + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void FillRandom32(TBitmap& b, int w, int h, uint32_t seed) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  Rng r(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w * 4; ++x) row[x] = r.Byte();
  }
}

void FillSmooth32(TBitmap& b, int w, int h) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[x * 4] = uint8_t(x * 255 / (w > 1 ? w - 1 : 1));
      row[x * 4 + 1] = uint8_t(y * 255 / (h > 1 ? h - 1 : 1));
      row[x * 4 + 2] = uint8_t(128 + (x - y) / 4);
      row[x * 4 + 3] = 0;
    }
  }
}

std::vector<uint8_t> SampleBMP(int w, int h) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      row[x * 3] = uint8_t(x * 7 + 1);
      row[x * 3 + 1] = uint8_t(y * 11 + 2);
      row[x * 3 + 2] = uint8_t(x * y + 3);
    }
  }
  return b.SaveToMemory();
}

bool SameImage(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelBGRA(x, y) != b.PixelBGRA(x, y)) return false;
  return true;
}

std::string TooLargeMessage(int64_t w, int64_t h) {
  try {
    CheckImageSize(w, h);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "(no error)";
}

void Put32LE(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.at(at + size_t(i)) = uint8_t(x >> (8 * i));
}
void Put32BE(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.at(at + size_t(i)) = uint8_t(x >> (8 * (3 - i)));
}
void Put16BE(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v.at(at) = uint8_t(x >> 8);
  v.at(at + 1) = uint8_t(x);
}

}  // namespace kwtest
