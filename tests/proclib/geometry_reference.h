// Plain computations of the geometric filters' sampling and of the polar
// transform, written out pixel by pixel for the tests to compare with.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/bitmap.h"
#include "platform/sysutils.h"
#include "proclib/kwpoler.h"

namespace kwref {

// The source at (u, v) relative to the origin (ox, oy): wrapped columns and
// rows, the second column and row chosen by rounding, four weights, each
// channel cut and held to 0 .. 255.  Fourth byte 0.
inline uint32_t Sample(const TBitmap& src, int ox, int oy, double u, double v) {
  const int W = src.Width(), H = src.Height();
  const double tu = std::isfinite(u) ? std::trunc(u) : 0, tv = std::isfinite(v) ? std::trunc(v) : 0;
  auto wrap = [](double t, int len) {
    double m = std::fmod(t, double(len));
    if (m < 0) m += len;
    return int(m);
  };
  const int sx = wrap(tu + ox, W);
  int sx2 = sx;
  if (sx != 0 && sx != W - 1) sx2 = std::nearbyint(u) == sx ? sx - 1 : sx + 1;
  const int sy = wrap(tv + oy, H);
  const int r = H - 1 - sy;
  int sy2 = sy;
  if (r != 0 && r != H - 1) sy2 = std::nearbyint(v) == r ? sy + 1 : sy - 1;
  const double fx = std::isfinite(u) ? u - tu : 0, fy = std::isfinite(v) ? v - tv : 0;
  const double w1 = (1 - fx) * (1 - fy), w2 = (1 - fx) * fy, w3 = fx * (1 - fy), w4 = fx * fy;
  uint32_t out = 0;
  for (int ch = 2; ch >= 0; --ch) {
    auto P = [&](int xx, int yy) { return double((src.Row32(yy)[xx] >> (8 * ch)) & 0xFF); };
    const int64_t t = Trunc(w1 * P(sx, sy) + w2 * P(sx, sy2) + w3 * P(sx2, sy) + w4 * P(sx2, sy2));
    out |= uint32_t(t > 255 ? 255 : t < 0 ? 0 : t) << (8 * ch);
  }
  return out;
}

// One formula slot of the polar transform at (r, θ).  False when the
// computation fails in a way that ends the row.
inline bool PolerFormula(const kwlib::TPolerSlot& s, double r, double th, double& value) {
  const double x = s.Variable == 1 ? th : r;
  const double A = s.A, B = s.B, C = s.C, D = s.D;
  double v = 0;
  switch (s.Method) {
    case 1:
      v = A * (x + C) + D;
      if (!std::isfinite(v)) v = 0;
      break;
    case 2:
      v = x + C == 0 ? 0 : A / (x + C) + D;
      if (!std::isfinite(v)) v = 0;
      break;
    case 3:
      v = A * std::exp(B * x + C) + D;
      if (!std::isfinite(v)) return false;
      break;
    case 4:
      v = B * x + C > 0 ? A * std::log(B * x + C) + D : 0;
      if (!std::isfinite(v)) v = 0;
      break;
    case 5:
      v = A * std::pow(C * x, B) + D;
      if (!std::isfinite(v)) {
        if (s.Variable == 1) return false;
        v = 0;
      }
      break;
    case 6:
      v = A * std::sin(B * x + C) + D;
      if (!std::isfinite(v)) return false;
      break;
  }
  value = v;
  return true;
}

inline bool Active(const kwlib::TPolerSlot& s) { return s.Method >= 1 && s.Method <= 6; }

// The polar transform of src into dst (dst holds what the rows keep when
// they end early), pixel by pixel.
inline void Poler(const kwlib::TKWPolerPack& p, const TBitmap& src, TBitmap& dst) {
  const int W = src.Width(), H = src.Height();
  bool any = false;
  for (int n = 0; n < kwlib::kPolerStages; ++n) any = any || Active(p.Slot(n, 0)) || Active(p.Slot(n, 1));
  if (!any) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) dst.Row32(y)[x] = src.Row32(y)[x];
    return;
  }
  const int ox = int(Round((long double)W * p.OriginX)), oy = int(Round((long double)H * p.OriginY));
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const double dx = x - ox, dy = y - oy;
      double r = std::sqrt(dx * dx + dy * dy), th;
      if (dx == 0)
        th = dy <= 0 ? -M_PI / 2 : M_PI / 2;
      else {
        th = std::atan(dy / dx);
        if (dx < 0) th = dy <= 0 ? th - M_PI : th + M_PI;
      }
      bool ok = true;
      for (int n = 0; n < kwlib::kPolerStages && ok; ++n) {
        const kwlib::TPolerSlot sr = p.Slot(n, 0), sp = p.Slot(n, 1);
        double fr = 0, fp = 0;
        if (Active(sr)) ok = PolerFormula(sr, r, th, fr);
        if (ok && Active(sp)) ok = PolerFormula(sp, r, th, fp);
        const double nr = Active(sr) ? r + fr : r, nt = Active(sp) ? th + fp : th;
        r = nr;
        th = nt;
        ok = ok && std::isfinite(r) && std::isfinite(th);
      }
      const double u = r * std::cos(th) - double(p.MoveX), v = r * std::sin(th) - double(p.MoveY);
      if (!ok || !std::isfinite(u) || !std::isfinite(v)) break;  // the rest of the row stays
      uint32_t& d = dst.Row32(y)[x];
      d = (d & 0xFF000000u) | Sample(src, ox, oy, u, v);
    }
  }
}

}  // namespace kwref
