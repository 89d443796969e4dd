// Small helpers of the package's pixel loops.  No Qt.
#pragma once

#include "platform/bitmap.h"
#include "platform/types.h"

namespace kwlib {

// Filters work on 32-bit bitmaps of equal size (the host makes them so);
// anything else is refused before a pixel is touched.
inline void CheckFilterBitmaps(const TBitmap* Src, const TBitmap* Dst) {
  if (!Src || !Dst || Src->PixelFormat() != pf32bit || Dst->PixelFormat() != pf32bit ||
      Src->Width() != Dst->Width() || Src->Height() != Dst->Height())
    throw Exception("The filter needs a source and a destination of the same size with 32 bits per pixel.");
}

// The fraction of rows done, as the progress reports pass it.
inline float RowRate(int i, int height) { return float(double(i) / double(height)); }

}  // namespace kwlib
