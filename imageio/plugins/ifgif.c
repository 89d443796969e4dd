/* Image plug-in for GIF (87a and 89a) through giflib.  The first frame is
 * placed on the logical screen.  Without a transparent colour the picture
 * is 8-bit with the frame's colour map, the area outside the frame in the
 * background colour; with one it is 32-bit, transparent pixels (and the area
 * outside the frame) having alpha 0 and every other pixel alpha 255. */
#include <gif_lib.h>

#include "imageio/plugins/spiutil.h"

typedef struct {
  const uint8_t* p;
  size_t n;
  size_t pos;
} MemInput;

static int read_mem(GifFileType* gif, GifByteType* out, int len) {
  MemInput* in = (MemInput*)gif->UserData;
  if (len <= 0) return 0;
  size_t left = in->n - in->pos;
  size_t take = (size_t)len < left ? (size_t)len : left;
  memcpy(out, in->p + in->pos, take);
  in->pos += take;
  return (int)take;
}

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
  static const char* const texts[] = {"00IN", "GIF 読み込み (Varoka, giflib)", "*.gif", "GIF 画像"};
  if (infono < 0 || infono >= (int)(sizeof texts / sizeof texts[0])) return 0;
  return spiu_info_text(texts[infono], buf, buflen);
}

SPI_EXPORT int IsSupported(const char* filename, const void* header) {
  (void)filename;
  const uint8_t* h = (const uint8_t*)header;
  return h && (memcmp(h, "GIF87a", 6) == 0 || memcmp(h, "GIF89a", 6) == 0);
}

static GifFileType* open_gif(MemInput* in, const char* buf, intptr_t len, unsigned flag,
                             uint8_t** owned, int* rc) {
  const uint8_t* data;
  size_t size;
  *rc = spiu_input(buf, len, flag, &data, &size, owned);
  if (*rc != SPI_ALL_RIGHT) return NULL;
  in->p = data;
  in->n = size;
  in->pos = 0;
  if (size < 6 || (memcmp(data, "GIF87a", 6) != 0 && memcmp(data, "GIF89a", 6) != 0)) {
    *rc = SPI_NOT_SUPPORT;
    return NULL;
  }
  int err = 0;
  GifFileType* gif = DGifOpen(in, read_mem, &err);
  if (!gif) *rc = SPI_OUT_OF_ORDER;
  return gif;
}

SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SPIPictureInfo* info) {
  if (!info) return SPI_OTHER_ERROR;
  MemInput in;
  uint8_t* owned = NULL;
  int rc;
  GifFileType* gif = open_gif(&in, buf, len, flag, &owned, &rc);
  if (!gif) {
    free(owned);
    return rc;
  }
  memset(info, 0, sizeof *info);
  info->width = gif->SWidth;
  info->height = gif->SHeight;
  info->colorDepth = 8;
  DGifCloseFile(gif, NULL);
  free(owned);
  if (info->width < 1 || info->height < 1) return SPI_OUT_OF_ORDER;
  return SPI_ALL_RIGHT;
}

/* Reads up to the first image: its descriptor is in gif->Image, the
 * transparent index (or -1) in *transparent. */
static int find_first_image(GifFileType* gif, int* transparent) {
  *transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return SPI_OUT_OF_ORDER;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) return SPI_OUT_OF_ORDER;
      return SPI_ALL_RIGHT;
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = NULL;
      if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return SPI_OUT_OF_ORDER;
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
        GraphicsControlBlock gcb;
        if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK) *transparent = gcb.TransparentColor;
      }
      while (ext) {
        if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return SPI_OUT_OF_ORDER;
      }
      continue;
    }
    /* End of file (or an unknown record) before any image. */
    return SPI_OUT_OF_ORDER;
  }
}

SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                          SPIProgressCallback progress, intptr_t lData) {
  if (!pHBInfo || !pHBm) return SPI_OTHER_ERROR;
  *pHBInfo = NULL;
  *pHBm = NULL;
  MemInput in;
  uint8_t* owned = NULL;
  int rc;
  GifFileType* gif = open_gif(&in, buf, len, flag, &owned, &rc);
  if (!gif) {
    free(owned);
    return rc;
  }
  const int32_t sw = gif->SWidth, sh = gif->SHeight;
  int transparent = -1;
  uint8_t* frame = NULL;
  if (!spiu_size_ok(sw, sh)) rc = SPI_NO_MEMORY;
  if (rc == SPI_ALL_RIGHT) rc = find_first_image(gif, &transparent);
  const GifImageDesc* d = &gif->Image;
  const ColorMapObject* map = NULL;
  int fx = 0, fy = 0, fw = 0, fh = 0;
  if (rc == SPI_ALL_RIGHT) {
    map = d->ColorMap ? d->ColorMap : gif->SColorMap;
    fx = d->Left;
    fy = d->Top;
    fw = d->Width;
    fh = d->Height;
    if (fw < 1 || fh < 1 || !spiu_size_ok(fw, fh)) rc = SPI_OUT_OF_ORDER;
  }
  if (rc == SPI_ALL_RIGHT) {
    frame = (uint8_t*)malloc((size_t)fw * (size_t)fh);
    if (!frame) rc = SPI_NO_MEMORY;
  }
  if (rc == SPI_ALL_RIGHT) {
    /* Rows in file order; interlaced frames come in four passes. */
    static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    const int passes = d->Interlace ? 4 : 1;
    int done = 0;
    for (int p = 0; p < passes && rc == SPI_ALL_RIGHT; ++p) {
      int y0 = d->Interlace ? start[p] : 0, dy = d->Interlace ? step[p] : 1;
      for (int y = y0; y < fh; y += dy) {
        if (DGifGetLine(gif, frame + (size_t)y * (size_t)fw, fw) == GIF_ERROR) {
          rc = SPI_OUT_OF_ORDER;
          break;
        }
        if (spiu_progress(progress, ++done, fh, lData)) {
          rc = SPI_ABORT;
          break;
        }
      }
    }
  }
  SPIRGBQuad* table = NULL;
  uint8_t* bits = NULL;
  if (rc == SPI_ALL_RIGHT) {
    const int bpp = transparent >= 0 ? 32 : 8;
    rc = spiu_alloc_dib(sw, sh, bpp, bpp == 8 ? 256 : 0, pHBInfo, pHBm, &table, &bits);
  }
  if (rc == SPI_ALL_RIGHT) {
    const int ncolors = map ? map->ColorCount : 0;
    const int bg = gif->SBackGroundColor;
    const size_t stride = spiu_row_bytes(sw, transparent >= 0 ? 32 : 8);
    if (transparent < 0) {
      for (int i = 0; i < ncolors && i < 256; ++i) {
        table[i].rgbRed = map->Colors[i].Red;
        table[i].rgbGreen = map->Colors[i].Green;
        table[i].rgbBlue = map->Colors[i].Blue;
      }
    }
    for (int y = 0; y < sh; ++y) {
      uint8_t* row = bits + (size_t)(sh - 1 - y) * stride; /* bottom-up */
      const int inFrameRow = y >= fy && y < fy + fh;
      for (int x = 0; x < sw; ++x) {
        int idx = -1;
        if (inFrameRow && x >= fx && x < fx + fw) idx = frame[(size_t)(y - fy) * (size_t)fw + (size_t)(x - fx)];
        if (transparent < 0) {
          row[x] = (uint8_t)(idx < 0 ? bg : idx);
        } else if (idx >= 0 && idx != transparent && idx < ncolors) {
          row[x * 4] = map->Colors[idx].Blue;
          row[x * 4 + 1] = map->Colors[idx].Green;
          row[x * 4 + 2] = map->Colors[idx].Red;
          row[x * 4 + 3] = 255;
        }
      }
    }
  }
  free(frame);
  DGifCloseFile(gif, NULL);
  free(owned);
  if (rc != SPI_ALL_RIGHT) {
    free(*pHBInfo);
    free(*pHBm);
    *pHBInfo = NULL;
    *pHBm = NULL;
  }
  return rc;
}
