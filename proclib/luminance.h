// Luminance of a pixel and the pixel-loop helpers the tone filters share.
//
// The luminance is defined in extended precision:
//   Y = 0.1140105 * B + 0.58701 * G + 0.2989875 * R   (long double)
// The pixel loops use an exact integer form instead: N = Y * 10^7 is the
// integer 1140105 B + 5870100 G + 2989875 R (at most 2 550 020 400, so it
// fits in 32 bits).  Rounding or truncating N / 10^7 agrees with the extended
// formula everywhere except where N / 10^7 lies exactly on a half (rounding)
// or on an integer (truncation); there the extended formula itself decides.
// The tests compare both on all 2^24 colours.
#pragma once

#include <cstdint>

#include "platform/sysutils.h"

namespace kwlib {

constexpr long double kLumB = 0.1140105L;
constexpr long double kLumG = 0.58701L;
constexpr long double kLumR = 0.2989875L;

// The defining formula.
inline long double Luminance(uint32_t b, uint32_t g, uint32_t r) {
  return kLumB * b + kLumG * g + kLumR * r;
}

constexpr uint32_t kLumNB = 1140105u;
constexpr uint32_t kLumNG = 5870100u;
constexpr uint32_t kLumNR = 2989875u;
constexpr uint32_t kLumScale = 10000000u;

inline uint32_t LumN(uint32_t pixel) {
  return kLumNB * (pixel & 0xFF) + kLumNG * ((pixel >> 8) & 0xFF) + kLumNR * ((pixel >> 16) & 0xFF);
}

// Round(Y) of a B, G, R pixel word (ties to even, as the extended formula rounds).
inline int RoundLuminance(uint32_t pixel) {
  uint32_t n = LumN(pixel);
  uint32_t q = n / kLumScale;
  uint32_t rem = n - q * kLumScale;
  if (rem == kLumScale / 2) [[unlikely]]
    return int(Round(Luminance(pixel & 0xFF, (pixel >> 8) & 0xFF, (pixel >> 16) & 0xFF)));
  return int(q + (rem > kLumScale / 2));
}

// Trunc(Y) of a pixel word.
inline int TruncLuminance(uint32_t pixel) {
  uint32_t n = LumN(pixel);
  uint32_t q = n / kLumScale;
  if (n - q * kLumScale == 0 && n != 0) [[unlikely]]
    return int(Trunc(Luminance(pixel & 0xFF, (pixel >> 8) & 0xFF, (pixel >> 16) & 0xFF)));
  return int(q);
}

// Y >= t for the double threshold t, decided without the extended formula
// except for pixels within a hair of t.
class TLumThreshold {
 public:
  explicit TLumThreshold(double t);
  bool AtLeast(uint32_t pixel) const {
    uint32_t n = LumN(pixel);
    if (n >= hi_) return true;
    if (n < lo_) return false;
    return Luminance(pixel & 0xFF, (pixel >> 8) & 0xFF, (pixel >> 16) & 0xFF) >= t_;
  }

 private:
  double t_;
  uint32_t lo_, hi_;  // below lo_: Y < t for sure; from hi_ on: Y >= t for sure
};

// Histograms as the histogram component and the filters count them: red,
// green, blue and luminance (truncated), 256 bins each, in this order.
struct THistArrays {
  uint32_t R[256];
  uint32_t G[256];
  uint32_t B[256];
  uint32_t Y[256];
};

// Adds one row of 32-bit pixels; colour channels only when all is set.
void CountRow(const uint32_t* row, int width, bool all, THistArrays& h);

}  // namespace kwlib
