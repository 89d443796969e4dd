/* Test plug-in, built in several variants through compile definitions:
 *   TSPI_NAME      name reported to the test log ("pic")
 *   TSPI_VERSION   GetPluginInfo(0) ("00IN")
 *   TSPI_PATTERN   GetPluginInfo(2) (TSPI_PATTERN_ALT is added after a ';');
 *                  TSPI_PATTERN2 adds a second pair
 *   TSPI_MAGIC     4 bytes the data must start with ("TANY" is taken by
 *                  every variant that has a magic); none: rejects all
 *   TSPI_NO_GETPICTURE, TSPI_ARCHIVE, TSPI_LONG_INFO: see below
 *
 * The data it reads ("test picture"):
 *   0  magic (4 bytes)
 *   4  flags (uint32, below)
 *   8  info block length L1 (uint32), then L1 bytes: the BITMAPINFO handed
 *      back as is
 *   .  bits block length L2 (uint32), then L2 bytes: the pixel block
 * Flags make the plug-in misbehave on purpose:
 *   1 GetPictureInfo fails      2 GetPicture fails
 *   4 GetPicture succeeds but returns no handles
 *   8 GetPictureInfo reports 100000 x 100000
 *   16 GetPictureInfo returns a comment "hello comment"
 *   32 GetPicture calls the progress callback (0/4, 1/4, 2/4, 4/4, 5/0)
 *      and fails with SPI_ABORT when the callback asks to stop
 *
 * Every call is reported to the host program's kw_test_spi_log function
 * when the program exports one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define SPI_DECLARE_PLUGIN_FUNCTIONS
#include "imageio/spi_api.h"

#ifndef TSPI_VERSION
#define TSPI_VERSION "00IN"
#endif
#ifndef TSPI_NAME
#define TSPI_NAME "test"
#endif

typedef void (*LogFn)(const char* plugin, const char* function, intptr_t len, const void* header);

static void log_call(const char* fn, intptr_t len, const void* header) {
  LogFn f = (LogFn)dlsym(RTLD_DEFAULT, "kw_test_spi_log");
  if (f) f(TSPI_NAME, fn, len, header);
}

static int text(const char* t, char* buf, int buflen) {
  int n = (int)strlen(t);
  if (n > buflen) n = buflen;
  memcpy(buf, t, (size_t)n);
  if (n < buflen) buf[n] = '\0';
  return n;
}

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
#ifdef TSPI_LONG_INFO
  /* Claims more than it was allowed to write. */
  if (infono == 0) return text(TSPI_VERSION, buf, buflen);
  if (infono == 1) {
    text("long", buf, buflen);
    return buflen + 45;
  }
  return 0;
#else
  switch (infono) {
    case 0: return text(TSPI_VERSION, buf, buflen);
    case 1: return text("test plug-in " TSPI_NAME, buf, buflen);
#ifdef TSPI_PATTERN
#ifdef TSPI_PATTERN_ALT
    case 2: return text(TSPI_PATTERN ";" TSPI_PATTERN_ALT, buf, buflen);
#else
    case 2: return text(TSPI_PATTERN, buf, buflen);
#endif
    case 3: return text(TSPI_NAME " pictures", buf, buflen);
#endif
#ifdef TSPI_PATTERN2
    case 4: return text(TSPI_PATTERN2, buf, buflen);
    case 5: return text(TSPI_NAME " second", buf, buflen);
#endif
    default: return 0;
  }
#endif
}

SPI_EXPORT int IsSupported(const char* filename, const void* header) {
  log_call("IsSupported", -1, header);
  (void)filename;
#ifdef TSPI_MAGIC
  return memcmp(header, TSPI_MAGIC, 4) == 0 || memcmp(header, "TANY", 4) == 0;
#else
  return 0;
#endif
}

static uint32_t get32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }

typedef struct {
  uint32_t flags;
  const uint8_t* info;
  uint32_t infoLen;
  const uint8_t* bits;
  uint32_t bitsLen;
} Parsed;

static int parse(const char* buf, intptr_t len, Parsed* p) {
  const uint8_t* d = (const uint8_t*)buf;
  size_t n = (size_t)len, pos = 12;
  if (len < 12) return 0;
  p->flags = get32(d + 4);
  p->infoLen = get32(d + 8);
  if (n - pos < p->infoLen) return 0;
  p->info = d + pos;
  pos += p->infoLen;
  if (n - pos < 4) return 0;
  p->bitsLen = get32(d + pos);
  pos += 4;
  if (n - pos < p->bitsLen) return 0;
  p->bits = d + pos;
  return 1;
}

SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SPIPictureInfo* info) {
  log_call("GetPictureInfo", len, NULL);
  Parsed p;
  if ((flag & 7) != SPI_INPUT_MEMORY) return SPI_NO_FUNCTION;
  if (!parse(buf, len, &p)) return SPI_OUT_OF_ORDER;
  if (p.flags & 1) return SPI_OUT_OF_ORDER;
  memset(info, 0, sizeof *info);
  if (p.infoLen >= sizeof(SPIBitmapInfoHeader)) {
    SPIBitmapInfoHeader h;
    memcpy(&h, p.info, sizeof h);
    info->width = h.biWidth;
    info->height = h.biHeight;
    info->colorDepth = (int16_t)h.biBitCount;
  }
  if (p.flags & 8) info->width = info->height = 100000;
  if (p.flags & 16) {
    static const char c[] = "hello comment";
    info->hInfo = malloc(sizeof c);
    memcpy(info->hInfo, c, sizeof c);
  }
  info->x_density = 72;
  info->y_density = 96;
  return SPI_ALL_RIGHT;
}

#ifndef TSPI_NO_GETPICTURE
SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                          SPIProgressCallback progress, intptr_t data) {
  log_call("GetPicture", len, NULL);
  Parsed p;
  if ((flag & 7) != SPI_INPUT_MEMORY) return SPI_NO_FUNCTION;
  if (!parse(buf, len, &p)) return SPI_OUT_OF_ORDER;
  if (p.flags & 2) return SPI_OUT_OF_ORDER;
  if (p.flags & 32) {
    static const int steps[][2] = {{0, 4}, {1, 4}, {2, 4}, {4, 4}, {5, 0}};
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i)
      if (progress(steps[i][0], steps[i][1], data) != 0) return SPI_ABORT;
  }
  if (p.flags & 4) {
    *pHBInfo = NULL;
    *pHBm = NULL;
    return SPI_ALL_RIGHT;
  }
  /* Blocks of exactly the sizes the data gives (at least one byte). */
  *pHBInfo = malloc(p.infoLen ? p.infoLen : 1);
  *pHBm = malloc(p.bitsLen ? p.bitsLen : 1);
  if (p.infoLen) memcpy(*pHBInfo, p.info, p.infoLen);
  if (p.bitsLen) memcpy(*pHBm, p.bits, p.bitsLen);
  return SPI_ALL_RIGHT;
}
#endif

#ifdef TSPI_ARCHIVE
SPI_EXPORT int GetArchiveInfo(const char* buf, intptr_t len, unsigned int flag, void** lphInf) {
  return SPI_NO_FUNCTION;
}
SPI_EXPORT int GetFileInfo(const char* buf, intptr_t len, const char* filename, unsigned int flag,
                           SPIFileInfo* info) {
  return SPI_NO_FUNCTION;
}
SPI_EXPORT int GetFile(const char* src, intptr_t len, char* dest, unsigned int flag,
                       SPIProgressCallback progress, intptr_t data) {
  return SPI_NO_FUNCTION;
}
#endif
