#include "platform/stringlist.h"

#include <stdexcept>
#include <string>

#include "platform/types.h"

namespace {
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// Full-width Latin letters: U+FF21..U+FF3A (EF BC A1..BA) upper case,
// U+FF41..U+FF5A (EF BD 81..9A) lower case.
std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (size_t i = 0; i < r.size(); ++i) {
    const auto u = [&](size_t k) { return uint8_t(r[k]); };
    if (i + 2 < r.size() && u(i) == 0xEF && u(i + 1) == 0xBD && u(i + 2) >= 0x81 && u(i + 2) <= 0x9A) {
      r[i + 1] = char(0xBC);
      r[i + 2] = char(u(i + 2) - 0x81 + 0xA1);
      i += 2;
    } else {
      r[i] = AsciiUpper(r[i]);
    }
  }
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (size_t i = 0; i < r.size(); ++i) {
    const auto u = [&](size_t k) { return uint8_t(r[k]); };
    if (i + 2 < r.size() && u(i) == 0xEF && u(i + 1) == 0xBC && u(i + 2) >= 0xA1 && u(i + 2) <= 0xBA) {
      r[i + 1] = char(0xBD);
      r[i + 2] = char(u(i + 2) - 0xA1 + 0x81);
      i += 2;
    } else {
      r[i] = AsciiLower(r[i]);
    }
  }
  return r;
}

const TStringList::Item& TStringList::item(int i) const {
  if (i < 0 || i >= Count()) throw Exception("List index out of bounds (" + std::to_string(i) + ")");
  return items_[size_t(i)];
}

int TStringList::AddObject(const std::string& s, void* obj) {
  items_.push_back(Item{s, obj});
  return int(items_.size()) - 1;
}

void TStringList::Insert(int index, const std::string& s, void* obj) {
  if (index < 0 || index > Count())
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  items_.insert(items_.begin() + index, Item{s, obj});
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count())
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(std::string_view s) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameText(items_[i].text, s)) return int(i);
  return -1;
}

int TStringList::IndexOfObject(const void* obj) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].object == obj) return int(i);
  return -1;
}

std::string TStringList::Text() const {
  std::string r;
  for (const auto& it : items_) {
    r += it.text;
    r += "\r\n";
  }
  return r;
}

void TStringList::SetText(std::string_view text) {
  items_.clear();
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != '\r' && text[j] != '\n') ++j;
    items_.push_back(Item{std::string(text.substr(i, j - i)), nullptr});
    if (j < n) j += (text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ? 2 : 1;
    i = j;
  }
}
