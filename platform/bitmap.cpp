#include "platform/bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/pixelutil.h"

namespace kwplatform {

void AdviseHugePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t a = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t e = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  if (e > a) madvise(reinterpret_cast<void*>(a), e - a, MADV_HUGEPAGE);
#endif
}

int BitsPerPixel(TPixelFormat pf) {
  switch (pf) {
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
    default: return 0;
  }
}

void PaletteTable(const TBitmap& b, uint32_t table[256]) {
  const auto& pal = b.Palette();
  if (pal.empty()) {
    for (uint32_t i = 0; i < 256; ++i) table[i] = i | (i << 8) | (i << 16);
    return;
  }
  for (size_t i = 0; i < 256; ++i) table[i] = i < pal.size() ? EntryToPixel(pal[i]) : 0;
}

TPaletteMatcher::TPaletteMatcher(const std::vector<TPaletteEntry>& pal) : pal_(pal) {
  if (pal_.empty()) pal_ = TBitmap::GrayPalette();
  gray_ = pal_ == TBitmap::GrayPalette();
}

uint8_t TPaletteMatcher::Match(uint32_t pixel) {
  const int b = pixel & 0xFF, g = (pixel >> 8) & 0xFF, r = (pixel >> 16) & 0xFF;
  // Squared distance to gray level v is smallest at the mean of the three
  // channels; a mean of three integers is never halfway between two levels.
  if (gray_) return uint8_t((r + g + b + 1) / 3);
  const uint32_t key = pixel & 0xFFFFFF;
  auto it = cache_.find(key);
  if (it != cache_.end()) return it->second;
  int best = 0;
  int bestDist = 1 << 30;
  for (size_t i = 0; i < pal_.size(); ++i) {
    const int dr = r - pal_[i].peRed, dg = g - pal_[i].peGreen, db = b - pal_[i].peBlue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDist) {
      bestDist = d;
      best = int(i);
      if (d == 0) break;
    }
  }
  if (cache_.size() < (1u << 20)) cache_.emplace(key, uint8_t(best));
  return uint8_t(best);
}

}  // namespace kwplatform

using namespace kwplatform;

namespace {

// Picture buffers freed a moment ago, kept for the next picture of the same
// size: a processing step, a history image let go, a swap-out finished.
// Reusing one spares the system from handing out and clearing fresh pages,
// which costs more than the work of a simple filter.  Kept are at most
// kPoolEntries buffers; an allocation that finds none of its size lets all
// of them go first, so that kept buffers never raise the peak.
class PixelPool {
 public:
  static constexpr size_t kMinBytes = size_t(4) << 20;
  static constexpr size_t kPoolEntries = 2;

  void* Take(size_t bytes) {
    std::vector<Entry> drop;
    void* p = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_);
      for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].bytes == bytes) {
          p = entries_[i].p;
          entries_.erase(entries_.begin() + std::ptrdiff_t(i));
          return p;
        }
      }
      drop.swap(entries_);
    }
    for (const Entry& e : drop) std::free(e.p);
    return nullptr;
  }
  // False when the buffer is not kept (the caller frees it).
  bool Keep(void* p, size_t bytes) {
    Entry old{};
    {
      std::lock_guard<std::mutex> lock(m_);
      if (!enabled_) return false;
      if (entries_.size() == kPoolEntries) {
        old = entries_.front();
        entries_.erase(entries_.begin());
      }
      entries_.push_back(Entry{p, bytes});
    }
    std::free(old.p);
    return true;
  }
  void Release() {
    std::vector<Entry> drop;
    {
      std::lock_guard<std::mutex> lock(m_);
      drop.swap(entries_);
    }
    for (const Entry& e : drop) std::free(e.p);
  }
  void Enable(bool on) {
    {
      std::lock_guard<std::mutex> lock(m_);
      enabled_ = on;
    }
    if (!on) Release();
  }

 private:
  struct Entry {
    void* p;
    size_t bytes;
  };
  std::mutex m_;
  std::vector<Entry> entries_;
  bool enabled_ = true;
};

// Never destroyed: buffers may be freed while the process ends.  The
// environment variable KW_PIXEL_POOL=0 turns the keeping off (to measure
// what it saves).
PixelPool& Pool() {
  static PixelPool* pool = [] {
    auto* p = new PixelPool;
    const char* e = std::getenv("KW_PIXEL_POOL");
    if (e && e[0] == '0') p->Enable(false);
    return p;
  }();
  return *pool;
}

// The size of each large buffer, kept in front of it (a cache line, so the
// pixels stay aligned as before).
constexpr size_t kHeader = 64;

}  // namespace

void* KWAllocatePixels(size_t bytes) {
  constexpr size_t kHuge = size_t(2) << 20;
  void* p = nullptr;
  if (bytes >= PixelPool::kMinBytes) {
    if (void* kept = Pool().Take(bytes)) return static_cast<uint8_t*>(kept) + kHeader;
    // The pixels start one header after a huge-page boundary.
    if (posix_memalign(&p, kHuge, bytes + kHeader) != 0) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, (bytes + kHeader) / kHuge * kHuge, MADV_HUGEPAGE);
#endif
    *static_cast<size_t*>(p) = bytes;
    return static_cast<uint8_t*>(p) + kHeader;
  }
  // Small buffers: the size is noted the same way.
  p = std::malloc(std::max<size_t>(bytes, 1) + kHeader);
  if (!p) throw std::bad_alloc();
  *static_cast<size_t*>(p) = bytes;
  return static_cast<uint8_t*>(p) + kHeader;
}

void KWFreePixels(void* p) noexcept {
  if (!p) return;
  void* block = static_cast<uint8_t*>(p) - kHeader;
  const size_t bytes = *static_cast<size_t*>(block);
  if (bytes >= PixelPool::kMinBytes && Pool().Keep(block, bytes)) return;
  std::free(block);
}

void KWReleaseKeptPixels() { Pool().Release(); }

void CheckImageSize(int64_t width, int64_t height) {
  if (width < 0 || height < 0)
    throw EInvalidGraphic("Invalid image size " + std::to_string(width) + " x " +
                          std::to_string(height));
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels)
    throw EInvalidGraphic("Image too large to hold: " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels");
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

int TBitmap::BytesPerLineFor(int width, TPixelFormat pf) {
  int bpp = BitsPerPixel(pf);
  if (bpp == 0) {
    switch (pf) {
      case TPixelFormat::pf1bit: bpp = 1; break;
      case TPixelFormat::pf4bit: bpp = 4; break;
      case TPixelFormat::pf15bit:
      case TPixelFormat::pf16bit: bpp = 16; break;
      default: bpp = 32; break;
    }
  }
  return int(((int64_t(std::max(width, 0)) * bpp + 31) / 32) * 4);
}

void TBitmap::reallocate(int w, int h, TPixelFormat pf, bool keep, bool clear) {
  CheckImageSize(w, h);
  const int stride = BytesPerLineFor(w, pf);
  const size_t total = size_t(stride) * size_t(h);
  if (keep && pf == format_ && stride == stride_ && h == height_) {
    // Same rows: only the padding/new columns of a narrower-to-wider change
    // could differ, and equal stride with equal height means the layout is
    // unchanged except for columns inside the padding.
    if (w > width_) {
      const int bpp = BitsPerPixel(pf) / 8;
      for (int y = 0; y < h; ++y)
        std::memset(pixels_.data() + size_t(y) * stride + size_t(width_) * bpp, 0,
                    size_t(w - width_) * bpp);
    }
    width_ = w;
    return;
  }
  decltype(pixels_) fresh;
  try {
    fresh.resize(total);
  } catch (const std::bad_alloc&) {
    throw EInvalidGraphic("Not enough memory for an image of " + std::to_string(w) + " x " +
                          std::to_string(h) + " pixels");
  }
  if (keep || clear) {
    if (total) std::memset(fresh.data(), 0, total);
  }
  const size_t rowBytes = size_t(BitsPerPixel(pf) / 8) * size_t(std::max(0, std::min(w, width_)));
  if (keep && pf == format_ && !pixels_.empty() && !fresh.empty() && rowBytes > 0) {
    const int rows = std::min(h, height_);
    // Row r (from the top) sits at (height - 1 - r) * stride.
    for (int r = 0; r < rows; ++r)
      std::memcpy(fresh.data() + size_t(h - 1 - r) * stride,
                  pixels_.data() + size_t(height_ - 1 - r) * stride_, rowBytes);
  }
  pixels_.swap(fresh);
  width_ = w;
  height_ = h;
  stride_ = stride;
  format_ = pf;
}

void TBitmap::swapContent(TBitmap& other) noexcept {
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(stride_, other.stride_);
  std::swap(format_, other.format_);
  pixels_.swap(other.pixels_);
  palette_.swap(other.palette_);
}

void TBitmap::SetWidth(int w) { SetSize(w, height_); }
void TBitmap::SetHeight(int h) { SetSize(width_, h); }
void TBitmap::SetSize(int w, int h) {
  if (w == width_ && h == height_) return;
  reallocate(w, h, format_, true);
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (BitsPerPixel(pf) == 0)
    throw EInvalidGraphic("Unsupported pixel format " + std::to_string(int(pf)));
  if (pf == format_) return;
  if (Empty()) {
    format_ = pf;
    stride_ = BytesPerLineFor(width_, pf);
    pixels_.clear();
    pixels_.resize(size_t(stride_) * size_t(height_));
    if (!pixels_.empty()) std::memset(pixels_.data(), 0, pixels_.size());
    if (pf == pf8bit && palette_.empty()) palette_ = GrayPalette();
    return;
  }
  TBitmap dst;
  dst.palette_ = palette_;
  if (pf == pf8bit && dst.palette_.empty()) dst.palette_ = GrayPalette();
  dst.reallocate(width_, height_, pf, false, false);
  if (size_t(dst.stride_) * 8 != size_t(width_) * size_t(BitsPerPixel(pf)))
    std::memset(dst.pixels_.data(), 0, dst.pixels_.size());  // padding bytes
  const int w = width_;
  if (format_ == pf8bit) {
    uint32_t table[256];
    PaletteTable(*this, table);
    for (int y = 0; y < height_; ++y) {
      const uint8_t* s = ScanLine(y);
      uint8_t* d = dst.ScanLine(y);
      if (pf == pf32bit) {
        uint32_t* d32 = reinterpret_cast<uint32_t*>(d);
        for (int x = 0; x < w; ++x) d32[x] = table[s[x]];
      } else {
        for (int x = 0; x < w; ++x) {
          const uint32_t p = table[s[x]];
          d[3 * x] = uint8_t(p);
          d[3 * x + 1] = uint8_t(p >> 8);
          d[3 * x + 2] = uint8_t(p >> 16);
        }
      }
    }
  } else if (pf == pf8bit) {
    TPaletteMatcher match(dst.palette_);
    const int bpp = BitsPerPixel(format_) / 8;
    for (int y = 0; y < height_; ++y) {
      const uint8_t* s = ScanLine(y);
      uint8_t* d = dst.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = s + size_t(x) * bpp;
        d[x] = match.Match(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16));
      }
    }
  } else if (format_ == pf24bit) {  // 24 -> 32, A = 0
    for (int y = 0; y < height_; ++y) {
      const uint8_t* s = ScanLine(y);
      uint32_t* d = dst.Row32(y);
      for (int x = 0; x < w; ++x)
        d[x] = uint32_t(s[3 * x]) | (uint32_t(s[3 * x + 1]) << 8) | (uint32_t(s[3 * x + 2]) << 16);
    }
  } else {  // 32 -> 24
    for (int y = 0; y < height_; ++y) {
      const uint8_t* s = ScanLine(y);
      uint8_t* d = dst.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        d[3 * x] = s[4 * x];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x + 2];
      }
    }
  }
  swapContent(dst);
}

uint8_t* TBitmap::ScanLine(int row) {
  if (row < 0 || row >= height_) throw Exception("Scan line index out of range");
  return pixels_.data() + size_t(height_ - 1 - row) * size_t(stride_);
}

const uint8_t* TBitmap::ScanLine(int row) const {
  if (row < 0 || row >= height_) throw Exception("Scan line index out of range");
  return pixels_.data() + size_t(height_ - 1 - row) * size_t(stride_);
}

void TBitmap::SetPalette(const std::vector<TPaletteEntry>& pal) {
  palette_.assign(pal.begin(), pal.begin() + std::min<size_t>(pal.size(), 256));
}

std::vector<TPaletteEntry> TBitmap::GrayPalette() {
  std::vector<TPaletteEntry> pal(256);
  for (int i = 0; i < 256; ++i) pal[i] = TPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  return pal;
}

uint32_t TBitmap::PixelBGRA(int x, int y) const {
  if (x < 0 || x >= width_) throw Exception("Pixel index out of range");
  const uint8_t* row = ScanLine(y);
  switch (format_) {
    case TPixelFormat::pf8bit: {
      const uint8_t i = row[x];
      if (palette_.empty()) return uint32_t(i) * 0x010101u;
      return i < palette_.size() ? EntryToPixel(palette_[i]) : 0;
    }
    case TPixelFormat::pf24bit:
      return uint32_t(row[3 * x]) | (uint32_t(row[3 * x + 1]) << 8) | (uint32_t(row[3 * x + 2]) << 16);
    default: {
      uint32_t p;
      std::memcpy(&p, row + 4 * size_t(x), 4);
      return p;
    }
  }
}

void TBitmap::Assign(const TBitmap& src) {
  if (&src == this) return;
  decltype(pixels_) copy;
  try {
    copy.resize(src.pixels_.size());
  } catch (const std::bad_alloc&) {
    throw EInvalidGraphic("Not enough memory for an image of " + std::to_string(src.width_) +
                          " x " + std::to_string(src.height_) + " pixels");
  }
  if (!copy.empty()) std::memcpy(copy.data(), src.pixels_.data(), copy.size());
  std::vector<TPaletteEntry> pal = src.palette_;
  pixels_.swap(copy);
  palette_.swap(pal);
  width_ = src.width_;
  height_ = src.height_;
  stride_ = src.stride_;
  format_ = src.format_;
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>(this);
  return *canvas_;
}
