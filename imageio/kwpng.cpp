// PNG coding with libpng.  libpng reports errors by longjmp; every function
// here that calls setjmp keeps only trivially destructible locals, and all
// C++ objects live in the callers, so no destructor is ever skipped.
#include "imageio/kwpng.h"

#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imageio/decodetarget.h"
#include "imageio/fileio.h"
#include "platform/types.h"

namespace {

constexpr size_t kMessageSize = 200;

// State that libpng's callbacks reach through the io/error pointers.
struct PngIo {
  std::FILE* file = nullptr;      // reading from a file, or
  const uint8_t* data = nullptr;  // reading from memory
  size_t size = 0;
  size_t pos = 0;
  uint8_t* out = nullptr;  // writing: malloc'd, grows
  size_t outSize = 0;
  size_t outCap = 0;
  char message[kMessageSize] = {};
};

void ErrorFn(png_structp png, png_const_charp msg) {
  auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
  if (io && io->message[0] == '\0') std::snprintf(io->message, kMessageSize, "%s", msg ? msg : "");
  png_longjmp(png, 1);
}

void WarningFn(png_structp, png_const_charp) {}

void ReadFn(png_structp png, png_bytep out, size_t len) {
  auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (io->file) {
    if (std::fread(out, 1, len, io->file) != len)
      png_error(png, std::ferror(io->file) ? "read error" : "unexpected end of file");
    return;
  }
  if (len > io->size - io->pos) png_error(png, "unexpected end of file");
  std::memcpy(out, io->data + io->pos, len);
  io->pos += len;
}

void WriteFn(png_structp png, png_bytep in, size_t len) {
  auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (len > io->outCap - io->outSize) {
    size_t cap = io->outCap ? io->outCap : 65536;
    while (cap - io->outSize < len) {
      if (cap > SIZE_MAX / 2) png_error(png, "out of memory");
      cap *= 2;
    }
    void* p = std::realloc(io->out, cap);
    if (!p) png_error(png, "out of memory");
    io->out = static_cast<uint8_t*>(p);
    io->outCap = cap;
  }
  std::memcpy(io->out + io->outSize, in, len);
  io->outSize += len;
}

void FlushFn(png_structp) {}

struct PngReader {
  PngIo io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct PngWriter {
  PngIo io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriter() {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::free(io.out);
  }
};

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  bool alpha = false;
};

// Reads the signature and the chunks up to the image data and sets the
// transformations to 8-bit B, G, R, A.
bool ReadHeader(PngReader& r, Header& h) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &r.io, ReadFn);
  // Sizes are checked by CheckImageSize; libpng's own cap only guards the
  // header fields it validates.
  png_set_user_limits(r.png, PNG_USER_WIDTH_MAX, PNG_USER_HEIGHT_MAX);
  png_set_chunk_malloc_max(r.png, 64u << 20);
  png_read_info(r.png, r.info);
  png_uint_32 w = 0, hgt = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(r.png, r.info, &w, &hgt, &depth, &colorType, &interlace, nullptr, nullptr);
  bool trns = png_get_valid(r.png, r.info, PNG_INFO_tRNS) != 0;
  h.width = w;
  h.height = hgt;
  h.alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || trns;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
  if (trns) png_set_tRNS_to_alpha(r.png);
  if (depth == 16) png_set_scale_16(r.png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(r.png);
  png_set_bgr(r.png);
  // Without alpha the fourth byte is 0.
  if (!h.alpha) png_set_filler(r.png, 0, PNG_FILLER_AFTER);
  png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  if (png_get_rowbytes(r.png, r.info) != size_t(w) * 4) png_error(r.png, "unexpected row layout");
  return true;
}

bool ReadPixels(PngReader& r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_image(r.png, rows);
  // The chunks after the image are checked too: a file cut short after the
  // last row is still damaged.
  png_read_end(r.png, nullptr);
  return true;
}

[[noreturn]] void Damaged(const std::string& name, const char* detail) {
  throw EInvalidGraphic("PNG 画像" + kwio::Quoted(name) + "が壊れているか、読めない形式です（" +
                        detail + "）");
}

// Decodes from memory (data, size) or, when file is set, from the file,
// into target; returns whether the file has alpha.
bool Decode(std::FILE* file, const uint8_t* data, size_t size, const std::string& name,
            kwio::DecodeTarget& target) {
  PngReader r;
  if (file) {
    uint8_t sig[8];
    if (std::fread(sig, 1, 8, file) != 8 || png_sig_cmp(sig, 0, 8) != 0)
      Damaged(name, "PNG の署名がありません");
    r.io.file = file;
  } else {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) Damaged(name, "PNG の署名がありません");
    r.io.data = data;
    r.io.size = size;
    r.io.pos = 8;
  }
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.io, ErrorFn, WarningFn);
  if (!r.png) throw EInvalidGraphic("PNG の読み込みを始められません");
  r.info = png_create_info_struct(r.png);
  if (!r.info) throw EInvalidGraphic("PNG の読み込みを始められません");
  png_set_sig_bytes(r.png, 8);
  Header h;
  if (!ReadHeader(r, h)) Damaged(name, r.io.message);
  CheckImageSize(h.width, h.height);
  target.Prepare(int(h.width), int(h.height));
  std::vector<png_bytep> rows(h.height);
  for (size_t y = 0; y < h.height; ++y) rows[y] = target.Row(y);
  if (!ReadPixels(r, rows.data())) Damaged(name, r.io.message);
  return h.alpha;
}

bool EncodeRows(PngWriter& w, uint32_t width, uint32_t height, bool alpha, png_bytepp rows) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_set_write_fn(w.png, &w.io, WriteFn, FlushFn);
  png_set_IHDR(w.png, w.info, width, height, 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w.png, w.info);
  png_set_bgr(w.png);
  // Rows come as 4 bytes per pixel; for RGB the fourth byte is dropped.
  if (!alpha) png_set_filler(w.png, 0, PNG_FILLER_AFTER);
  png_write_image(w.png, rows);
  png_write_end(w.png, nullptr);
  return true;
}

// Encodes a bottom-up 32-bit buffer; the result is malloc'd into w.io.out.
void Encode(PngWriter& w, int32_t width, int32_t height, bool alpha, const uint8_t* bottomRow,
            const std::string& name) {
  if (width <= 0 || height <= 0)
    throw EInvalidGraphic("空の画像は PNG" + kwio::Quoted(name) + "に保存できません");
  CheckImageSize(width, height);
  if (!bottomRow) throw EInvalidGraphic("PNG の保存: 画素のアドレスがありません");
  w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.io, ErrorFn, WarningFn);
  if (!w.png) throw EInvalidGraphic("PNG の書き込みを始められません");
  w.info = png_create_info_struct(w.png);
  if (!w.info) throw EInvalidGraphic("PNG の書き込みを始められません");
  const size_t stride = size_t(width) * 4;
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  // Row 0 of the file is the top row, the last one in the buffer.
  for (size_t y = 0; y < size_t(height); ++y)
    rows[y] = const_cast<png_bytep>(bottomRow + (size_t(height) - 1 - y) * stride);
  if (!EncodeRows(w, uint32_t(width), uint32_t(height), alpha, rows.data()))
    throw EInvalidGraphic("PNG" + kwio::Quoted(name) + "を作れません（" +
                          std::string(w.io.message) + "）");
}

void CheckRecord(const TPNGExchange* data) {
  if (!data) throw EInvalidGraphic("PNG の受け渡し記録がありません");
}

}  // namespace

extern "C" int LoadPNGData(const char* fileName, TPNGExchange* data) {
  CheckRecord(data);
  if (!data->Callback) throw EInvalidGraphic("PNG の受け渡し記録にコールバックがありません");
  const std::string name = fileName ? fileName : "";
  kwio::DecodeTarget d(nullptr);
  bool alpha = false;
  {
    kwio::FilePtr file(kwio::OpenForReading(name));
    alpha = Decode(file.get(), nullptr, 0, name, d);
  }
  data->Width = d.Width();
  data->Height = d.Height();
  data->PixelFormat = alpha ? 7 : 6;
  data->Buffer = nullptr;
  data->Callback();
  if (!data->Buffer) throw EInvalidGraphic("PNG の受け渡し記録に画素のアドレスがありません");
  const size_t stride = size_t(d.Width()) * 4;
  for (size_t y = 0; y < size_t(d.Height()); ++y)
    std::memcpy(data->Buffer + (size_t(d.Height()) - 1 - y) * stride, d.Row(y), stride);
  return 1;
}

extern "C" int SavePNGData(const char* fileName, TPNGExchange* data) {
  CheckRecord(data);
  const std::string name = fileName ? fileName : "";
  if (data->PixelFormat != 6 && data->PixelFormat != 7)
    throw EInvalidGraphic("PNG の保存: 画素形式 " + std::to_string(data->PixelFormat) +
                          " は扱えません");
  PngWriter w;
  Encode(w, data->Width, data->Height, data->PixelFormat == 7, data->Buffer, name);
  kwio::WriteFileReplacing(name, w.io.out, w.io.outSize);
  return 1;
}

void LoadPNGMemory(const uint8_t* data, size_t size, TBitmap& dst, bool& hasAlpha) {
  kwio::DecodeTarget target(&dst);
  bool alpha = Decode(nullptr, data, size, "", target);
  target.Commit();
  hasAlpha = alpha;
}

void LoadPNGFile(const std::string& fileName, TBitmap& dst, bool& hasAlpha) {
  kwio::FilePtr file(kwio::OpenForReading(fileName));
  kwio::DecodeTarget target(&dst);
  bool alpha = Decode(file.get(), nullptr, 0, fileName, target);
  target.Commit();
  hasAlpha = alpha;
}

void SavePNGFile(const std::string& fileName, const TBitmap& src, bool hasAlpha) {
  TPNGExchange rec{};
  rec.Width = src.Width();
  rec.Height = src.Height();
  rec.PixelFormat = hasAlpha ? 7 : 6;
  const TBitmap* from = &src;
  TBitmap converted;
  if (src.PixelFormat() != pf32bit && !src.Empty()) {
    converted.Assign(src);
    converted.SetPixelFormat(pf32bit);
    from = &converted;
  }
  rec.Buffer = from->Empty() ? nullptr : const_cast<uint8_t*>(from->ScanLine(from->Height() - 1));
  SavePNGData(fileName.c_str(), &rec);
}
