// TCanvas: the drawing surface of a TBitmap.  Copies between bitmaps combine
// whole 32-bit pixels by the raster operation in CopyMode; stretching picks
// the nearest source pixel, never filters.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

class TBitmap;

// Raster operations (bitwise on the whole 32-bit pixel, A byte included).
constexpr uint32_t cmSrcCopy = 0x00CC0020;     // S
constexpr uint32_t cmNotSrcCopy = 0x00330008;  // ~S
constexpr uint32_t cmSrcAnd = 0x008800C6;      // S & D
constexpr uint32_t cmSrcPaint = 0x00EE0086;    // S | D
constexpr uint32_t cmSrcInvert = 0x00660046;   // S ^ D

enum class TBrushStyle : uint8_t { bsSolid, bsClear };
enum class TPenStyle : uint8_t { psSolid, psClear };

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
};

struct TPen {
  TColor Color = clBlack;
  TPenStyle Style = TPenStyle::psSolid;
  int Width = 1;
};

class TCanvas {
 public:
  explicit TCanvas(TBitmap* owner) : owner_(owner) {}

  uint32_t CopyMode = cmSrcCopy;
  TBrush Brush;
  TPen Pen;
  TPoint PenPos;

  TBitmap* Bitmap() const { return owner_; }

  // Copies g with its top-left corner at (x, y), clipped to the canvas.
  // Between 32-bit bitmaps all four bytes are copied; from an 8- or 24-bit
  // source the A byte becomes 0.
  void Draw(int x, int y, const TBitmap& g);
  // Copies g scaled onto r (nearest pixel), clipped to the canvas.
  void StretchDraw(const TRect& r, const TBitmap& g);
  // The parts of Draw and StretchDraw on canvas rows [y0, y1): bands drawn
  // one by one, or at once by several threads (rows of one bitmap that
  // differ from the source), give what the whole call gives.
  void DrawRows(int x, int y, const TBitmap& g, int y0, int y1);
  // DrawRows combining by mode instead of CopyMode.
  void DrawRows(int x, int y, const TBitmap& g, int y0, int y1, uint32_t mode);
  void StretchDrawRows(const TRect& r, const TBitmap& g, int y0, int y1);
  // Copies srcRect of source's bitmap onto destRect, scaled when the sizes
  // differ, combining by CopyMode.
  void CopyRect(const TRect& destRect, TCanvas& source, const TRect& srcRect);
  // Fills r (clipped) with Brush.Color; A byte 0.  Nothing with bsClear.
  void FillRect(const TRect& r);

  void MoveTo(int x, int y);
  // Line from PenPos to (x, y), (x, y) itself excluded, in Pen.Color and Pen.Width.
  void LineTo(int x, int y);
  void Polyline(const std::vector<TPoint>& points);
  // Outline with Pen, inside filled with Brush.
  void Polygon(const std::vector<TPoint>& points);

  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);

 private:
  TBitmap* owner_;
};
