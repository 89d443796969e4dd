/* Image plug-in interface (for plug-in authors).  Plain C; include it from C
 * or C++.
 *
 * A plug-in is a shared library with the file extension ".spi" that exports
 * the functions below with C linkage (default visibility).  The program
 * looks for plug-ins in its own folder and in the per-user folder
 *     $XDG_DATA_HOME/Varoka/Plugins/   (default ~/.local/share/Varoka/Plugins/)
 * loads each one with dlopen and looks the functions up by name.
 *
 * What a plug-in is, is told by GetPluginInfo(0): "00IN" for an image reader
 * (the only kind the program reads pictures through), "00AM" for an archive
 * reader.  An image reader must export GetPluginInfo, IsSupported,
 * GetPictureInfo and GetPicture; GetPreview and ConfigurationDlg are
 * optional.  An archive reader must export GetPluginInfo, IsSupported,
 * GetArchiveInfo, GetFileInfo and GetFile.
 *
 * GetPluginInfo(n, buf, buflen) writes the n-th information text (at most
 * buflen bytes, NUL-terminated when room is left) and returns its length, or
 * 0 when there is no such text:
 *     0  the API version, "00IN"
 *     1  a description of the plug-in
 *     2  extension patterns, e.g. "*.gif" or "*.pgm;*.ppm;*.pbm"
 *     3  the format name for the patterns of 2, e.g. "GIF image"
 *     4, 5 / 6, 7 / ...  further pattern / format-name pairs
 * The program passes a 256-byte buffer and buflen 255.  A plug-in that
 * reports a length above buflen is refused.
 *
 * IsSupported(fileName, header) answers non-zero when the plug-in reads the
 * file.  header points to the first 2048 bytes of the data (zero-padded when
 * the data is shorter); fileName may be empty.
 *
 * GetPictureInfo(buf, len, flag, info) and GetPicture(buf, len, flag, ...):
 * the program always passes the data in memory: flag 1 (SPI_INPUT_MEMORY),
 * buf the data, len its exact length (which may be less than 2048).  With
 * flag 0 buf would be a file name and len an offset into the file; a plug-in
 * may return SPI_NO_FUNCTION for that mode.
 *
 * GetPicture returns two memory handles through pHBInfo and pHBm:
 *   - *pHBInfo: a BITMAPINFO: a 40-byte SPIBitmapInfoHeader followed by the
 *     colour table (SPIRGBQuad entries; biClrUsed entries, or when that is 0,
 *     2 for 1 bit, 16 for 4 bits, 256 for 8 bits, none otherwise);
 *   - *pHBm: the pixel rows as in a BMP file: each row padded to a multiple
 *     of 4 bytes, bottom row first when biHeight > 0, top row first when
 *     biHeight < 0.
 * biBitCount 1, 4, 8, 24 and 32 are taken (biCompression 0); 32-bit pixels
 * are B, G, R, A and the picture is then taken to have an alpha channel.
 * Both handles, and PictureInfo.hInfo (comment text, or NULL), are plain
 * pointers that the plug-in allocates with malloc() and the program releases
 * with free().  The program checks every size the headers claim against the
 * size of the allocation, so each block must come from malloc() of the C
 * library the program uses (do not link a private allocator).
 *
 * The progress callback receives (num, denom, data) with 0 <= num <= denom
 * and the data value that GetPicture was given; it returns 0 to go on and
 * non-zero to abort (GetPicture then returns SPI_ABORT).
 *
 * All functions return SPI_ALL_RIGHT (0) on success or one of the error codes
 * below; none may throw C++ exceptions or call exit().
 *
 * Building one: define SPI_DECLARE_PLUGIN_FUNCTIONS before including this
 * header to get the exported prototypes, then for example
 *     cc -shared -fPIC -fvisibility=hidden -O2 -o myformat.spi myformat.c
 * and copy myformat.spi into the per-user folder above.  imageio/plugins/
 * holds complete plug-ins (ifpnm.c: hand-written PBM/PGM/PPM reader;
 * ifgif.c: GIF through giflib).
 */
#ifndef KW_SPI_API_H
#define KW_SPI_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define SPI_NO_FUNCTION (-1)   /* the plug-in does not offer this function */
#define SPI_ALL_RIGHT 0        /* success */
#define SPI_ABORT 1            /* the callback returned non-zero */
#define SPI_NOT_SUPPORT 2      /* unknown format */
#define SPI_OUT_OF_ORDER 3     /* the data is damaged */
#define SPI_NO_MEMORY 4        /* memory could not be allocated */
#define SPI_MEMORY_ERROR 5     /* memory error */
#define SPI_FILE_READ_ERROR 6  /* the file could not be read */
#define SPI_WINDOW_ERROR 7     /* a window could not be opened */
#define SPI_OTHER_ERROR 8      /* internal error */

/* Values of the flag argument (low 3 bits: where the input is). */
#define SPI_INPUT_FILE 0
#define SPI_INPUT_MEMORY 1

/* What GetPictureInfo reports. */
typedef struct SPIPictureInfo {
  int32_t left, top;       /* position of the picture (usually 0, 0) */
  int32_t width, height;   /* size in pixels */
  uint16_t x_density;      /* pixel density, 0 when unknown */
  uint16_t y_density;
  int16_t colorDepth;      /* bits per pixel */
  void* hInfo;             /* comment text (malloc'd, NUL-terminated) or NULL */
} SPIPictureInfo;

/* The 40-byte header at the start of the *pHBInfo block. */
typedef struct SPIBitmapInfoHeader {
  uint32_t biSize;         /* 40 */
  int32_t biWidth;
  int32_t biHeight;        /* > 0: rows bottom-up; < 0: rows top-down */
  uint16_t biPlanes;       /* 1 */
  uint16_t biBitCount;     /* 1, 4, 8, 24 or 32 */
  uint32_t biCompression;  /* 0 */
  uint32_t biSizeImage;    /* may be 0 */
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;      /* colour-table entries, 0 = all for the depth */
  uint32_t biClrImportant;
} SPIBitmapInfoHeader;

/* One colour-table entry. */
typedef struct SPIRGBQuad {
  uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} SPIRGBQuad;

/* One entry of an archive's file list (archive plug-ins only). */
typedef struct SPIFileInfo {
  uint8_t method[8];
  uintptr_t position;
  uintptr_t compsize;
  uintptr_t filesize;
  int64_t timestamp;
  char path[200];
  char filename[200];
  uint32_t crc;
} SPIFileInfo;

typedef int (*SPIProgressCallback)(int num, int denom, intptr_t data);

/* The exported functions, as their types (the program looks them up by these
 * names: GetPluginInfo, IsSupported, GetPictureInfo, GetPicture, GetPreview,
 * GetArchiveInfo, GetFileInfo, GetFile, ConfigurationDlg). */
typedef int (*SPIGetPluginInfoFunc)(int infono, char* buf, int buflen);
typedef int (*SPIIsSupportedFunc)(const char* filename, const void* header);
typedef int (*SPIGetPictureInfoFunc)(const char* buf, intptr_t len, unsigned int flag,
                                     SPIPictureInfo* info);
typedef int (*SPIGetPictureFunc)(const char* buf, intptr_t len, unsigned int flag,
                                 void** pHBInfo, void** pHBm,
                                 SPIProgressCallback progress, intptr_t data);
typedef int (*SPIGetPreviewFunc)(const char* buf, intptr_t len, unsigned int flag,
                                 void** pHBInfo, void** pHBm,
                                 SPIProgressCallback progress, intptr_t data);
typedef int (*SPIGetArchiveInfoFunc)(const char* buf, intptr_t len, unsigned int flag,
                                     void** lphInf);
typedef int (*SPIGetFileInfoFunc)(const char* buf, intptr_t len, const char* filename,
                                  unsigned int flag, SPIFileInfo* info);
typedef int (*SPIGetFileFunc)(const char* src, intptr_t len, char* dest, unsigned int flag,
                              SPIProgressCallback progress, intptr_t data);
typedef int (*SPIConfigurationDlgFunc)(void* parent, int fnc);

/* Prototypes for a plug-in's own source (define SPI_EXPORT before including
 * this header to mark them exported). */
#ifdef SPI_DECLARE_PLUGIN_FUNCTIONS
#ifndef SPI_EXPORT
#define SPI_EXPORT __attribute__((visibility("default")))
#endif
SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen);
SPI_EXPORT int IsSupported(const char* filename, const void* header);
SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag,
                              SPIPictureInfo* info);
SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo,
                          void** pHBm, SPIProgressCallback progress, intptr_t data);
#endif

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(SPIBitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(SPIRGBQuad) == 4, "RGBQUAD is 4 bytes");
#endif

#endif /* KW_SPI_API_H */
