/* Image plug-in for the portable anymap formats: PBM (P1, P4), PGM (P2, P5)
 * and PPM (P3, P6), any maximum value up to 65535.  PBM becomes a 1-bit
 * picture, PGM an 8-bit gray one, PPM a 24-bit one. */
#include "imageio/plugins/spiutil.h"

typedef struct {
  const uint8_t* p;
  size_t n;
  size_t pos;
} Reader;

typedef struct {
  int kind;  /* 1..6 */
  int64_t width, height;
  unsigned maxval;
  size_t dataStart; /* offset of the raster */
} PnmHeader;

static int is_space(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

/* Skips white space and comments. */
static void skip_space(Reader* r) {
  while (r->pos < r->n) {
    uint8_t c = r->p[r->pos];
    if (c == '#') {
      while (r->pos < r->n && r->p[r->pos] != '\n' && r->p[r->pos] != '\r') r->pos++;
    } else if (is_space(c)) {
      r->pos++;
    } else {
      break;
    }
  }
}

/* Reads a decimal number; 0 on failure.  Numbers above limit fail. */
static int read_number(Reader* r, int64_t limit, int64_t* out) {
  skip_space(r);
  if (r->pos >= r->n || r->p[r->pos] < '0' || r->p[r->pos] > '9') return 0;
  int64_t v = 0;
  while (r->pos < r->n && r->p[r->pos] >= '0' && r->p[r->pos] <= '9') {
    v = v * 10 + (r->p[r->pos] - '0');
    if (v > limit) return 0;
    r->pos++;
  }
  *out = v;
  return 1;
}

static int parse_header(const uint8_t* p, size_t n, PnmHeader* h) {
  if (n < 3 || p[0] != 'P' || p[1] < '1' || p[1] > '6') return SPI_NOT_SUPPORT;
  h->kind = p[1] - '0';
  Reader r = {p, n, 2};
  if (!is_space(p[2]) && p[2] != '#') return SPI_NOT_SUPPORT;
  int64_t maxval = 1;
  if (!read_number(&r, INT32_MAX, &h->width) || !read_number(&r, INT32_MAX, &h->height))
    return SPI_OUT_OF_ORDER;
  if (h->kind != 1 && h->kind != 4) {
    if (!read_number(&r, 65535, &maxval) || maxval < 1) return SPI_OUT_OF_ORDER;
  }
  h->maxval = (unsigned)maxval;
  if (h->width < 1 || h->height < 1) return SPI_OUT_OF_ORDER;
  /* Exactly one white-space character ends the header of the binary kinds. */
  if (r.pos >= r.n || !is_space(r.p[r.pos])) {
    if (h->kind >= 4 || r.pos < r.n) return SPI_OUT_OF_ORDER;
  } else {
    r.pos++;
  }
  h->dataStart = r.pos;
  return SPI_ALL_RIGHT;
}

SPI_EXPORT int GetPluginInfo(int infono, char* buf, int buflen) {
  static const char* const texts[] = {"00IN", "PBM/PGM/PPM 読み込み (Varoka)", "*.pbm;*.pgm;*.ppm;*.pnm",
                                      "PNM 画像 (PBM/PGM/PPM)"};
  if (infono < 0 || infono >= (int)(sizeof texts / sizeof texts[0])) return 0;
  return spiu_info_text(texts[infono], buf, buflen);
}

SPI_EXPORT int IsSupported(const char* filename, const void* header) {
  (void)filename;
  const uint8_t* h = (const uint8_t*)header;
  if (!h) return 0;
  return h[0] == 'P' && h[1] >= '1' && h[1] <= '6' && (is_space(h[2]) || h[2] == '#');
}

SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SPIPictureInfo* info) {
  if (!info) return SPI_OTHER_ERROR;
  const uint8_t* data;
  size_t size;
  uint8_t* owned;
  int rc = spiu_input(buf, len, flag, &data, &size, &owned);
  if (rc != SPI_ALL_RIGHT) return rc;
  PnmHeader h;
  rc = parse_header(data, size, &h);
  free(owned);
  if (rc != SPI_ALL_RIGHT) return rc;
  memset(info, 0, sizeof *info);
  info->width = (int32_t)h.width;
  info->height = (int32_t)h.height;
  info->colorDepth = (int16_t)(h.kind == 1 || h.kind == 4 ? 1 : h.kind == 2 || h.kind == 5 ? 8 : 24);
  info->hInfo = NULL;
  return SPI_ALL_RIGHT;
}

/* Sample reader for the raster, ASCII or binary. */
typedef struct {
  Reader r;
  int ascii;
  int wide; /* binary samples of 2 bytes */
  unsigned maxval;
} Samples;

static int next_sample(Samples* s, unsigned* out) {
  if (s->ascii) {
    int64_t v;
    if (!read_number(&s->r, 65535, &v) || v > (int64_t)s->maxval) return 0;
    *out = (unsigned)v;
    return 1;
  }
  if (s->wide) {
    if (s->r.n - s->r.pos < 2) return 0;
    *out = ((unsigned)s->r.p[s->r.pos] << 8) | s->r.p[s->r.pos + 1];
    s->r.pos += 2;
  } else {
    if (s->r.pos >= s->r.n) return 0;
    *out = s->r.p[s->r.pos++];
  }
  if (*out > s->maxval) *out = s->maxval;
  return 1;
}

static uint8_t scale(unsigned v, unsigned maxval) {
  return (uint8_t)(maxval == 255 ? v : (v * 255u + maxval / 2) / maxval);
}

/* Plain PBM allows the digits without separators ("0101"). */
static int next_bit(Reader* r, unsigned* out) {
  skip_space(r);
  if (r->pos >= r->n || (r->p[r->pos] != '0' && r->p[r->pos] != '1')) return 0;
  *out = r->p[r->pos++] - '0';
  return 1;
}

SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, void** pHBInfo, void** pHBm,
                          SPIProgressCallback progress, intptr_t lData) {
  if (!pHBInfo || !pHBm) return SPI_OTHER_ERROR;
  *pHBInfo = NULL;
  *pHBm = NULL;
  const uint8_t* data;
  size_t size;
  uint8_t* owned;
  int rc = spiu_input(buf, len, flag, &data, &size, &owned);
  if (rc != SPI_ALL_RIGHT) return rc;
  PnmHeader h;
  rc = parse_header(data, size, &h);
  if (rc == SPI_ALL_RIGHT && !spiu_size_ok(h.width, h.height)) rc = SPI_NO_MEMORY;
  if (rc != SPI_ALL_RIGHT) {
    free(owned);
    return rc;
  }
  const int bpp = (h.kind == 1 || h.kind == 4) ? 1 : (h.kind == 2 || h.kind == 5) ? 8 : 24;
  const int colors = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;
  SPIRGBQuad* table = NULL;
  uint8_t* bits = NULL;
  rc = spiu_alloc_dib((int32_t)h.width, (int32_t)h.height, bpp, colors, pHBInfo, pHBm, &table, &bits);
  if (rc != SPI_ALL_RIGHT) {
    free(owned);
    return rc;
  }
  if (bpp == 1) {
    /* PBM: 1 is black. */
    table[0].rgbBlue = table[0].rgbGreen = table[0].rgbRed = 255;
  } else if (bpp == 8) {
    for (int i = 0; i < 256; ++i) table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = (uint8_t)i;
  }
  const size_t stride = spiu_row_bytes(h.width, bpp);
  Samples s = {{data, size, h.dataStart}, h.kind <= 3, h.maxval > 255, h.maxval};
  const int rows = (int)h.height;
  for (int y = 0; y < rows && rc == SPI_ALL_RIGHT; ++y) {
    uint8_t* row = bits + (size_t)(rows - 1 - y) * stride; /* bottom-up */
    if (h.kind == 4) {
      size_t n = (size_t)((h.width + 7) / 8);
      if (s.r.n - s.r.pos < n) {
        rc = SPI_OUT_OF_ORDER;
        break;
      }
      memcpy(row, s.r.p + s.r.pos, n);
      s.r.pos += n;
    } else {
      for (int64_t x = 0; x < h.width; ++x) {
        unsigned v = 0, g = 0, b = 0;
        if (h.kind == 1) {
          if (!next_bit(&s.r, &v)) {
            rc = SPI_OUT_OF_ORDER;
            break;
          }
          if (v) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        } else if (bpp == 8) {
          if (!next_sample(&s, &v)) {
            rc = SPI_OUT_OF_ORDER;
            break;
          }
          row[x] = scale(v, h.maxval);
        } else {
          if (!next_sample(&s, &v) || !next_sample(&s, &g) || !next_sample(&s, &b)) {
            rc = SPI_OUT_OF_ORDER;
            break;
          }
          row[x * 3] = scale(b, h.maxval);
          row[x * 3 + 1] = scale(g, h.maxval);
          row[x * 3 + 2] = scale(v, h.maxval);
        }
      }
    }
    if (rc == SPI_ALL_RIGHT && spiu_progress(progress, y + 1, rows, lData)) rc = SPI_ABORT;
  }
  free(owned);
  if (rc != SPI_ALL_RIGHT) {
    free(*pHBInfo);
    free(*pHBm);
    *pHBInfo = NULL;
    *pHBm = NULL;
  }
  return rc;
}
