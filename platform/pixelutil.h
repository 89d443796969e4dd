// Helpers shared by the bitmap, the canvas and the BMP codec: colour and
// pixel word conversion, and the search for the nearest palette entry.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/bitmap.h"
#include "platform/types.h"

namespace kwplatform {

// TColor (0x00BBGGRR) to a pixel word (B in the low byte, A = 0).
inline uint32_t ColorToPixel(TColor c) {
  return uint32_t(GetBValue(c)) | (uint32_t(GetGValue(c)) << 8) | (uint32_t(GetRValue(c)) << 16);
}
// Pixel word to TColor; the A byte is dropped.
inline TColor PixelToColor(uint32_t p) {
  return RGBColor(uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
}
inline uint32_t EntryToPixel(const TPaletteEntry& e) {
  return uint32_t(e.peBlue) | (uint32_t(e.peGreen) << 8) | (uint32_t(e.peRed) << 16);
}

// Asks for huge pages on the 2 MB-aligned part of a large buffer the
// caller owns (a hint; nothing happens where the system does not support it).
void AdviseHugePages(void* p, size_t bytes);

// Bits per pixel of a format; 0 for formats a TBitmap cannot hold.
int BitsPerPixel(TPixelFormat pf);

// The 256 pixel words of an 8-bit bitmap's indices (gray when it has no
// palette, 0 for indices past the end of a short palette).
void PaletteTable(const TBitmap& b, uint32_t table[256]);

// Nearest entry of a palette by squared RGB distance, first entry on ties.
// Results are cached per colour.
class TPaletteMatcher {
 public:
  explicit TPaletteMatcher(const std::vector<TPaletteEntry>& pal);
  uint8_t Match(uint32_t pixel);

 private:
  std::vector<TPaletteEntry> pal_;
  bool gray_ = false;
  std::unordered_map<uint32_t, uint8_t> cache_;
};

}  // namespace kwplatform
