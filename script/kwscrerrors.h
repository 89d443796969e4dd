// Exceptions of the script language.  EKWSException and its descendants are
// the errors of the language itself: ExecLine appends the failing line to
// their message.  The arithmetic faults (floating-point and integer errors)
// are the runtime's own errors and carry no line.
#pragma once

#include <string>

#include "platform/types.h"

class EKWSException : public Exception {
 public:
  explicit EKWSException(const std::string& msg) : Exception(msg), msg_(msg) {}
  const char* what() const noexcept override { return msg_.c_str(); }
  // The engine extends the message with the line it failed on.
  void AppendMessage(const std::string& s) { msg_ += s; }

 private:
  std::string msg_;
};

class EKWSProcNotExist : public EKWSException {
 public:
  using EKWSException::EKWSException;
};
class EKWSParamNotExist : public EKWSException {
 public:
  using EKWSException::EKWSException;
};
class EKWSSyntaxError : public EKWSException {
 public:
  using EKWSException::EKWSException;
};
class EKWSUnknownName : public EKWSException {
 public:
  using EKWSException::EKWSException;
};
class EKWSInvalidValue : public EKWSException {
 public:
  using EKWSException::EKWSException;
};

// Floating-point and integer faults of the arithmetic commands.
class EMathError : public Exception {
 public:
  using Exception::Exception;
};
// Floating-point division by zero (also the pole of a logarithm).
class EZeroDivide : public EMathError {
 public:
  EZeroDivide() : EMathError("浮動小数点数の 0 による除算") {}
};
// Invalid floating-point operation (0/0, square root of a negative number,
// a value too large to be rounded to an integer).
class EInvalidOp : public EMathError {
 public:
  EInvalidOp() : EMathError("不正な浮動小数点演算") {}
};
// Floating-point overflow.
class EOverflow : public EMathError {
 public:
  EOverflow() : EMathError("浮動小数点演算でオーバーフローしました") {}
};
// Integer division by zero.
class EDivByZero : public Exception {
 public:
  EDivByZero() : Exception("0 による除算") {}
};
