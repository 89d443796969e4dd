#include "proclib/kwwindow.h"

#include <array>

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

}  // namespace kwlib
