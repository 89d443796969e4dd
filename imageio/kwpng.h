// KWPNG: PNG reading and writing behind a small exchange record.
//
// The caller fills a TPNGExchange and calls LoadPNGData or SavePNGData.
//
// Loading: the module reads the file's header first and checks it; then it
// fills in Width, Height and PixelFormat and calls Callback (no parameters;
// the caller keeps its target in a variable of its own).  The callback sizes
// the target and stores in Buffer the start of a 32-bit bottom-up pixel
// buffer (the bottom row, ScanLine(Height - 1) of a pf32bit TBitmap), rows of
// Width x 4 bytes B, G, R, A following each other upwards.  The module then
// decodes the pixels straight into that buffer, so no second copy of the
// picture is made.  A file found damaged after the callback raises with the
// buffer partly written: the caller hands in a buffer it can discard (an
// empty target, or one of its own that replaces the target on success).
//
// Every colour type and bit depth is read (palette, gray, gray + alpha, RGB,
// RGBA, 1 to 16 bits, interlaced, tRNS transparency).  PixelFormat becomes 7
// exactly when the file has an alpha channel (a colour type with alpha, or a
// tRNS chunk), otherwise 6; without alpha the A bytes are 0.
//
// Saving: Width, Height, PixelFormat (6 writes RGB, 7 writes RGBA, 8 bits per
// channel) and Buffer (bottom row of the 32-bit buffer) are read; Callback is
// not used.  The image data is coded on every core (pngencode.h) and written
// as it is ready under a temporary name beside the target, renamed over it
// only when complete, so a failed write leaves any existing file as it was.
//
// Errors raise EInOutError (file cannot be opened, read or written) or
// EInvalidGraphic (not a PNG, damaged, truncated, too large to hold, bad
// record).  Sizes are checked with CheckImageSize before anything is
// allocated.  The functions return 1 on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/bitmap.h"

extern "C" {

struct TPNGExchange {
  int32_t Width;        // offset 0
  int32_t Height;       // offset 4
  uint8_t PixelFormat;  // offset 8: 6 = without alpha, 7 = with alpha
  uint8_t Padding[3];
  void (*Callback)();   // pointer-sized; used by loading only
  uint8_t* Buffer;      // pointer-sized; bottom row of the 32-bit buffer
};

// File names are NUL-terminated UTF-8 byte strings.
int LoadPNGData(const char* fileName, TPNGExchange* data);
int SavePNGData(const char* fileName, TPNGExchange* data);

}  // extern "C"

static_assert(offsetof(TPNGExchange, Width) == 0);
static_assert(offsetof(TPNGExchange, Height) == 4);
static_assert(offsetof(TPNGExchange, PixelFormat) == 8);
static_assert(offsetof(TPNGExchange, Callback) % sizeof(void*) == 0);
static_assert(offsetof(TPNGExchange, Buffer) == offsetof(TPNGExchange, Callback) + sizeof(void*));

// Conveniences that do the callback dance for a TBitmap.  LoadPNGFile makes
// dst a pf32bit bitmap of the file's size and tells whether the file had
// alpha; on failure dst is unchanged.  SavePNGFile writes any bitmap (8, 24
// or 32 bits) as RGB, or as RGBA with its A bytes when hasAlpha is set.
void LoadPNGFile(const std::string& fileName, TBitmap& dst, bool& hasAlpha);
void SavePNGFile(const std::string& fileName, const TBitmap& src, bool hasAlpha);

// The same for PNG data in memory (also what the file functions use).
void LoadPNGMemory(const uint8_t* data, size_t size, TBitmap& dst, bool& hasAlpha);
