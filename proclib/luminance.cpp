#include "proclib/luminance.h"

#include <cmath>

namespace kwlib {

TLumThreshold::TLumThreshold(double t) : t_(t) {
  // N / 10^7 differs from the extended Y by far less than 1e-9, so pixels
  // whose N is more than 2 away from t * 10^7 are decided by N alone.
  long double tn = (long double)t * kLumScale;
  constexpr long double kMaxN = 4294967295.0L;
  if (std::isnan(tn)) {
    // nothing is >= NaN: every pixel goes to the extended comparison
    lo_ = 0;
    hi_ = UINT32_MAX;
    return;
  }
  long double lo = std::floor(tn) - 2, hi = std::ceil(tn) + 2;
  lo_ = lo <= 0 ? 0 : lo >= kMaxN ? UINT32_MAX : uint32_t(lo);
  hi_ = hi <= 0 ? 0 : hi >= kMaxN ? UINT32_MAX : uint32_t(hi);
}

void CountRow(const uint32_t* row, int width, bool all, THistArrays& h) {
  if (all) {
    for (int x = 0; x < width; ++x) {
      uint32_t p = row[x];
      ++h.B[p & 0xFF];
      ++h.G[(p >> 8) & 0xFF];
      ++h.R[(p >> 16) & 0xFF];
      ++h.Y[TruncLuminance(p)];
    }
  } else {
    for (int x = 0; x < width; ++x) ++h.Y[TruncLuminance(row[x])];
  }
}

}  // namespace kwlib
