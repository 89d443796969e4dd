// Small value types shared by every layer: points, sizes, rectangles, colours,
// and the base class of all exceptions that carry a message for the user.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }

// A colour as 0x00BBGGRR (red in the low byte).
using TColor = uint32_t;
constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}
constexpr uint8_t GetRValue(TColor c) { return uint8_t(c); }
constexpr uint8_t GetGValue(TColor c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return uint8_t(c >> 16); }
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

// Base of every failure that is shown to the user: the message is the text
// of the error box (UTF-8).
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& msg) : std::runtime_error(msg) {}
  std::string Message() const { return what(); }
};

// A picture that cannot be read or held (damaged file, unsupported layout,
// size beyond what can be allocated).
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A file that cannot be opened, read or written.
class EInOutError : public Exception {
 public:
  using Exception::Exception;
};

// A value of the wrong class was handed in (a parameter pack of another processor).
class EInvalidCast : public Exception {
 public:
  EInvalidCast() : Exception("Invalid class typecast") {}
  using Exception::Exception;
};

// Text that is not a number where a number was expected.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
