// Where a decoder puts its rows.  A target bitmap that is empty has nothing
// to lose, so the rows go straight into it (and it is made empty again, in
// its old pixel format, when decoding fails).  Any other target gets the
// picture only after the whole file decoded: the rows go into a temporary
// buffer that Commit copies over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imageio/fileio.h"
#include "platform/bitmap.h"

namespace kwio {

class DecodeTarget {
 public:
  // dst may be null: then the rows stay in the temporary buffer.
  explicit DecodeTarget(TBitmap* dst) : dst_(dst) {}
  ~DecodeTarget() {
    if (direct_ && !committed_) {
      try {
        dst_->SetSize(0, 0);
        dst_->SetPixelFormat(oldFormat_);
        if (!oldPalette_.empty()) dst_->SetPalette(oldPalette_);
      } catch (...) {
      }
    }
  }
  DecodeTarget(const DecodeTarget&) = delete;
  DecodeTarget& operator=(const DecodeTarget&) = delete;

  // Makes room for width x height 32-bit pixels (sizes already checked).
  void Prepare(int width, int height) {
    width_ = width;
    height_ = height;
    stride_ = size_t(width) * 4;
    if (dst_ && dst_->Empty()) {
      oldFormat_ = dst_->PixelFormat();
      oldPalette_ = dst_->Palette();
      direct_ = true;
      dst_->SetPixelFormat(pf32bit);
      dst_->SetSize(width, height);
    } else {
      buffer_ = AllocatePixels(stride_ * size_t(height));
    }
  }
  // Row y counted from the top: width x 4 bytes.
  uint8_t* Row(size_t y) { return direct_ ? dst_->ScanLine(int(y)) : buffer_.get() + y * stride_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Hands the decoded picture to the target as a pf32bit bitmap.
  void Commit() {
    if (!direct_ && dst_) {
      dst_->SetSize(0, 0);
      dst_->SetPixelFormat(pf32bit);
      dst_->SetSize(width_, height_);
      for (int y = 0; y < height_; ++y) std::memcpy(dst_->ScanLine(y), Row(size_t(y)), stride_);
    }
    committed_ = true;
  }

 private:
  TBitmap* dst_;
  bool direct_ = false;
  bool committed_ = false;
  TPixelFormat oldFormat_ = pf24bit;
  std::vector<TPaletteEntry> oldPalette_;
  PixelBuffer buffer_;
  int width_ = 0, height_ = 0;
  size_t stride_ = 0;
};

}  // namespace kwio
