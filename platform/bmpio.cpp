// BMP reading and writing for TBitmap.  The reader pulls bytes from a
// source (memory, file or stream) in order and never seeks backwards, so a
// BMP inside a larger stream is consumed exactly.  Pixel rows go straight
// into the buffer of a temporary bitmap, which replaces the target only
// when the whole picture was read.
#include <unistd.h>

#include <algorithm>
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

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(FILE* f) : f_(f) {}
  size_t Read(void* dst, size_t n) override {
    const size_t k = std::fread(dst, 1, n, f_);
    if (k < n && std::ferror(f_)) throw EInOutError("Read error");
    return k;
  }

 private:
  FILE* f_;
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
  static void Decode(ByteSource& src, TBitmap& out);
  static void EncodeHeader(const TBitmap& b, std::vector<uint8_t>& head);
};

void BmpCodec::Decode(ByteSource& src, TBitmap& out) {
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

  const TPixelFormat pf = bpp == 32 ? pf32bit : bpp == 24 ? pf24bit : pf8bit;
  TBitmap tmp;
  tmp.reallocate(int(width), int(height), pf, false, false);
  const int w = int(width), h = int(height);
  const size_t fileStride = size_t(((uint64_t(width) * bpp + 31) / 32) * 4);
  if (tmp.pixels_.empty()) {
    // No pixels (width or height 0): nothing to read.
  } else if (bpp >= 8) {
    // Same row layout as the bitmap's own buffer.
    if (!topDown) {
      src.ReadExact(tmp.pixels_.data(), tmp.pixels_.size(), "pixel data");
    } else {
      for (int y = 0; y < h; ++y) src.ReadExact(tmp.ScanLine(y), fileStride, "pixel data");
    }
  } else {
    std::vector<uint8_t> row(fileStride);
    for (int i = 0; i < h; ++i) {
      src.ReadExact(row.data(), fileStride, "pixel data");
      uint8_t* d = tmp.ScanLine(topDown ? i : h - 1 - i);
      if (bpp == 4) {
        for (int x = 0; x < w; ++x) d[x] = (row[size_t(x) >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
      } else {
        for (int x = 0; x < w; ++x) d[x] = (row[size_t(x) >> 3] >> (7 - (x & 7))) & 1;
      }
      std::memset(d + w, 0, size_t(tmp.stride_) - size_t(w));
    }
  }
  if (pf == pf8bit) tmp.palette_ = std::move(palette);
  out.swapContent(tmp);
}

void BmpCodec::EncodeHeader(const TBitmap& b, std::vector<uint8_t>& head) {
  const TPixelFormat pf = b.PixelFormat();
  const int bpp = BitsPerPixel(pf);
  if (bpp == 0) throw EInvalidGraphic("Cannot save a bitmap of this pixel format");
  std::vector<TPaletteEntry> pal;
  if (pf == pf8bit) pal = b.Palette().empty() ? TBitmap::GrayPalette() : b.Palette();
  const uint32_t offBits = 14 + 40 + uint32_t(pal.size()) * 4;
  const uint64_t imageSize = uint64_t(b.BytesPerLine()) * uint64_t(b.Height());
  head.assign(offBits, 0);
  uint8_t* p = head.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, uint32_t(std::min<uint64_t>(offBits + imageSize, 0xFFFFFFFFu)));
  Put32(p + 10, offBits);
  Put32(p + 14, 40);
  Put32(p + 18, uint32_t(b.Width()));
  Put32(p + 22, uint32_t(b.Height()));
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

void TBitmap::LoadFromStream(std::istream& in) {
  StreamSource src(in);
  BmpCodec::Decode(src, *this);
}

void TBitmap::LoadFromFile(const std::string& fileName) {
  const int fd = KWOpenRegularFile(fileName, kKWMaxImageFileSize);
  FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    throw EInOutError("Cannot open file \"" + fileName + "\"");
  }
  try {
    FileSource src(f);
    BmpCodec::Decode(src, *this);
  } catch (...) {
    std::fclose(f);
    throw;
  }
  std::fclose(f);
}

std::vector<uint8_t> TBitmap::SaveToMemory() const {
  std::vector<uint8_t> data;
  BmpCodec::EncodeHeader(*this, data);
  data.reserve(data.size() + pixels_.size());
  AdviseHugePages(data.data(), data.capacity());
  data.insert(data.end(), pixels_.begin(), pixels_.end());
  return data;
}

void TBitmap::SaveToStream(std::ostream& out) const {
  std::vector<uint8_t> head;
  BmpCodec::EncodeHeader(*this, head);
  out.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
  out.write(reinterpret_cast<const char*>(pixels_.data()), std::streamsize(pixels_.size()));
  if (!out) throw EInOutError("Stream write error");
}

void TBitmap::SaveToDescriptor(int fd) const {
  std::vector<uint8_t> head;
  BmpCodec::EncodeHeader(*this, head);
  auto writeAll = [fd](const uint8_t* p, size_t n) {
    while (n > 0) {
      ssize_t w = ::write(fd, p, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        throw EInOutError(std::strerror(errno));
      }
      p += w;
      n -= size_t(w);
    }
  };
  writeAll(head.data(), head.size());
  writeAll(pixels_.data(), pixels_.size());
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  std::vector<uint8_t> head;
  BmpCodec::EncodeHeader(*this, head);
  FILE* f = std::fopen(fileName.c_str(), "wb");
  if (!f) throw EInOutError("Cannot create file \"" + fileName + "\"");
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  if (ok && !pixels_.empty()) ok = std::fwrite(pixels_.data(), 1, pixels_.size(), f) == pixels_.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::remove(fileName.c_str());
    throw EInOutError("Cannot write file \"" + fileName + "\"");
  }
}
