// TBitmap: a device-independent bitmap in memory, with the row layout of a
// bottom-up DIB: rows are contiguous and stored from the bottom row upwards,
// each row padded to a multiple of 4 bytes, so ScanLine(Height()-1) is the
// start of the whole pixel buffer.  Pixel formats in use: pf8bit (palette
// indices), pf24bit (B, G, R) and pf32bit (B, G, R, A).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/types.h"

// Numbering as the PNG exchange record expects it: 6 = 24 bits, 7 = 32 bits.
enum class TPixelFormat : uint8_t {
  pfDevice = 0,
  pf1bit = 1,
  pf4bit = 2,
  pf8bit = 3,
  pf15bit = 4,
  pf16bit = 5,
  pf24bit = 6,
  pf32bit = 7,
  pfCustom = 8,
};
constexpr TPixelFormat pf8bit = TPixelFormat::pf8bit;
constexpr TPixelFormat pf24bit = TPixelFormat::pf24bit;
constexpr TPixelFormat pf32bit = TPixelFormat::pf32bit;

struct TPaletteEntry {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

class TCanvas;

// Pixel memory.  Large buffers are aligned for huge pages, which makes
// first touching a fresh multi-megabyte picture much cheaper, and the last
// two freed are kept for the next request of the same size (any thread), so
// that a step reuses pages already touched instead of having the system
// clear new ones.  Content of a new or reused buffer is undefined.
void* KWAllocatePixels(size_t bytes);
void KWFreePixels(void* p) noexcept;
// Lets the kept buffers go (a document closed: nothing of its size may come).
void KWReleaseKeptPixels();

// Allocator of pixel buffers that leaves new bytes uninitialised, so that a
// buffer about to be overwritten (a file being read) is not cleared first.
template <class T>
struct TDefaultInitAllocator {
  using value_type = T;
  TDefaultInitAllocator() = default;
  template <class U>
  TDefaultInitAllocator(const TDefaultInitAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return static_cast<T*>(KWAllocatePixels(n * sizeof(T))); }
  void deallocate(T* p, size_t) noexcept { KWFreePixels(p); }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  bool operator==(const TDefaultInitAllocator<U>&) const noexcept {
    return true;
  }
};

// Largest image the program agrees to hold: each side at most
// kMaxImageSide pixels and at most kMaxImagePixels pixels in all (1 GiB of
// 32-bit pixels).  Larger requests raise EInvalidGraphic before allocating.
constexpr int32_t kMaxImageSide = 1 << 20;
constexpr int64_t kMaxImagePixels = int64_t(1) << 28;
// Raises EInvalidGraphic when a width x height image may not be held.
void CheckImageSize(int64_t width, int64_t height);

class TBitmap {
 public:
  TBitmap();
  virtual ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  // Resizing keeps the pixel format and the pixels of the area that both
  // sizes share; pixels of new areas are 0.
  void SetWidth(int w);
  void SetHeight(int h);
  void SetSize(int w, int h);

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the existing content: 8 -> 24/32 through the palette, 24 -> 32
  // with A = 0, 32 -> 24 dropping A, 24/32 -> 8 to the nearest entry of the
  // current palette (a 256-level gray palette when none is set).
  void SetPixelFormat(TPixelFormat pf);

  // Row 0 is the top row.  Raises ERangeError-style Exception out of range.
  uint8_t* ScanLine(int row);
  const uint8_t* ScanLine(int row) const;
  // Row of 32-bit pixels; only for pf32bit bitmaps.
  uint32_t* Row32(int row) { return reinterpret_cast<uint32_t*>(ScanLine(row)); }
  const uint32_t* Row32(int row) const { return reinterpret_cast<const uint32_t*>(ScanLine(row)); }
  // Bytes between the starts of two rows (rows padded to 4 bytes).
  int BytesPerLine() const { return stride_; }
  static int BytesPerLineFor(int width, TPixelFormat pf);
  // The whole buffer, bottom row first (what a BMP file stores).
  uint8_t* Bits() { return pixels_.data(); }
  const uint8_t* Bits() const { return pixels_.data(); }
  size_t ByteSize() const { return pixels_.size(); }

  // Palette of a pf8bit bitmap: up to 256 entries.
  const std::vector<TPaletteEntry>& Palette() const { return palette_; }
  void SetPalette(const std::vector<TPaletteEntry>& pal);
  static std::vector<TPaletteEntry> GrayPalette();

  // Pixel as 0x00RRGGBB-free BGRA word (B in the low byte) read through the
  // format and palette; A is 0 for 8- and 24-bit pixels.
  uint32_t PixelBGRA(int x, int y) const;

  // Copy of another bitmap: size, format, palette and pixels.
  virtual void Assign(const TBitmap& src);
  // Exchanges size, format, pixels and palette with other (not the canvas):
  // how a picture made elsewhere moves into the bitmap that keeps it.
  void SwapContent(TBitmap& other) noexcept { swapContent(other); }
  // A new w x h buffer in format pf whose bytes are undefined, for a writer
  // that fills every one of them (padding included).  The palette stays.
  void Allocate(int w, int h, TPixelFormat pf) { reallocate(w, h, pf, false, false); }

  // Standard BMP file: 14-byte file header, 40-byte information header (V4
  // and V5 headers and the OS/2 core header are read too), rows bottom-up
  // (top-down files are read as well).  Reads 1, 4, 8, 24 and 32 bits per
  // pixel (8/24/32 stay as they are; 1 and 4 become pf8bit); writes 8, 24
  // and 32.  Damaged or truncated data raises EInvalidGraphic; the bitmap is
  // then unchanged.
  virtual void LoadFromFile(const std::string& fileName);
  virtual void SaveToFile(const std::string& fileName) const;
  void LoadFromStream(std::istream& in);
  void SaveToStream(std::ostream& out) const;
  // The BMP file written to an open descriptor; EInOutError with the
  // system's reason when a write fails.
  void SaveToDescriptor(int fd) const;
  void LoadFromMemory(const uint8_t* data, size_t size);
  std::vector<uint8_t> SaveToMemory() const;

  // BMP reading straight into the bitmap that keeps the picture.  With to32
  // the picture always ends as pf32bit (8- and 24-bit pixels get A = 0, as
  // SetPixelFormat(pf32bit) would give them) without a picture-sized
  // intermediate; fileBits, when given, receives the file's bits per pixel.
  // The file is read in order, never whole.  Failures as LoadFromFile.
  void LoadBMPFile(const std::string& fileName, bool to32, int* fileBits = nullptr);
  // The same from memory given as two pieces that follow each other (the
  // headers and the pixels of a picture handed over by a plug-in); body may
  // be null.
  void LoadBMPParts(const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize,
                    bool to32, int* fileBits = nullptr);
  // Writes the BMP file through write (called with consecutive pieces) in
  // pixel format pf: a pf32bit bitmap is written as 24 bits a band of rows
  // at a time, so no copy of the picture is made; other conversions go
  // through a converted copy.  write raises to stop.
  using TBMPWriter = std::function<void(const uint8_t* data, size_t size)>;
  void WriteBMP(const TBMPWriter& write, TPixelFormat pf) const;

  TCanvas& Canvas();

 private:
  friend struct BmpCodec;
  // New buffer for w x h in format pf.  keep: the shared area keeps its
  // pixels and the rest is 0; otherwise the content is left undefined
  // when clear is false and 0 when it is true.
  void reallocate(int w, int h, TPixelFormat pf, bool keep, bool clear = true);
  // Exchanges size, format, pixels and palette with other (not the canvas).
  void swapContent(TBitmap& other) noexcept;

  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  TPixelFormat format_ = pf24bit;
  std::vector<uint8_t, TDefaultInitAllocator<uint8_t>> pixels_;
  std::vector<TPaletteEntry> palette_;
  std::unique_ptr<TCanvas> canvas_;
};
