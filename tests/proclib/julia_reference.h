// The Julia set image written out point by point, in one loop, for the
// tests to compare with.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/sysutils.h"
#include "proclib/kwjulia.h"

namespace kwref {

// The smooth value and step count of the point x + iy.
inline void JuliaPoint(const kwlib::TKWJuliaParam& p, double x, double y, double& smooth, int& steps) {
  const int limit = std::max(p.Limit, 1);
  if (p.Method < 0 || p.Method > 2) {
    smooth = 0, steps = 0;
    return;
  }
  double R2 = x * x + y * y;
  if (!(R2 <= 1e150)) {
    smooth = std::log(std::isfinite(R2) ? R2 : DBL_MAX), steps = limit;
    return;
  }
  const double A = p.C_Real, B = p.C_Image;
  int n = 0;
  while (n < limit) {
    ++n;
    double nx, ny;
    if (p.Method == 0) {
      const double e = x > 710 ? 1e150 : std::exp(x);
      nx = e * (A * std::cos(y) - B * std::sin(y));
      ny = e * (A * std::sin(y) + B * std::cos(y));
    } else {
      const double e1 = y > 710 ? 1e150 : std::exp(y), e2 = y < -710 ? 1e150 : std::exp(-y);
      const double ch = (e1 + e2) / 2, sh = (e1 - e2) / 2;
      if (p.Method == 1) {
        nx = A * std::cos(x) * ch + B * std::sin(x) * sh;
        ny = B * std::cos(x) * ch - A * std::sin(x) * sh;
      } else {
        nx = A * std::sin(x) * ch - B * std::cos(x) * sh;
        ny = B * std::sin(x) * ch + A * std::cos(x) * sh;
      }
    }
    // An overflow ends the iteration with the values before it.
    if (!std::isfinite(nx) || !std::isfinite(ny) || !std::isfinite(nx * nx + ny * ny)) break;
    x = nx, y = ny, R2 = x * x + y * y;
    if (R2 > 1e150) break;
  }
  const double L = std::log(1e150);
  const double weight = n == 0 ? 4 * L : n == 1 ? 2 * L : 1 / (std::log(double(n)) * L);
  smooth = std::log(1 + R2) * weight;
  steps = limit - n;
}

// The W x H image, rows from the top, pixels B, G, R and a fourth byte 0.
inline std::vector<uint32_t> Julia(const kwlib::TKWJuliaParam& p, int W, int H) {
  const int limit = std::max(p.Limit, 1);
  const double left = std::min(p.Range_Left, p.Range_Right), dx = std::fabs(p.Range_Left - p.Range_Right) / W;
  const double top = std::max(p.Range_Top, p.Range_Bottom), dy = -std::fabs(p.Range_Top - p.Range_Bottom) / H;
  std::vector<float> smooth(size_t(W) * H);
  std::vector<int> steps(size_t(W) * H);
  double M = 0;
  for (int r = 0; r < H; ++r)
    for (int j = 0; j < W; ++j) {
      double s;
      JuliaPoint(p, left + j * dx, top + r * dy, s, steps[size_t(r) * W + j]);
      smooth[size_t(r) * W + j] = float(s);
      M = std::max(M, s);
    }
  const int vis[3] = {p.Visualize_B, p.Visualize_G, p.Visualize_R};
  const bool inv[3] = {p.Invert_B, p.Invert_G, p.Invert_R};
  std::vector<uint32_t> out(size_t(W) * H);
  for (size_t i = 0; i < out.size(); ++i) {
    const int bytes[5] = {M > 0 ? int(Round(smooth[i] * 255.0 / M)) : 0, int(Round(steps[i] * 255.0 / limit)),
                          steps[i] == 0 ? 0 : 255, 0, 255};
    for (int c = 0; c < 3; ++c) {
      int b = vis[c] >= 0 && vis[c] <= 4 ? bytes[vis[c]] : 0;
      if (inv[c]) b = 255 - b;
      out[i] |= uint32_t(b) << (8 * c);
    }
  }
  return out;
}

}  // namespace kwref
