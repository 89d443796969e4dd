// BMP reading and writing for TBitmap.  The reader pulls bytes from a
// source (memory, file or stream) in order and never seeks backwards, so a
// BMP inside a larger stream is consumed exactly.  Pixel rows go straight
// into the buffer of a temporary bitmap, which replaces the target only
// when the whole picture was read.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/pixelutil.h"
#include "platform/readfile.h"

using namespace kwplatform;

namespace {

[[noreturn]] void Bad(const std::string& why) {
  throw EInvalidGraphic("Bitmap image is not valid: " + why);
}

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to n bytes; fewer only at the end of the data.
  virtual size_t Read(void* dst, size_t n) = 0;
  // Bytes left, when the source knows (a stream does not).
  virtual uint64_t Remaining() const { return UINT64_MAX; }
  void ReadExact(void* dst, size_t n, const char* what) {
    if (Read(dst, n) != n) Bad(std::string("the file ends inside the ") + what);
  }
  void Skip(uint64_t n, const char* what) {
    uint8_t buf[4096];
    while (n > 0) {
      const size_t k = size_t(std::min<uint64_t>(n, sizeof buf));
      ReadExact(buf, k, what);
      n -= k;
    }
  }
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* d, size_t n) : data_(d), size_(n) {}
  size_t Read(void* dst, size_t n) override {
    const size_t k = std::min(n, size_ - pos_);
    if (k) std::memcpy(dst, data_ + pos_, k);
    pos_ += k;
    return k;
  }
  uint64_t Remaining() const override { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Two pieces of memory read as one: the headers of a picture and its pixels.
class PartsSource : public ByteSource {
 public:
  PartsSource(const uint8_t* a, size_t an, const uint8_t* b, size_t bn) : first_(a, an), second_(b, bn) {}
  size_t Read(void* dst, size_t n) override {
    size_t k = first_.Read(dst, n);
    if (k < n) k += second_.Read(static_cast<uint8_t*>(dst) + k, n - k);
    return k;
  }
  uint64_t Remaining() const override { return first_.Remaining() + second_.Remaining(); }

 private:
  MemorySource first_, second_;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(FILE* f) : f_(f) {
    struct stat st {};
    if (::fstat(::fileno(f), &st) == 0 && S_ISREG(st.st_mode)) size_ = uint64_t(st.st_size);
  }
  size_t Read(void* dst, size_t n) override {
    const size_t k = std::fread(dst, 1, n, f_);
    if (k < n && std::ferror(f_)) throw EInOutError("Read error");
    read_ += k;
    return k;
  }
  uint64_t Remaining() const override { return size_ == UINT64_MAX ? size_ : size_ - std::min(read_, size_); }

 private:
  FILE* f_;
  uint64_t size_ = UINT64_MAX;
  uint64_t read_ = 0;
};

class StreamSource : public ByteSource {
 public:
  explicit StreamSource(std::istream& in) : in_(in) {}
  size_t Read(void* dst, size_t n) override {
    try {
      in_.read(static_cast<char*>(dst), std::streamsize(n));
    } catch (const std::ios_base::failure&) {
      // A stream set to throw at its end: the short count says the rest.
    }
    return size_t(in_.gcount());
  }

 private:
  std::istream& in_;
};

inline uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

constexpr uint32_t kBiRgb = 0, kBiBitfields = 3;

}  // namespace

struct BmpCodec {
  // to32: the picture ends as pf32bit whatever the file's depth; fileBits
  // receives the file's bits per pixel.
  static void Decode(ByteSource& src, TBitmap& out, bool to32 = false, int* fileBits = nullptr);
  static void EncodeHeader(int width, int height, TPixelFormat pf,
                           const std::vector<TPaletteEntry>& palette, std::vector<uint8_t>& head);
  static void EncodeHeader(const TBitmap& b, std::vector<uint8_t>& head) {
    EncodeHeader(b.Width(), b.Height(), b.PixelFormat(), b.Palette(), head);
  }
};

void BmpCodec::Decode(ByteSource& src, TBitmap& out, bool to32, int* fileBits) {
  uint8_t fh[18];
  src.ReadExact(fh, sizeof fh, "file header");
  if (fh[0] != 'B' || fh[1] != 'M') Bad("the file does not start with \"BM\"");
  const uint32_t offBits = U32(fh + 10);
  const uint32_t hdrSize = U32(fh + 14);
  if (hdrSize != 12 && hdrSize != 40 && hdrSize != 52 && hdrSize != 56 && hdrSize != 108 &&
      hdrSize != 124)
    Bad("unsupported information header size " + std::to_string(hdrSize));
  uint8_t ih[124];
  Put32(ih, hdrSize);
  src.ReadExact(ih + 4, hdrSize - 4, "information header");
  uint64_t pos = 14 + hdrSize;

  int64_t width, height;
  unsigned planes, bpp;
  uint32_t compression = kBiRgb, clrUsed = 0;
  const bool core = hdrSize == 12;
  if (core) {
    width = U16(ih + 4);
    height = U16(ih + 6);
    planes = U16(ih + 8);
    bpp = U16(ih + 10);
  } else {
    width = I32(ih + 4);
    height = I32(ih + 8);
    planes = U16(ih + 12);
    bpp = U16(ih + 14);
    compression = U32(ih + 16);
    clrUsed = U32(ih + 32);
  }
  if (planes != 1) Bad("plane count " + std::to_string(planes) + " instead of 1");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    Bad("unsupported colour depth of " + std::to_string(bpp) + " bits per pixel");
  if (compression == kBiBitfields) {
    if (bpp != 32) Bad("bit fields are only supported with 32 bits per pixel");
    uint8_t masks[12];
    if (hdrSize == 40) {
      src.ReadExact(masks, 12, "colour masks");
      pos += 12;
    } else {
      std::memcpy(masks, ih + 40, 12);
    }
    if (U32(masks) != 0x00FF0000 || U32(masks + 4) != 0x0000FF00 || U32(masks + 8) != 0x000000FF)
      Bad("unsupported colour masks");
    if (hdrSize >= 56) {
      const uint32_t a = U32(ih + 52);
      if (a != 0 && a != 0xFF000000u) Bad("unsupported alpha mask");
    }
  } else if (compression != kBiRgb) {
    Bad("unsupported compression " + std::to_string(compression));
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width < 0) Bad("negative width");
  CheckImageSize(width, height);

  // Palette: up to 2^bpp entries between the headers and the pixel data.
  std::vector<TPaletteEntry> palette;
  if (bpp <= 8) {
    const uint32_t maxColors = 1u << bpp;
    if (clrUsed > maxColors)
      Bad("palette of " + std::to_string(clrUsed) + " colours for " + std::to_string(bpp) +
          " bits per pixel");
    const uint32_t count = clrUsed ? clrUsed : maxColors;
    const unsigned entrySize = core ? 3 : 4;
    if (offBits < pos) Bad("pixel data offset inside the headers");
    const uint64_t room = (uint64_t(offBits) - pos) / entrySize;
    const uint32_t n = uint32_t(std::min<uint64_t>(count, room));
    std::vector<uint8_t> raw(size_t(n) * entrySize);
    src.ReadExact(raw.data(), raw.size(), "palette");
    pos += raw.size();
    palette.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* e = raw.data() + size_t(i) * entrySize;
      palette[i] = TPaletteEntry{e[2], e[1], e[0], 0};
    }
  }
  if (offBits < pos) Bad("pixel data offset inside the headers");
  src.Skip(offBits - pos, "gap before the pixel data");

  const TPixelFormat filePf = bpp == 32 ? pf32bit : bpp == 24 ? pf24bit : pf8bit;
  const TPixelFormat pf = to32 ? pf32bit : filePf;
  const int w = int(width), h = int(height);
  const size_t fileStride = size_t(((uint64_t(width) * bpp + 31) / 32) * 4);
  // A short file is refused before the picture it claims is allocated.
  if (width > 0 && uint64_t(fileStride) * uint64_t(h) > src.Remaining())
    Bad("the file ends inside the pixel data");
  TBitmap tmp;
  tmp.reallocate(w, h, pf, false, false);
  // Palette indices of 1, 4 and 8 bits become pixel words through this table
  // when the picture is widened (as SetPixelFormat does it).
  uint32_t table[256];
  if (to32 && bpp <= 8) {
    TBitmap pal;
    pal.palette_ = palette;
    PaletteTable(pal, table);
  }
  if (tmp.pixels_.empty()) {
    // No pixels (width or height 0): nothing to read.
  } else if (pf == filePf && bpp >= 8) {
    // Same row layout as the bitmap's own buffer.
    if (!topDown) {
      src.ReadExact(tmp.pixels_.data(), tmp.pixels_.size(), "pixel data");
    } else {
      for (int y = 0; y < h; ++y) src.ReadExact(tmp.ScanLine(y), fileStride, "pixel data");
    }
  } else {
    // A band of file rows at a time, widened into the bitmap's rows.
    const int band = int(std::max<size_t>(1, std::min<size_t>(h, (size_t(1) << 18) / fileStride)));
    std::vector<uint8_t> rows(fileStride * size_t(band));
    for (int i0 = 0; i0 < h; i0 += band) {
      const int n = std::min(band, h - i0);
      src.ReadExact(rows.data(), fileStride * size_t(n), "pixel data");
      for (int k = 0; k < n; ++k) {
        const int i = i0 + k;
        const uint8_t* row = rows.data() + fileStride * size_t(k);
        uint8_t* d = tmp.ScanLine(topDown ? i : h - 1 - i);
        if (pf == pf32bit) {
          uint32_t* d32 = reinterpret_cast<uint32_t*>(d);
          if (bpp == 24) {
            for (int x = 0; x < w; ++x)
              d32[x] = uint32_t(row[3 * x]) | (uint32_t(row[3 * x + 1]) << 8) |
                       (uint32_t(row[3 * x + 2]) << 16);
          } else if (bpp == 8) {
            for (int x = 0; x < w; ++x) d32[x] = table[row[x]];
          } else if (bpp == 4) {
            for (int x = 0; x < w; ++x) d32[x] = table[(row[size_t(x) >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
          } else {
            for (int x = 0; x < w; ++x) d32[x] = table[(row[size_t(x) >> 3] >> (7 - (x & 7))) & 1];
          }
        } else if (bpp == 4) {
          for (int x = 0; x < w; ++x) d[x] = (row[size_t(x) >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
          std::memset(d + w, 0, size_t(tmp.stride_) - size_t(w));
        } else {
          for (int x = 0; x < w; ++x) d[x] = (row[size_t(x) >> 3] >> (7 - (x & 7))) & 1;
          std::memset(d + w, 0, size_t(tmp.stride_) - size_t(w));
        }
      }
    }
  }
  if (pf == pf8bit) tmp.palette_ = std::move(palette);
  if (fileBits) *fileBits = int(bpp);
  out.swapContent(tmp);
}

void BmpCodec::EncodeHeader(int width, int height, TPixelFormat pf,
                            const std::vector<TPaletteEntry>& palette, std::vector<uint8_t>& head) {
  const int bpp = BitsPerPixel(pf);
  if (bpp == 0) throw EInvalidGraphic("Cannot save a bitmap of this pixel format");
  std::vector<TPaletteEntry> pal;
  if (pf == pf8bit) pal = palette.empty() ? TBitmap::GrayPalette() : palette;
  const uint32_t offBits = 14 + 40 + uint32_t(pal.size()) * 4;
  const uint64_t imageSize = uint64_t(TBitmap::BytesPerLineFor(width, pf)) * uint64_t(height);
  head.assign(offBits, 0);
  uint8_t* p = head.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, uint32_t(std::min<uint64_t>(offBits + imageSize, 0xFFFFFFFFu)));
  Put32(p + 10, offBits);
  Put32(p + 14, 40);
  Put32(p + 18, uint32_t(width));
  Put32(p + 22, uint32_t(height));
  Put16(p + 26, 1);
  Put16(p + 28, uint32_t(bpp));
  Put32(p + 30, kBiRgb);
  Put32(p + 34, uint32_t(imageSize));
  Put32(p + 46, uint32_t(pal.size()));
  for (size_t i = 0; i < pal.size(); ++i) {
    uint8_t* e = p + 54 + 4 * i;
    e[0] = pal[i].peBlue;
    e[1] = pal[i].peGreen;
    e[2] = pal[i].peRed;
  }
}

void TBitmap::LoadFromMemory(const uint8_t* data, size_t size) {
  MemorySource src(data, data ? size : 0);
  BmpCodec::Decode(src, *this);
}

void TBitmap::LoadBMPParts(const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize,
                           bool to32, int* fileBits) {
  PartsSource src(head, head ? headSize : 0, body, body ? bodySize : 0);
  BmpCodec::Decode(src, *this, to32, fileBits);
}

void TBitmap::LoadFromStream(std::istream& in) {
  StreamSource src(in);
  BmpCodec::Decode(src, *this);
}

namespace {
void DecodeFile(const std::string& fileName, TBitmap& out, bool to32, int* fileBits) {
  const int fd = KWOpenRegularFile(fileName, kKWMaxImageFileSize);
  FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    throw EInOutError("Cannot open file \"" + fileName + "\"");
  }
  // Large reads go past the buffer straight into the pixels.
  std::setvbuf(f, nullptr, _IOFBF, size_t(1) << 16);
  try {
    FileSource src(f);
    BmpCodec::Decode(src, out, to32, fileBits);
  } catch (...) {
    std::fclose(f);
    throw;
  }
  std::fclose(f);
}
}  // namespace

void TBitmap::LoadFromFile(const std::string& fileName) { DecodeFile(fileName, *this, false, nullptr); }

void TBitmap::LoadBMPFile(const std::string& fileName, bool to32, int* fileBits) {
  DecodeFile(fileName, *this, to32, fileBits);
}

void TBitmap::WriteBMP(const TBMPWriter& write, TPixelFormat pf) const {
  if (pf != format_ && !(format_ == pf32bit && pf == pf24bit)) {
    TBitmap copy;
    copy.Assign(*this);
    copy.SetPixelFormat(pf);
    copy.WriteBMP(write, pf);
    return;
  }
  std::vector<uint8_t> head;
  BmpCodec::EncodeHeader(width_, height_, pf, palette_, head);
  write(head.data(), head.size());
  if (pf == format_) {
    if (!pixels_.empty()) write(pixels_.data(), pixels_.size());
    return;
  }
  // 32 -> 24 bits, a band of rows at a time, in the buffer's (bottom-up) order.
  const size_t outStride = size_t(BytesPerLineFor(width_, pf24bit));
  const int band = int(std::max<size_t>(1, (size_t(1) << 20) / std::max<size_t>(outStride, 1)));
  std::vector<uint8_t> out(outStride * size_t(std::min(band, std::max(height_, 1))));
  const int w = width_;
  for (int r0 = 0; r0 < height_; r0 += band) {
    const int n = std::min(band, height_ - r0);
    for (int k = 0; k < n; ++k) {
      const uint32_t* s = reinterpret_cast<const uint32_t*>(pixels_.data() + size_t(r0 + k) * stride_);
      uint8_t* d = out.data() + size_t(k) * outStride;
      int x = 0;
      for (; x + 1 < w; ++x) {
        // Writes 4 bytes of which the fourth is overwritten by the next pixel.
        const uint32_t p = s[x];
        std::memcpy(d + 3 * size_t(x), &p, 4);
      }
      for (; x < w; ++x) {
        d[3 * size_t(x)] = uint8_t(s[x]);
        d[3 * size_t(x) + 1] = uint8_t(s[x] >> 8);
        d[3 * size_t(x) + 2] = uint8_t(s[x] >> 16);
      }
      std::memset(d + 3 * size_t(w), 0, outStride - 3 * size_t(w));
    }
    write(out.data(), outStride * size_t(n));
  }
}

std::vector<uint8_t> TBitmap::SaveToMemory() const {
  std::vector<uint8_t> data;
  data.reserve(54 + 1024 + pixels_.size());
  AdviseHugePages(data.data(), data.capacity());
  WriteBMP([&](const uint8_t* p, size_t n) { data.insert(data.end(), p, p + n); }, format_);
  return data;
}

void TBitmap::SaveToStream(std::ostream& out) const {
  WriteBMP(
      [&](const uint8_t* p, size_t n) {
        out.write(reinterpret_cast<const char*>(p), std::streamsize(n));
        if (!out) throw EInOutError("Stream write error");
      },
      format_);
}

void TBitmap::SaveToDescriptor(int fd) const {
  WriteBMP(
      [fd](const uint8_t* p, size_t n) {
        while (n > 0) {
          ssize_t w = ::write(fd, p, n);
          if (w < 0) {
            if (errno == EINTR) continue;
            throw EInOutError(std::strerror(errno));
          }
          p += w;
          n -= size_t(w);
        }
      },
      format_);
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  FILE* f = std::fopen(fileName.c_str(), "wb");
  if (!f) throw EInOutError("Cannot create file \"" + fileName + "\"");
  bool ok = true;
  try {
    WriteBMP(
        [&](const uint8_t* p, size_t n) {
          if (std::fwrite(p, 1, n, f) != n) throw EInOutError("write");
        },
        format_);
  } catch (const EInOutError&) {
    ok = false;
  }
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::remove(fileName.c_str());
    throw EInOutError("Cannot write file \"" + fileName + "\"");
  }
}
