// JPEG coding with libjpeg.  libjpeg reports errors through its error
// manager; ours longjmps back into the function that set the jump, and those
// functions keep only trivially destructible locals (C++ objects live in the
// callers), so no destructor is ever skipped.
#include "imageio/jpegio.h"

#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "imageio/decodetarget.h"
#include "imageio/fileio.h"
#include "platform/types.h"
#include "procdef/kwparallel.h"

namespace {

// A progressive file may hold any number of scans, and every scan costs a
// pass over the whole coefficient buffer of the declared size, however
// little data it carries.  Encoders use about ten; files with far more are
// refused, as are files whose damage makes the decoder warn again and again
// (each empty scan is such a warning).  So a small file cannot keep the
// decoder busy for minutes.
constexpr int kMaxScans = 100;
constexpr long kMaxWarnings = 20;

struct ErrorMgr {
  jpeg_error_mgr pub;  // first, so that the libjpeg pointer converts back
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  const char* refusal = nullptr;  // our own reason, instead of libjpeg's message
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  if (err->refusal)
    std::snprintf(err->message, sizeof err->message, "%s", err->refusal);
  else
    (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void Refuse(j_common_ptr cinfo, const char* why) {
  reinterpret_cast<ErrorMgr*>(cinfo->err)->refusal = why;
  ErrorExit(cinfo);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  // A file that ends early would be filled up with gray: refuse it instead.
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) ErrorExit(cinfo);
  if (level < 0 && ++cinfo->err->num_warnings > kMaxWarnings)
    Refuse(cinfo, "データの破損が多すぎます");
}

// Called before each piece of input is taken in; the decoder's scan count
// is known by then.
void ProgressMonitor(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
    Refuse(cinfo, "スキャンの数が多すぎます");
}

void OutputMessage(j_common_ptr) {}

// Clears a codec object and gives it the error manager that turns libjpeg's
// errors (and its premature-end warning) into exceptions.
template <class Info>
void InitCodec(Info& cinfo, ErrorMgr& err) {
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.message[0] = '\0';
}

struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorMgr err;
  jpeg_progress_mgr progress{};
  bool created = false;
  Decoder() {
    InitCodec(cinfo, err);
    progress.progress_monitor = ProgressMonitor;
  }
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

struct Encoder {
  jpeg_compress_struct cinfo;
  ErrorMgr err;
  bool created = false;
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  Encoder() { InitCodec(cinfo, err); }
  ~Encoder() {
    if (created) jpeg_destroy_compress(&cinfo);
    std::free(out);
  }
};

enum class Kind { Color, Gray, Cmyk, CmykInverted };

// Reading from memory (data, size) or, when file is set, from the file as
// the decoder asks for it.
bool ReadHeader(Decoder& d, std::FILE* file, const uint8_t* data, size_t size, Kind& kind) {
  if (setjmp(d.err.jump)) return false;
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  d.cinfo.progress = &d.progress;  // after creating: it clears the struct
  if (file)
    jpeg_stdio_src(&d.cinfo, file);
  else
    jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&d.cinfo, TRUE);
  switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      d.cinfo.out_color_space = JCS_GRAYSCALE;
      kind = Kind::Gray;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.cinfo.out_color_space = JCS_CMYK;
      // Adobe applications store CMYK inverted (0 = full ink).
      kind = d.cinfo.saw_Adobe_marker ? Kind::CmykInverted : Kind::Cmyk;
      break;
    default:
      d.cinfo.out_color_space = JCS_EXT_BGRA;
      kind = Kind::Color;
      break;
  }
  return true;
}

inline uint8_t Div255(unsigned v) { return uint8_t((v + 127) / 255); }

// Decodes rows [first, end) into the target's 32-bit rows (A bytes 0).  The
// rows above first are skipped: their coded data is still read (it cannot
// be found otherwise), but not transformed or converted.
bool ReadRows(Decoder& d, Kind kind, kwio::DecodeTarget& out, uint8_t* scratch, JDIMENSION first, JDIMENSION end) {
  if (setjmp(d.err.jump)) return false;
  jpeg_start_decompress(&d.cinfo);
  if (d.cinfo.output_width != JDIMENSION(out.Width()) || d.cinfo.output_height != JDIMENSION(out.Height()) ||
      end > d.cinfo.output_height || first > end) {
    std::snprintf(d.err.message, sizeof d.err.message, "unexpected output size");
    return false;
  }
#if LIBJPEG_TURBO_VERSION_NUMBER >= 1005000
  if (first > 0 && jpeg_skip_scanlines(&d.cinfo, first) != first) {
    std::snprintf(d.err.message, sizeof d.err.message, "rows could not be skipped");
    return false;
  }
#else
  if (first > 0) return false;
#endif
  const JDIMENSION w = d.cinfo.output_width;
  while (d.cinfo.output_scanline < end) {
    uint8_t* row = out.Row(d.cinfo.output_scanline);
    JSAMPROW target = kind == Kind::Color ? row : scratch;
    jpeg_read_scanlines(&d.cinfo, &target, 1);
    switch (kind) {
      case Kind::Color: {
        // Whole pixels at a time (rows are 32-bit aligned), in vector code.
        uint32_t* px = reinterpret_cast<uint32_t*>(row);
        for (size_t x = 0; x < size_t(w); ++x) px[x] &= 0x00FFFFFFu;  // the fourth byte
        break;
      }
      case Kind::Gray:
        for (JDIMENSION x = 0; x < w; ++x) {
          uint8_t g = scratch[x];
          row[x * 4] = row[x * 4 + 1] = row[x * 4 + 2] = g;
          row[x * 4 + 3] = 0;
        }
        break;
      case Kind::Cmyk:
      case Kind::CmykInverted:
        for (JDIMENSION x = 0; x < w; ++x) {
          unsigned c = scratch[x * 4], m = scratch[x * 4 + 1], y = scratch[x * 4 + 2],
                   k = scratch[x * 4 + 3];
          if (kind == Kind::Cmyk) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
          }
          row[x * 4] = Div255(y * k);
          row[x * 4 + 1] = Div255(m * k);
          row[x * 4 + 2] = Div255(c * k);
          row[x * 4 + 3] = 0;
        }
        break;
    }
  }
  if (end == d.cinfo.output_height)
    jpeg_finish_decompress(&d.cinfo);
  else
    jpeg_abort_decompress(&d.cinfo);
  return true;
}

// A single-scan picture held in memory is decoded by several decoders at
// once, each taking a part of the rows.  The coded data of a scan can only
// be read from its start, so the decoder of a later part reads (without
// decoding) the rows before it; reading is about half the cost of
// decoding, so part k gets half the rows of part k - 1 and all finish
// together.  Each decoder is libjpeg doing what it does for the whole
// picture, so the rows are the same bytes.  Anything unusual (an error, a
// warning about damaged data) sends the picture back to the one decoder,
// whose handling of damage stays the only one.
constexpr uint64_t kPartsFromPixels = uint64_t(1) << 16;
constexpr int kMaxParts = 4;

int PartsFor(const jpeg_decompress_struct& cinfo) {
#if LIBJPEG_TURBO_VERSION_NUMBER >= 1005000
  if (cinfo.progressive_mode || cinfo.buffered_image) return 1;
  if (uint64_t(cinfo.image_width) * cinfo.image_height < kPartsFromPixels) return 1;
  return std::min(KWThreadCount(), kMaxParts);
#else
  (void)cinfo;
  return 1;
#endif
}

// The first rows of each part: multiples of the rows one pass of the
// decoder yields, so that skipping never decodes a row group in part.
std::vector<JDIMENSION> PartStarts(JDIMENSION height, JDIMENSION groupRows, int parts) {
  double total = 0, weight = 1;
  for (int k = 0; k < parts; ++k, weight /= 2) total += weight;
  std::vector<JDIMENSION> starts{0};
  double sum = 0;
  weight = 1;
  for (int k = 1; k < parts; ++k, weight /= 2) {
    sum += weight;
    const JDIMENSION at = JDIMENSION(double(height) * sum / total) / groupRows * groupRows;
    if (at > starts.back() && at < height) starts.push_back(at);
  }
  starts.push_back(height);
  return starts;
}

// False when a part failed or saw damage: the caller decodes the picture
// in one piece.
bool ReadInParts(const uint8_t* data, size_t size, Kind kind, JDIMENSION groupRows, int parts,
                 kwio::DecodeTarget& out) {
  const std::vector<JDIMENSION> starts = PartStarts(JDIMENSION(out.Height()), groupRows, parts);
  const int count = int(starts.size()) - 1;
  if (count < 2) return false;
  std::vector<char> ok(size_t(count), 0);
  TKWRowJob job;
  job.Count = count;
  job.Row = [&](int k) {
    Decoder d;
    Kind same = kind;
    std::vector<uint8_t> scratch(size_t(out.Width()) * 4);
    ok[size_t(k)] = ReadHeader(d, nullptr, data, size, same) && same == kind &&
                    ReadRows(d, kind, out, scratch.data(), starts[size_t(k)], starts[size_t(k) + 1]) &&
                    d.cinfo.err->num_warnings == 0;
  };
  KWRunRows(job);
  return std::all_of(ok.begin(), ok.end(), [](char c) { return c != 0; });
}

[[noreturn]] void Damaged(const std::string& name, const char* detail) {
  throw EInvalidGraphic("JPEG 画像" + kwio::Quoted(name) + "が壊れているか、読めない形式です（" +
                        detail + "）");
}

void Decode(std::FILE* file, const uint8_t* data, size_t size, const std::string& name, TBitmap& dst) {
  if (!file && size == 0) Damaged(name, "空のファイルです");
  Decoder d;
  Kind kind = Kind::Color;
  if (!ReadHeader(d, file, data, size, kind)) Damaged(name, d.err.message);
  CheckImageSize(d.cinfo.image_width, d.cinfo.image_height);
  const size_t w = d.cinfo.image_width, h = d.cinfo.image_height;
  kwio::DecodeTarget target(&dst);
  target.Prepare(int(w), int(h));
  const int parts = data ? PartsFor(d.cinfo) : 1;
  if (parts < 2 || !ReadInParts(data, size, kind, JDIMENSION(d.cinfo.max_v_samp_factor * DCTSIZE), parts, target)) {
    std::vector<uint8_t> scratch(w * 4);
    if (!ReadRows(d, kind, target, scratch.data(), 0, JDIMENSION(h))) Damaged(name, d.err.message);
  }
  target.Commit();
}

// Destination that hands the coded data to a file being written, a buffer
// at a time.  A write that fails stops the encoder (the error is kept and
// raised by the caller; nothing may be thrown through the library).
struct FileDest {
  jpeg_destination_mgr pub;  // first, so that the libjpeg pointer converts back
  kwio::ReplacingFile* file;
  std::exception_ptr error;
  JOCTET buffer[1 << 16];
};

void FileDestInit(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<FileDest*>(cinfo->dest);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = sizeof d->buffer;
}

bool FileDestWrite(j_compress_ptr cinfo, size_t n) {
  auto* d = reinterpret_cast<FileDest*>(cinfo->dest);
  try {
    d->file->Write(d->buffer, n);
  } catch (...) {
    d->error = std::current_exception();
    return false;
  }
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = sizeof d->buffer;
  return true;
}

boolean FileDestEmpty(j_compress_ptr cinfo) {
  if (!FileDestWrite(cinfo, sizeof reinterpret_cast<FileDest*>(cinfo->dest)->buffer))
    ERREXIT(cinfo, JERR_FILE_WRITE);
  return TRUE;
}

void FileDestTerm(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<FileDest*>(cinfo->dest);
  if (!FileDestWrite(cinfo, sizeof d->buffer - d->pub.free_in_buffer)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Rows y0 .. y0 + rows - 1 of src as a picture of their own; file null: the
// coded data goes into e.out (malloc'd).  restart: the MCUs between restart
// markers (0: none).
bool EncodeRows(Encoder& e, const TBitmap& src, int quality, FileDest* file, int y0, int rows,
                unsigned restart) {
  if (setjmp(e.err.jump)) return false;
  jpeg_create_compress(&e.cinfo);
  e.created = true;
  if (file) {
    file->pub.init_destination = FileDestInit;
    file->pub.empty_output_buffer = FileDestEmpty;
    file->pub.term_destination = FileDestTerm;
    e.cinfo.dest = &file->pub;
  } else {
    jpeg_mem_dest(&e.cinfo, &e.out, &e.outSize);
  }
  e.cinfo.image_width = JDIMENSION(src.Width());
  e.cinfo.image_height = JDIMENSION(rows);
  e.cinfo.input_components = 4;
  e.cinfo.in_color_space = JCS_EXT_BGRA;
  jpeg_set_defaults(&e.cinfo);
  jpeg_set_quality(&e.cinfo, quality, TRUE);
  e.cinfo.restart_interval = restart;
  jpeg_start_compress(&e.cinfo, TRUE);
  while (e.cinfo.next_scanline < e.cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(src.ScanLine(y0 + int(e.cinfo.next_scanline)));
    jpeg_write_scanlines(&e.cinfo, &row, 1);
  }
  jpeg_finish_compress(&e.cinfo);
  return true;
}

// Large pictures are coded in strips of kStripMCURows rows of MCUs (16
// pixel rows each with the default sampling), each strip by its own coder
// on the framework's threads, and the strips joined with restart markers
// into one baseline scan: a restart clears the DC predictions and pads to a
// byte just as the end of a picture does, so strip k's coded data is what a
// coder of the whole picture with that restart interval writes there.  The
// strips do not depend on the thread count, so neither does the file; the
// pixels a reader gets are those of a picture coded in one go.
constexpr int kStripMCURows = 32;
constexpr int kMCUSize = 16;  // 2 x 2 sampled luminance: 16 x 16 pixels per MCU

// Pixel rows per strip for a picture of the given width: fewer for very
// wide pictures, whose restart interval must fit the marker's 16 bits.
int StripRows(int width) {
  const int mcus = (width + kMCUSize - 1) / kMCUSize;
  return std::min(kStripMCURows, 65535 / std::max(mcus, 1)) * kMCUSize;
}

// Start of the coded data after the scan header of a picture libjpeg wrote,
// 0 when it is not where it should be.  sofHeight: where the picture
// height is stored (0 when there is no frame header).
size_t ScanData(const uint8_t* d, size_t n, size_t* sofHeight) {
  size_t p = 2;  // after SOI
  while (p + 4 <= n && d[p] == 0xFF) {
    const uint8_t m = d[p + 1];
    const size_t len = size_t(d[p + 2]) << 8 | d[p + 3];
    if (m >= 0xC0 && m <= 0xC2 && sofHeight) *sofHeight = p + 5;
    p += 2 + len;
    if (m == 0xDA) return p <= n ? p : 0;
  }
  return 0;
}

struct Strip {
  std::unique_ptr<Encoder> coder = std::make_unique<Encoder>();
  bool ok = false;
};

// The joined picture to sink, a piece at a time; false when a strip failed
// (its message in *message).
template <class Sink>
bool EncodeStrips(const TBitmap& src, int quality, Sink&& sink, std::string* message) {
  const int h = src.Height();
  const int stripRows = StripRows(src.Width());
  const int count = (h + stripRows - 1) / stripRows;
  const unsigned restart = unsigned((src.Width() + kMCUSize - 1) / kMCUSize) * unsigned(stripRows / kMCUSize);
  std::vector<Strip> strips(static_cast<size_t>(count));
  TKWRowJob job;
  job.Count = count;
  job.Row = [&](int k) {
    const int y0 = k * stripRows;
    strips[size_t(k)].ok = EncodeRows(*strips[size_t(k)].coder, src, quality, nullptr, y0,
                                      std::min(stripRows, h - y0), k == 0 ? restart : 0);
  };
  KWRunRows(job);
  for (int k = 0; k < count; ++k) {
    Encoder& e = *strips[size_t(k)].coder;
    const uint8_t* d = e.out;
    const size_t n = e.outSize;
    size_t sof = 0;
    const size_t at = strips[size_t(k)].ok && n >= 4 ? ScanData(d, n, k == 0 ? &sof : nullptr) : 0;
    if (at == 0 || d[n - 2] != 0xFF || d[n - 1] != 0xD9 || (k == 0 && sof == 0)) {
      *message = strips[size_t(k)].ok ? "unexpected coder output" : e.err.message;
      return false;
    }
    if (k == 0) {
      uint8_t* height = e.out + sof;
      height[0] = uint8_t(h >> 8);
      height[1] = uint8_t(h);
      sink(d, n - 2);
    } else {
      const uint8_t marker[2] = {0xFF, uint8_t(0xD0 + (k - 1) % 8)};
      sink(marker, 2);
      sink(d + at, n - 2 - at);
    }
    std::free(e.out);
    e.out = nullptr;
  }
  static const uint8_t kEnd[2] = {0xFF, 0xD9};
  sink(kEnd, 2);
  return true;
}

}  // namespace

void LoadJPEGMemory(const uint8_t* data, size_t size, TBitmap& dst) { Decode(nullptr, data, size, "", dst); }

void LoadJPEGFile(const std::string& fileName, TBitmap& dst) {
  kwio::FilePtr file(kwio::OpenForReading(fileName));
  // With several threads a file of up to kWholeFileBytes (a small part of its
  // picture's own size) is read whole, so that several decoders can share a
  // large picture; otherwise it is read as the decoder goes.
  constexpr long kWholeFileBytes = long(64) << 20;
  struct stat st {};
  if (KWThreadCount() > 1 && ::fstat(::fileno(file.get()), &st) == 0 && st.st_size <= kWholeFileBytes) {
    std::vector<uint8_t> data(size_t(st.st_size));
    data.resize(std::fread(data.data(), 1, data.size(), file.get()));
    Decode(nullptr, data.data(), data.size(), fileName, dst);
    return;
  }
  int c = std::fgetc(file.get());
  if (c == EOF) Damaged(fileName, "空のファイルです");
  std::ungetc(c, file.get());
  Decode(file.get(), nullptr, 0, fileName, dst);
}

namespace {
// Encodes src and hands the finished JPEG data to sink.
// file null: the finished data goes to sink; otherwise into file as it is coded.
template <class Sink>
void Encode(const TBitmap& src, int quality, const std::string& name, kwio::ReplacingFile* file,
            Sink&& sink) {
  if (src.Empty()) throw EInvalidGraphic("空の画像は JPEG" + kwio::Quoted(name) + "に保存できません");
  if (src.Width() > JPEG_MAX_DIMENSION || src.Height() > JPEG_MAX_DIMENSION)
    throw EInvalidGraphic("JPEG に保存できる画像の幅と高さは " + std::to_string(JPEG_MAX_DIMENSION) +
                          " 画素までです");
  quality = std::clamp(quality, 1, 100);
  const TBitmap* from = &src;
  TBitmap converted;
  if (src.PixelFormat() != pf32bit) {
    converted.Assign(src);
    converted.SetPixelFormat(pf32bit);
    from = &converted;
  }
  if (from->Height() > StripRows(from->Width())) {
    std::string message;
    std::vector<uint8_t> joined;
    auto out = [&](const uint8_t* d, size_t n) {
      if (file)
        file->Write(d, n);
      else
        joined.insert(joined.end(), d, d + n);
    };
    if (!EncodeStrips(*from, quality, out, &message))
      throw EInvalidGraphic("JPEG" + kwio::Quoted(name) + "を作れません（" + message + "）");
    if (!file) sink(joined.data(), joined.size());
    return;
  }
  Encoder e;
  std::unique_ptr<FileDest> dest;
  if (file) {
    dest = std::make_unique<FileDest>();
    dest->file = file;
  }
  if (!EncodeRows(e, *from, quality, dest.get(), 0, from->Height(), 0)) {
    if (dest && dest->error) std::rethrow_exception(dest->error);
    throw EInvalidGraphic("JPEG" + kwio::Quoted(name) + "を作れません（" + std::string(e.err.message) +
                          "）");
  }
  if (!file) sink(e.out, size_t(e.outSize));
}
}  // namespace

std::vector<uint8_t> SaveJPEGMemory(const TBitmap& src, int quality) {
  std::vector<uint8_t> out;
  Encode(src, quality, "", nullptr, [&](const uint8_t* d, size_t n) { out.assign(d, d + n); });
  return out;
}

void SaveJPEGFile(const std::string& fileName, const TBitmap& src, int quality) {
  // Checked before the file is made, so that a refused picture leaves nothing.
  if (src.Empty())
    throw EInvalidGraphic("空の画像は JPEG" + kwio::Quoted(fileName) + "に保存できません");
  kwio::ReplacingFile file(fileName);
  Encode(src, quality, fileName, &file, [](const uint8_t*, size_t) {});
  file.Commit();
}
