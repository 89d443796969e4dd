// Helpers of the image input/output tests: temporary folders, files, test
// bitmaps and the message CheckImageSize gives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace kwtest {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.  Path() ends with '/'.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadFile(const std::string& path);

// Deterministic pseudo-random bytes.
class Rng {
 public:
  explicit Rng(uint32_t seed) : s_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
  }
  uint8_t Byte() { return uint8_t(Next() >> 24); }

 private:
  uint32_t s_;
};

// A pf32bit bitmap of random pixels (A random too).
void FillRandom32(TBitmap& b, int w, int h, uint32_t seed);
// A pf32bit bitmap with smooth gradients (for lossy codecs).
void FillSmooth32(TBitmap& b, int w, int h);
// A 24-bit BMP file with a pattern that tells every pixel apart; used as the
// "image the caller already holds" in failure tests.
std::vector<uint8_t> SampleBMP(int w, int h);
// True when both bitmaps have the same size, format and pixels.
bool SameImage(const TBitmap& a, const TBitmap& b);

// The message CheckImageSize raises for w x h.
std::string TooLargeMessage(int64_t w, int64_t h);

void Put32LE(std::vector<uint8_t>& v, size_t at, uint32_t x);
void Put32BE(std::vector<uint8_t>& v, size_t at, uint32_t x);
void Put16BE(std::vector<uint8_t>& v, size_t at, uint16_t x);

}  // namespace kwtest
