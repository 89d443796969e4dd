#include "proclib/kwwindow.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwlib {

const TWindowShape* WindowShape(int range) {
  static const std::array<TWindowShape, 4> shapes = [] {
    std::array<TWindowShape, 4> s{};
    for (int r = 0; r < 4; ++r) {
      s[r].Reach = r < 2 ? 1 : 2;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
          const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
          const bool in = r == 0   ? ax + ay <= 1
                          : r == 1 ? std::max(ax, ay) <= 1
                          : r == 2 ? ax + ay <= 2
                                   : true;
          if (!in) continue;
          s[r].Dx[s[r].Count] = int8_t(dx);
          s[r].Dy[s[r].Count] = int8_t(dy);
          ++s[r].Count;
        }
    }
    return s;
  }();
  if (range < 0 || range > 3) return nullptr;
  return &shapes[range];
}

#if defined(__SSE2__)

namespace {

inline __m128i Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Each byte of the result from v, the fourth byte of each pixel from centre.
inline void StoreWithCentreA(uint32_t* d, __m128i v, __m128i centre) {
  const __m128i a = _mm_set1_epi32(int32_t(0xFF000000u));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                   _mm_or_si128(_mm_andnot_si128(a, v), _mm_and_si128(a, centre)));
}

}  // namespace

int MedianRowPart(const uint32_t* const* rows, const TWindowShape& shape, int x, int last,
                  uint32_t* d) {
  const int n = shape.Count, m = (n - 1) / 2;
  if (x + 4 > last) return x;  // the window's rows are only formed for pixels that exist
  const uint32_t* src[25];
  for (int k = 0; k < n; ++k) src[k] = rows[shape.Dy[k] + 2] + shape.Dx[k];
  for (; x + 4 <= last; x += 4) {
    __m128i v[25];
    for (int k = 0; k < n; ++k) v[k] = Load(src[k] + x);
    // The selection of the scalar median, as compare-exchanges on every byte.
    for (int p = 0; p <= m; ++p)
      for (int q = p + 1; q < n; ++q) {
        const __m128i a = v[p], b = v[q];
        v[p] = _mm_min_epu8(a, b);
        v[q] = _mm_max_epu8(a, b);
      }
    StoreWithCentreA(d + x, v[m], Load(rows[2] + x));
  }
  return x;
}

int MinMaxRowPart(const uint32_t* const* rows, const TWindowShape& shape, int x, int last,
                  uint32_t* d, bool maximum) {
  const int n = shape.Count;
  if (x + 4 > last) return x;
  const uint32_t* src[25];
  for (int k = 0; k < n; ++k) src[k] = rows[shape.Dy[k] + 2] + shape.Dx[k];
  for (; x + 4 <= last; x += 4) {
    __m128i v = Load(src[0] + x);
    for (int k = 1; k < n; ++k)
      v = maximum ? _mm_max_epu8(v, Load(src[k] + x)) : _mm_min_epu8(v, Load(src[k] + x));
    StoreWithCentreA(d + x, v, Load(rows[2] + x));
  }
  return x;
}

#else

int MedianRowPart(const uint32_t* const*, const TWindowShape&, int x, int, uint32_t*) { return x; }
int MinMaxRowPart(const uint32_t* const*, const TWindowShape&, int x, int, uint32_t*, bool) {
  return x;
}

#endif

}  // namespace kwlib
