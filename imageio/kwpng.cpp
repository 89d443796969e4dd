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
#include "imageio/pngencode.h"
#include "platform/types.h"

namespace {

constexpr size_t kMessageSize = 200;

// State that libpng's callbacks reach through the io/error pointers.
struct PngIo {
  std::FILE* file = nullptr;      // reading from a file, or
  const uint8_t* data = nullptr;  // reading from memory
  size_t size = 0;
  size_t pos = 0;
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

struct PngReader {
  PngIo io;
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
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

// Creates the libpng reader for r (its source set, the signature read) and
// reads the header; raises for a damaged or too large picture.
Header StartReading(PngReader& r, const std::string& name) {
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.io, ErrorFn, WarningFn);
  if (!r.png) throw EInvalidGraphic("PNG の読み込みを始められません");
  r.info = png_create_info_struct(r.png);
  if (!r.info) throw EInvalidGraphic("PNG の読み込みを始められません");
  png_set_sig_bytes(r.png, 8);
  Header h;
  if (!ReadHeader(r, h)) Damaged(name, r.io.message);
  CheckImageSize(h.width, h.height);
  return h;
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
  const Header h = StartReading(r, name);
  target.Prepare(int(h.width), int(h.height));
  std::vector<png_bytep> rows(h.height);
  for (size_t y = 0; y < h.height; ++y) rows[y] = target.Row(y);
  if (!ReadPixels(r, rows.data())) Damaged(name, r.io.message);
  return h.alpha;
}

void CheckRecord(const TPNGExchange* data) {
  if (!data) throw EInvalidGraphic("PNG の受け渡し記録がありません");
}

}  // namespace

extern "C" int LoadPNGData(const char* fileName, TPNGExchange* data) {
  CheckRecord(data);
  if (!data->Callback) throw EInvalidGraphic("PNG の受け渡し記録にコールバックがありません");
  const std::string name = fileName ? fileName : "";
  kwio::FilePtr file(kwio::OpenForReading(name));
  PngReader r;
  uint8_t sig[8];
  if (std::fread(sig, 1, 8, file.get()) != 8 || png_sig_cmp(sig, 0, 8) != 0)
    Damaged(name, "PNG の署名がありません");
  r.io.file = file.get();
  const Header h = StartReading(r, name);
  data->Width = int32_t(h.width);
  data->Height = int32_t(h.height);
  data->PixelFormat = h.alpha ? 7 : 6;
  data->Buffer = nullptr;
  data->Callback();
  if (!data->Buffer) throw EInvalidGraphic("PNG の受け渡し記録に画素のアドレスがありません");
  // The rows are decoded straight into the caller's bottom-up buffer.
  const size_t stride = size_t(h.width) * 4;
  std::vector<png_bytep> rows(h.height);
  for (size_t y = 0; y < h.height; ++y) rows[y] = data->Buffer + (size_t(h.height) - 1 - y) * stride;
  if (!ReadPixels(r, rows.data())) Damaged(name, r.io.message);
  return 1;
}

extern "C" int SavePNGData(const char* fileName, TPNGExchange* data) {
  CheckRecord(data);
  const std::string name = fileName ? fileName : "";
  if (data->PixelFormat != 6 && data->PixelFormat != 7)
    throw EInvalidGraphic("PNG の保存: 画素形式 " + std::to_string(data->PixelFormat) +
                          " は扱えません");
  if (data->Width <= 0 || data->Height <= 0)
    throw EInvalidGraphic("空の画像は PNG" + kwio::Quoted(name) + "に保存できません");
  CheckImageSize(data->Width, data->Height);
  if (!data->Buffer) throw EInvalidGraphic("PNG の保存: 画素のアドレスがありません");
  kwio::ReplacingFile file(name);
  kwpng::Encode(data->Width, data->Height, data->PixelFormat == 7, data->Buffer,
                [&](const uint8_t* p, size_t n) { file.Write(p, n); });
  file.Commit();
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
