#include "proclib/tonecurve.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/stringlist.h"

namespace kwlib {

namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    std::string s = line.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    f.push_back(b == std::string::npos ? std::string() : s.substr(b, e - b + 1));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return f;
}

std::string Field(const std::vector<std::string>& f, size_t i) {
  return i < f.size() ? f[i] : std::string();
}

// Integer of a field; 0 when it is not one (or does not fit in 32 bits).
int32_t IntField(const std::string& s) {
  if (s.empty()) return 0;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno || *end || end == s.c_str() || v < INT32_MIN || v > INT32_MAX) return 0;
  return int32_t(v);
}

}  // namespace

TToneCurveText ParseToneCurve(std::string_view text) {
  TToneCurveText t;
  TStringList lines;
  lines.SetText(std::string(text));
  auto line = [&](int i) { return i < lines.Count() ? lines.Strings(i) : std::string(); };
  auto fail = [&](const std::string& offending) {
    t.Result = TToneCurveText::TResult::FormatError;
    t.Offending = offending;
    return t;
  };
  auto f1 = Fields(line(0));
  if (Field(f1, 0) != "Varoka_tone_curve") return fail(Field(f1, 0) + "\r\n" + line(0));
  auto f2 = Fields(line(1));
  if (Field(f2, 0) != "RGBColor") return fail(line(1));
  t.Color = IntField(Field(f2, 1)) == 1;
  auto f3 = Fields(line(2));
  if (Field(f3, 0) != "RAW") return fail(line(2));
  const bool raw = IntField(Field(f3, 1)) == 1;
  static const char* const kNum[4] = {"NumPoint_Y", "NumPoint_R", "NumPoint_G", "NumPoint_B"};
  for (int i = 0; i < 4; ++i)
    if (Field(Fields(line(3 + i)), 0) != kNum[i]) return fail(line(3 + i));
  if (!raw) {
    t.Result = TToneCurveText::TResult::NotRaw;
    return t;
  }
  int data = -1;
  for (int i = 7; i < lines.Count(); ++i)
    if (Field(Fields(lines.Strings(i)), 0) == "data") {
      data = i;
      break;
    }
  if (data < 0) return fail("data");
  if (lines.Count() - (data + 1) < 256) return fail(line(lines.Count() - 1));
  for (int k = 0; k < 256; ++k) {
    auto f = Fields(lines.Strings(data + 1 + k));
    if (t.Color) {
      t.R[k] = IntField(Field(f, 1));
      t.G[k] = IntField(Field(f, 3));
      t.B[k] = IntField(Field(f, 5));
    } else {
      t.Y[k] = IntField(Field(f, 1));
    }
  }
  t.Result = TToneCurveText::TResult::Ok;
  return t;
}

}  // namespace kwlib
