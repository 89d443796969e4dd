// Where a decoder puts its rows.  A target bitmap that is empty has nothing
// to lose, so the rows go straight into it (and it is made empty again, in
// its old pixel format, when decoding fails).  Any other target gets the
// picture only after the whole file decoded: the rows go into a bitmap of
// their own whose pixels Commit moves into the target (no copy).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bitmap.h"

namespace kwio {

class DecodeTarget {
 public:
  // dst may be null: then the rows stay in the decoder's own bitmap.
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
  // The rows are not cleared: the decoder writes every byte of them.
  void Prepare(int width, int height) {
    width_ = width;
    height_ = height;
    if (dst_ && dst_->Empty()) {
      oldFormat_ = dst_->PixelFormat();
      oldPalette_ = dst_->Palette();
      direct_ = true;
      dst_->Allocate(width, height, pf32bit);
    } else {
      own_.Allocate(width, height, pf32bit);
    }
  }
  // Row y counted from the top: width x 4 bytes.
  uint8_t* Row(size_t y) { return (direct_ ? dst_ : &own_)->ScanLine(int(y)); }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Hands the decoded picture to the target as a pf32bit bitmap.
  void Commit() {
    if (!direct_ && dst_) dst_->SwapContent(own_);
    committed_ = true;
  }

 private:
  TBitmap* dst_;
  bool direct_ = false;
  bool committed_ = false;
  TPixelFormat oldFormat_ = pf24bit;
  std::vector<TPaletteEntry> oldPalette_;
  TBitmap own_;
  int width_ = 0, height_ = 0;
};

}  // namespace kwio
