// JPEG files through libjpeg.
//
// Loading makes dst a pf32bit bitmap with the A bytes 0.  Colour (YCbCr,
// RGB), grayscale and CMYK/YCCK files (including the inverted CMYK that
// Adobe applications write) are read.  A damaged or truncated file raises
// EInvalidGraphic (a file that ends early is not filled up with gray); a file
// that cannot be opened raises EInOutError.  Sizes are checked with
// CheckImageSize before anything is allocated.  On failure dst is unchanged.
// With more than one thread (KWThreadCount) a large single-scan picture is
// decoded by several decoders at once, to the same bytes.
//
// Saving writes a baseline colour JPEG of the bitmap's B, G, R (any pixel
// format) at the given quality (clamped to 1..100).  The file is written
// under a temporary name and renamed over the target only when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"

void LoadJPEGFile(const std::string& fileName, TBitmap& dst);
void SaveJPEGFile(const std::string& fileName, const TBitmap& src, int quality);

void LoadJPEGMemory(const uint8_t* data, size_t size, TBitmap& dst);
std::vector<uint8_t> SaveJPEGMemory(const TBitmap& src, int quality);
