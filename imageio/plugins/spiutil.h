/* Helpers shared by the image plug-ins shipped with the program: building
 * the BITMAPINFO block and the pixel block the host takes over, and reading
 * the input in either mode.  Plain C. */
#ifndef KW_SPIUTIL_H
#define KW_SPIUTIL_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define SPI_DECLARE_PLUGIN_FUNCTIONS
#include "imageio/spi_api.h"

/* Largest picture a shipped plug-in decodes (the host refuses larger ones
 * anyway; this keeps the plug-in from allocating for them). */
#define SPIU_MAX_SIDE (1 << 20)
#define SPIU_MAX_PIXELS ((int64_t)1 << 28)

static inline int spiu_size_ok(int64_t w, int64_t h) {
  return w > 0 && h > 0 && w <= SPIU_MAX_SIDE && h <= SPIU_MAX_SIDE && w * h <= SPIU_MAX_PIXELS;
}

static inline size_t spiu_row_bytes(int64_t w, int bpp) {
  return (size_t)(((w * bpp + 31) / 32) * 4);
}

/* Copies text into the host's buffer; returns its length, 0 when none. */
static inline int spiu_info_text(const char* text, char* buf, int buflen) {
  if (!text || !buf || buflen <= 0) return 0;
  size_t n = strlen(text);
  if (n > (size_t)buflen) n = (size_t)buflen;
  memcpy(buf, text, n);
  if (n < (size_t)buflen) buf[n] = '\0';
  return (int)n;
}

/* Allocates the two blocks of a bottom-up DIB with `colors` table entries;
 * the rows and table are zeroed.  Returns 0 or an SPI error code. */
static inline int spiu_alloc_dib(int32_t w, int32_t h, int bpp, int colors, void** pInfo,
                                 void** pBits, SPIRGBQuad** table, uint8_t** bits) {
  size_t infoSize = sizeof(SPIBitmapInfoHeader) + (size_t)colors * sizeof(SPIRGBQuad);
  size_t bitsSize = spiu_row_bytes(w, bpp) * (size_t)h;
  SPIBitmapInfoHeader* hdr = (SPIBitmapInfoHeader*)calloc(1, infoSize);
  uint8_t* b = (uint8_t*)calloc(1, bitsSize ? bitsSize : 1);
  if (!hdr || !b) {
    free(hdr);
    free(b);
    return SPI_NO_MEMORY;
  }
  hdr->biSize = sizeof(SPIBitmapInfoHeader);
  hdr->biWidth = w;
  hdr->biHeight = h;
  hdr->biPlanes = 1;
  hdr->biBitCount = (uint16_t)bpp;
  hdr->biCompression = 0;
  hdr->biSizeImage = (uint32_t)bitsSize;
  hdr->biClrUsed = (uint32_t)colors;
  *pInfo = hdr;
  *pBits = b;
  if (table) *table = (SPIRGBQuad*)(hdr + 1);
  *bits = b;
  return SPI_ALL_RIGHT;
}

/* The input as bytes: in memory mode the data itself; in file mode the file
 * read from the given offset (to be released with spiu_release). */
static inline int spiu_input(const char* buf, intptr_t len, unsigned flag, const uint8_t** data,
                             size_t* size, uint8_t** owned) {
  *owned = NULL;
  if ((flag & 7) == SPI_INPUT_MEMORY) {
    if (!buf || len < 0) return SPI_OTHER_ERROR;
    *data = (const uint8_t*)buf;
    *size = (size_t)len;
    return SPI_ALL_RIGHT;
  }
  if ((flag & 7) != SPI_INPUT_FILE || !buf) return SPI_NO_FUNCTION;
  FILE* f = fopen(buf, "rb");
  if (!f) return SPI_FILE_READ_ERROR;
  size_t cap = 1 << 16, n = 0;
  uint8_t* p = (uint8_t*)malloc(cap);
  if (!p) {
    fclose(f);
    return SPI_NO_MEMORY;
  }
  if (len > 0 && fseek(f, (long)len, SEEK_SET) != 0) {
    free(p);
    fclose(f);
    return SPI_FILE_READ_ERROR;
  }
  for (;;) {
    if (n == cap) {
      uint8_t* q = (uint8_t*)realloc(p, cap * 2);
      if (!q) {
        free(p);
        fclose(f);
        return SPI_NO_MEMORY;
      }
      p = q;
      cap *= 2;
    }
    size_t got = fread(p + n, 1, cap - n, f);
    n += got;
    if (got == 0) break;
  }
  int err = ferror(f);
  fclose(f);
  if (err) {
    free(p);
    return SPI_FILE_READ_ERROR;
  }
  *owned = p;
  *data = p;
  *size = n;
  return SPI_ALL_RIGHT;
}

/* Reports progress every 64 rows; non-zero when the host asks to stop. */
static inline int spiu_progress(SPIProgressCallback cb, int row, int rows, intptr_t data) {
  if (!cb) return 0;
  if (row != rows && (row & 63) != 63) return 0;
  return cb(row, rows, data) != 0;
}

#endif
