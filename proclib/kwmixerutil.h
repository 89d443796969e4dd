// Small helpers of the mixers' pixel loops.  No Qt.
#pragma once

#include <cstdint>

#include "platform/bitmap.h"
#include "platform/types.h"

namespace kwlib {

// Mixers get two 32-bit parts of equal size and write them into a 32-bit
// destination with the parts' top-left pixel at Origin; the whole rectangle
// must lie inside the destination.  Anything else is refused before a pixel
// is touched.
inline void CheckMixerBitmaps(const TBitmap* BG, const TBitmap* FG, const TBitmap* Dst,
                              const TPoint& Origin) {
  if (!BG || !FG || !Dst || BG->PixelFormat() != pf32bit || FG->PixelFormat() != pf32bit ||
      Dst->PixelFormat() != pf32bit || BG->Width() != FG->Width() ||
      BG->Height() != FG->Height() || Origin.X < 0 || Origin.Y < 0 ||
      int64_t(Origin.X) + BG->Width() > Dst->Width() ||
      int64_t(Origin.Y) + BG->Height() > Dst->Height())
    throw Exception(
        "The mixer needs two parts of the same size with 32 bits per pixel that fit into the "
        "destination at the mix point.");
}

// The fraction of rows done, as the progress reports pass it.
inline float MixRowRate(int y, int height) { return float(double(y) / double(height)); }

// The A byte of each written pixel is the background's: the mixers compute
// B, G and R only, and an alpha channel of the background document stays
// meaningful over the mixed area that way.
constexpr uint32_t kColourMask = 0x00FFFFFFu;
constexpr uint32_t kAlphaMask = 0xFF000000u;

}  // namespace kwlib
