#include "platform/canvas.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/bitmap.h"
#include "platform/pixelutil.h"

using namespace kwplatform;

namespace {

// Result of a ternary raster operation, bit by bit: bit k of the operation
// code is the result for pattern, source, destination bits (k>>2, k>>1, k) & 1.
inline uint32_t Rop3(uint8_t code, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t r = 0;
  for (int k = 0; k < 8; ++k) {
    if ((code >> k) & 1) r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
  }
  return r;
}

// Combines n source words with n destination words into out (out may be d).
void CombineRow(uint32_t rop, uint32_t pattern, const uint32_t* s, const uint32_t* d, uint32_t* out,
                int n) {
  switch (rop) {
    case cmSrcCopy:
      if (out != s) std::memmove(out, s, size_t(n) * 4);
      break;
    case cmNotSrcCopy:
      for (int i = 0; i < n; ++i) out[i] = ~s[i];
      break;
    case cmSrcAnd:
      for (int i = 0; i < n; ++i) out[i] = s[i] & d[i];
      break;
    case cmSrcPaint:
      for (int i = 0; i < n; ++i) out[i] = s[i] | d[i];
      break;
    case cmSrcInvert:
      for (int i = 0; i < n; ++i) out[i] = s[i] ^ d[i];
      break;
    default: {
      const uint8_t code = uint8_t(rop >> 16);
      for (int i = 0; i < n; ++i) out[i] = Rop3(code, pattern, s[i], d[i]);
      break;
    }
  }
}

inline bool RopUsesDest(uint32_t rop) {
  if (rop == cmSrcCopy || rop == cmNotSrcCopy) return false;
  const uint8_t code = uint8_t(rop >> 16);
  // The result ignores D when swapping D's value never changes it.
  return ((code >> 1) & 0x55) != (code & 0x55);
}

// One axis of a copy: destination positions [first, first + count) take the
// source positions map[0..count).  When map is empty the source positions
// run contiguously upwards from srcFirst.
struct AxisMap {
  int first = 0;
  int count = 0;
  int srcFirst = 0;
  std::vector<int> map;
  int Src(int k) const { return map.empty() ? srcFirst + k : map[k]; }
};

// Maps destination [d0, d0 + dn) (dn may be negative for mirroring) onto
// source [s0, s0 + sn), clipped to destination extent dLimit and source
// extent sLimit.  Each destination pixel takes the source pixel under its
// centre.
AxisMap MapAxis(int64_t d0, int64_t dn, int64_t s0, int64_t sn, int dLimit, int sLimit) {
  AxisMap m;
  if (dn == 0 || sn == 0) return m;
  const bool mirror = (dn < 0) != (sn < 0);
  const int64_t adn = dn < 0 ? -dn : dn;
  const int64_t asn = sn < 0 ? -sn : sn;
  const int64_t dStart = dn < 0 ? d0 + dn : d0;
  const int64_t sStart = sn < 0 ? s0 + sn : s0;
  // Destination indices i inside the canvas.
  int64_t iLo = std::max<int64_t>(0, -dStart);
  int64_t iHi = std::min<int64_t>(adn, int64_t(dLimit) - dStart);
  if (iLo >= iHi) return m;
  auto srcOf = [&](int64_t i) {
    int64_t j = adn == asn ? i : int64_t((__int128(2 * i + 1) * asn) / (2 * adn));
    if (mirror) j = asn - 1 - j;
    return sStart + j;
  };
  if (adn == asn && !mirror) {
    // Unscaled: clip against the source as well and keep the run contiguous.
    iLo = std::max<int64_t>(iLo, -sStart);
    iHi = std::min<int64_t>(iHi, int64_t(sLimit) - sStart);
    if (iLo >= iHi) return m;
    m.first = int(dStart + iLo);
    m.count = int(iHi - iLo);
    m.srcFirst = int(sStart + iLo);
    return m;
  }
  // Scaled or mirrored: the source index is monotonic in i, so the indices
  // whose source lies inside the source bitmap form one run.
  int64_t a = iLo, b = iHi;
  while (a < b && (srcOf(a) < 0 || srcOf(a) >= sLimit)) ++a;
  while (b > a && (srcOf(b - 1) < 0 || srcOf(b - 1) >= sLimit)) --b;
  if (a >= b) return m;
  m.first = int(dStart + a);
  m.count = int(b - a);
  m.map.resize(size_t(m.count));
  // srcOf step by step: the quotient and remainder of (2i + 1) asn / 2 adn
  // move by those of 2 asn / 2 adn from one i to the next.
  const __int128 den = __int128(2) * adn, num = __int128(2 * a + 1) * asn;
  const int64_t stepQ = int64_t((__int128(2) * asn) / den), stepR = int64_t((__int128(2) * asn) % den);
  int64_t q = adn == asn ? a : int64_t(num / den);
  int64_t r = adn == asn ? 0 : int64_t(num % den);
  for (int64_t i = a; i < b; ++i) {
    m.map[size_t(i - a)] = int(mirror ? sStart + asn - 1 - q : sStart + q);
    if (adn == asn) {
      ++q;
      continue;
    }
    q += stepQ;
    r += stepR;
    if (r >= den) r -= int64_t(den), ++q;
  }
  return m;
}

// Reads count source pixels of row y at the positions of xm into out.
void GatherRow(const TBitmap& src, int y, const AxisMap& xm, const uint32_t* table, uint32_t* out) {
  const uint8_t* row = src.ScanLine(y);
  const int n = xm.count;
  switch (src.PixelFormat()) {
    case TPixelFormat::pf32bit: {
      const uint32_t* r = reinterpret_cast<const uint32_t*>(row);
      if (xm.map.empty())
        std::memcpy(out, r + xm.srcFirst, size_t(n) * 4);
      else
        for (int k = 0; k < n; ++k) out[k] = r[xm.map[k]];
      break;
    }
    case TPixelFormat::pf24bit:
      for (int k = 0; k < n; ++k) {
        const uint8_t* p = row + size_t(xm.Src(k)) * 3;
        out[k] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
      }
      break;
    default:
      for (int k = 0; k < n; ++k) out[k] = table[row[xm.Src(k)]];
      break;
  }
}

// Reads n destination pixels of row y from x0 on.
void ReadRow(const TBitmap& b, int y, int x0, int n, const uint32_t* table, uint32_t* out) {
  const uint8_t* row = b.ScanLine(y);
  switch (b.PixelFormat()) {
    case TPixelFormat::pf32bit:
      std::memcpy(out, row + size_t(x0) * 4, size_t(n) * 4);
      break;
    case TPixelFormat::pf24bit:
      for (int k = 0; k < n; ++k) {
        const uint8_t* p = row + size_t(x0 + k) * 3;
        out[k] = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
      }
      break;
    default:
      for (int k = 0; k < n; ++k) out[k] = table[row[x0 + k]];
      break;
  }
}

void WriteRow(TBitmap& b, int y, int x0, int n, const uint32_t* px, TPaletteMatcher* match) {
  uint8_t* row = b.ScanLine(y);
  switch (b.PixelFormat()) {
    case TPixelFormat::pf32bit:
      std::memcpy(row + size_t(x0) * 4, px, size_t(n) * 4);
      break;
    case TPixelFormat::pf24bit:
      for (int k = 0; k < n; ++k) {
        uint8_t* p = row + size_t(x0 + k) * 3;
        p[0] = uint8_t(px[k]);
        p[1] = uint8_t(px[k] >> 8);
        p[2] = uint8_t(px[k] >> 16);
      }
      break;
    default:
      for (int k = 0; k < n; ++k) row[x0 + k] = match->Match(px[k]);
      break;
  }
}

// Copies source rectangle (s0x, s0y, swid, shei) onto destination rectangle
// (d0x, d0y, dwid, dhei), scaling by nearest pixel and combining by rop.
// Only destination rows [rowLo, rowHi) are written.
void Blit(TBitmap& dst, int64_t d0x, int64_t d0y, int64_t dwid, int64_t dhei, const TBitmap& srcIn,
          int64_t s0x, int64_t s0y, int64_t swid, int64_t shei, uint32_t rop, uint32_t pattern,
          int rowLo = 0, int rowHi = INT32_MAX) {
  if (dst.Empty() || srcIn.Empty()) return;
  AxisMap ym = MapAxis(d0y, dhei, s0y, shei, dst.Height(), srcIn.Height());
  // The rows of the band: ym.first + k for k in [0, count).
  {
    const int lo = std::max(ym.first, rowLo), hi = std::min(ym.first + ym.count, rowHi);
    if (hi <= lo) return;
    if (!ym.map.empty()) ym.map = std::vector<int>(ym.map.begin() + (lo - ym.first), ym.map.begin() + (hi - ym.first));
    ym.srcFirst += lo - ym.first;
    ym.first = lo;
    ym.count = hi - lo;
  }
  const AxisMap xm = MapAxis(d0x, dwid, s0x, swid, dst.Width(), srcIn.Width());
  if (xm.count == 0) return;

  // A copy within one bitmap reads from a snapshot so that overlapping
  // areas come out as if the source had been read first.
  TBitmap snapshot;
  const TBitmap* srcp = &srcIn;
  if (&srcIn == &dst) {
    snapshot.Assign(srcIn);
    srcp = &snapshot;
  }
  const TBitmap& src = *srcp;
  const int n = xm.count;

  const bool s32 = src.PixelFormat() == pf32bit, d32 = dst.PixelFormat() == pf32bit;
  // Fast path: 32-bit to 32-bit source copy without scaling.
  if (s32 && d32 && rop == cmSrcCopy && xm.map.empty()) {
    for (int k = 0; k < ym.count; ++k) {
      const uint32_t* s = src.Row32(ym.Src(k)) + xm.srcFirst;
      std::memcpy(dst.Row32(ym.first + k) + xm.first, s, size_t(n) * 4);
    }
    return;
  }
  // Palette indices copied as they are between 8-bit bitmaps of one palette.
  if (src.PixelFormat() == pf8bit && dst.PixelFormat() == pf8bit && rop == cmSrcCopy &&
      src.Palette() == dst.Palette()) {
    for (int k = 0; k < ym.count; ++k) {
      const uint8_t* s = src.ScanLine(ym.Src(k));
      uint8_t* d = dst.ScanLine(ym.first + k) + xm.first;
      for (int i = 0; i < n; ++i) d[i] = s[xm.Src(i)];
    }
    return;
  }

  // Scaled 32-bit copy: straight into the destination; a row that shows
  // the same source row as the one above is that row again.
  if (s32 && d32 && rop == cmSrcCopy) {
    for (int k = 0; k < ym.count; ++k) {
      uint32_t* d = dst.Row32(ym.first + k) + xm.first;
      if (k > 0 && ym.Src(k) == ym.Src(k - 1)) {
        std::memcpy(d, dst.Row32(ym.first + k - 1) + xm.first, size_t(n) * 4);
        continue;
      }
      const uint32_t* s = src.Row32(ym.Src(k));
      if (xm.map.empty())
        std::memcpy(d, s + xm.srcFirst, size_t(n) * 4);
      else
        for (int i = 0; i < n; ++i) d[i] = s[xm.map[size_t(i)]];
    }
    return;
  }
  uint32_t srcTable[256], dstTable[256];
  if (src.PixelFormat() == pf8bit) PaletteTable(src, srcTable);
  if (dst.PixelFormat() == pf8bit) PaletteTable(dst, dstTable);
  std::unique_ptr<TPaletteMatcher> match;
  if (dst.PixelFormat() == pf8bit) match = std::make_unique<TPaletteMatcher>(dst.Palette());
  const bool needDest = RopUsesDest(rop);
  std::vector<uint32_t> sbuf(static_cast<size_t>(n)), dbuf(static_cast<size_t>(n));
  for (int k = 0; k < ym.count; ++k) {
    const int dy = ym.first + k;
    const uint32_t* s;
    if (s32 && xm.map.empty()) {
      s = src.Row32(ym.Src(k)) + xm.srcFirst;
    } else {
      GatherRow(src, ym.Src(k), xm, srcTable, sbuf.data());
      s = sbuf.data();
    }
    if (d32) {
      uint32_t* d = dst.Row32(dy) + xm.first;
      CombineRow(rop, pattern, s, d, d, n);
    } else {
      if (needDest) ReadRow(dst, dy, xm.first, n, dstTable, dbuf.data());
      CombineRow(rop, pattern, s, dbuf.data(), dbuf.data(), n);
      WriteRow(dst, dy, xm.first, n, dbuf.data(), match.get());
    }
  }
}

}  // namespace

void TCanvas::Draw(int x, int y, const TBitmap& g) {
  Blit(*owner_, x, y, g.Width(), g.Height(), g, 0, 0, g.Width(), g.Height(), CopyMode,
       ColorToPixel(Brush.Color));
}

void TCanvas::StretchDraw(const TRect& r, const TBitmap& g) { StretchDrawRows(r, g, 0, INT32_MAX); }

void TCanvas::DrawRows(int x, int y, const TBitmap& g, int y0, int y1) {
  DrawRows(x, y, g, y0, y1, CopyMode);
}

void TCanvas::DrawRows(int x, int y, const TBitmap& g, int y0, int y1, uint32_t mode) {
  Blit(*owner_, x, y, g.Width(), g.Height(), g, 0, 0, g.Width(), g.Height(), mode,
       ColorToPixel(Brush.Color), y0, y1);
}

void TCanvas::StretchDrawRows(const TRect& r, const TBitmap& g, int y0, int y1) {
  Blit(*owner_, r.Left, r.Top, int64_t(r.Right) - r.Left, int64_t(r.Bottom) - r.Top, g, 0, 0,
       g.Width(), g.Height(), CopyMode, ColorToPixel(Brush.Color), y0, y1);
}

void TCanvas::CopyRect(const TRect& destRect, TCanvas& source, const TRect& srcRect) {
  if (!source.owner_) return;
  Blit(*owner_, destRect.Left, destRect.Top, int64_t(destRect.Right) - destRect.Left,
       int64_t(destRect.Bottom) - destRect.Top, *source.owner_, srcRect.Left, srcRect.Top,
       int64_t(srcRect.Right) - srcRect.Left, int64_t(srcRect.Bottom) - srcRect.Top, CopyMode,
       ColorToPixel(Brush.Color));
}

namespace {

void FillSpan(TBitmap& b, int y, int x0, int x1, uint32_t px, uint8_t index) {
  if (x0 >= x1) return;
  uint8_t* row = b.ScanLine(y);
  switch (b.PixelFormat()) {
    case TPixelFormat::pf32bit: {
      uint32_t* r = reinterpret_cast<uint32_t*>(row);
      std::fill(r + x0, r + x1, px);
      break;
    }
    case TPixelFormat::pf24bit:
      for (int x = x0; x < x1; ++x) {
        row[3 * x] = uint8_t(px);
        row[3 * x + 1] = uint8_t(px >> 8);
        row[3 * x + 2] = uint8_t(px >> 16);
      }
      break;
    default:
      std::memset(row + x0, index, size_t(x1 - x0));
      break;
  }
}

uint8_t IndexFor(const TBitmap& b, uint32_t px) {
  if (b.PixelFormat() != pf8bit) return 0;
  TPaletteMatcher m(b.Palette());
  return m.Match(px);
}

}  // namespace

void TCanvas::FillRect(const TRect& r) {
  if (Brush.Style == TBrushStyle::bsClear) return;
  TBitmap& b = *owner_;
  const int x0 = std::max(0, r.Left), x1 = std::min(b.Width(), r.Right);
  const int y0 = std::max(0, r.Top), y1 = std::min(b.Height(), r.Bottom);
  if (x0 >= x1 || y0 >= y1) return;
  const uint32_t px = ColorToPixel(Brush.Color);
  const uint8_t index = IndexFor(b, px);
  for (int y = y0; y < y1; ++y) FillSpan(b, y, x0, x1, px, index);
}

TColor TCanvas::Pixel(int x, int y) const {
  const TBitmap& b = *owner_;
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return 0xFFFFFFFF;
  return PixelToColor(b.PixelBGRA(x, y));
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  TBitmap& b = *owner_;
  if (x < 0 || y < 0 || x >= b.Width() || y >= b.Height()) return;
  const uint32_t px = ColorToPixel(c);
  FillSpan(b, y, x, x + 1, px, IndexFor(b, px));
}

namespace {

// Pen footprint: a disc of diameter w around each point of the line.
class PenPainter {
 public:
  PenPainter(TBitmap& b, const TPen& pen) : b_(b), width_(std::max(1, pen.Width)) {
    px_ = ColorToPixel(pen.Color);
    index_ = IndexFor(b, px_);
    const int w = width_;
    lo_ = -(w / 2);
    hi_ = w - 1 - w / 2;
    // Offsets of one row of the disc, per dy.
    const double c = (lo_ + hi_) / 2.0, r2 = (w / 2.0) * (w / 2.0);
    for (int dy = lo_; dy <= hi_; ++dy) {
      int a = hi_ + 1, z = lo_ - 1;
      for (int dx = lo_; dx <= hi_; ++dx) {
        if ((dx - c) * (dx - c) + (dy - c) * (dy - c) <= r2 + 1e-9) {
          a = std::min(a, dx);
          z = std::max(z, dx);
        }
      }
      spans_.push_back({a, z + 1});
    }
  }
  int Width() const { return width_; }
  void Plot(int64_t x, int64_t y) {
    if (width_ == 1) {
      if (x >= 0 && y >= 0 && x < b_.Width() && y < b_.Height())
        FillSpan(b_, int(y), int(x), int(x) + 1, px_, index_);
      return;
    }
    for (int dy = lo_; dy <= hi_; ++dy) {
      const int64_t yy = y + dy;
      if (yy < 0 || yy >= b_.Height()) continue;
      const auto& sp = spans_[size_t(dy - lo_)];
      const int64_t x0 = std::max<int64_t>(0, x + sp.first);
      const int64_t x1 = std::min<int64_t>(b_.Width(), x + sp.second);
      if (x0 < x1) FillSpan(b_, int(yy), int(x0), int(x1), px_, index_);
    }
  }
  // Line from (x0, y0) to (x1, y1); the end point is drawn only when
  // includeEnd is set.
  void Line(int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool includeEnd) {
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const int64_t steps = std::max(adx, ady);
    const int64_t n = includeEnd ? steps + 1 : steps;
    if (n <= 0) return;
    const int margin = width_;
    const bool xMajor = adx >= ady;
    const int64_t sMajor = xMajor ? (dx < 0 ? -1 : 1) : (dy < 0 ? -1 : 1);
    const int64_t sMinor = xMajor ? (dy < 0 ? -1 : 1) : (dx < 0 ? -1 : 1);
    const int64_t major0 = xMajor ? x0 : y0, minor0 = xMajor ? y0 : x0;
    const int64_t aMinor = xMajor ? ady : adx;
    const int64_t limit = xMajor ? b_.Width() : b_.Height();
    // Only the steps whose major coordinate can touch the bitmap.
    int64_t iLo = 0, iHi = n;
    if (sMajor > 0) {
      iLo = std::max<int64_t>(iLo, -margin - major0);
      iHi = std::min<int64_t>(iHi, limit + margin - major0);
    } else {
      iLo = std::max<int64_t>(iLo, major0 - (limit + margin));
      iHi = std::min<int64_t>(iHi, major0 + margin + 1);
    }
    for (int64_t i = iLo; i < iHi; ++i) {
      const int64_t minor =
          steps == 0 ? 0 : int64_t((__int128(2) * i * aMinor + steps) / (__int128(2) * steps));
      const int64_t ma = major0 + i * sMajor, mi = minor0 + minor * sMinor;
      if (xMajor)
        Plot(ma, mi);
      else
        Plot(mi, ma);
    }
  }

 private:
  TBitmap& b_;
  int width_;
  uint32_t px_ = 0;
  uint8_t index_ = 0;
  int lo_ = 0, hi_ = 0;
  std::vector<std::pair<int, int>> spans_;
};

}  // namespace

void TCanvas::MoveTo(int x, int y) { PenPos = TPoint{x, y}; }

void TCanvas::LineTo(int x, int y) {
  if (Pen.Style != TPenStyle::psClear && !owner_->Empty()) {
    PenPainter p(*owner_, Pen);
    p.Line(PenPos.X, PenPos.Y, x, y, p.Width() > 1);
  }
  PenPos = TPoint{x, y};
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (points.size() < 2 || Pen.Style == TPenStyle::psClear || owner_->Empty()) return;
  PenPainter p(*owner_, Pen);
  for (size_t i = 1; i < points.size(); ++i)
    p.Line(points[i - 1].X, points[i - 1].Y, points[i].X, points[i].Y, p.Width() > 1);
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  TBitmap& b = *owner_;
  if (points.size() < 2 || b.Empty()) return;
  if (Brush.Style != TBrushStyle::bsClear && points.size() >= 3) {
    // Even-odd fill of the pixels whose centres lie inside.
    int64_t minY = points[0].Y, maxY = points[0].Y;
    for (const auto& pt : points) {
      minY = std::min<int64_t>(minY, pt.Y);
      maxY = std::max<int64_t>(maxY, pt.Y);
    }
    const int y0 = int(std::max<int64_t>(0, minY)), y1 = int(std::min<int64_t>(b.Height(), maxY));
    const uint32_t px = ColorToPixel(Brush.Color);
    const uint8_t index = IndexFor(b, px);
    std::vector<double> xs;
    for (int y = y0; y < y1; ++y) {
      const double yc = y + 0.5;
      xs.clear();
      for (size_t i = 0; i < points.size(); ++i) {
        const TPoint& a = points[i];
        const TPoint& c = points[(i + 1) % points.size()];
        if (a.Y == c.Y) continue;
        const double ylo = std::min(a.Y, c.Y), yhi = std::max(a.Y, c.Y);
        if (yc < ylo || yc >= yhi) continue;
        xs.push_back(a.X + (yc - a.Y) * double(int64_t(c.X) - a.X) / double(int64_t(c.Y) - a.Y));
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        const double xa = std::ceil(xs[i] - 0.5), xb = std::ceil(xs[i + 1] - 0.5);
        const int xa_ = int(std::clamp(xa, 0.0, double(b.Width())));
        const int xb_ = int(std::clamp(xb, 0.0, double(b.Width())));
        FillSpan(b, y, xa_, xb_, px, index);
      }
    }
  }
  if (Pen.Style != TPenStyle::psClear) {
    PenPainter p(b, Pen);
    for (size_t i = 0; i < points.size(); ++i) {
      const TPoint& a = points[i];
      const TPoint& c = points[(i + 1) % points.size()];
      p.Line(a.X, a.Y, c.X, c.Y, p.Width() > 1);
    }
  }
}
