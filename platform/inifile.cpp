#include "platform/inifile.h"

#include <clocale>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <locale.h>
#include <sstream>

#include "platform/readfile.h"
#include "platform/sysutils.h"
#include "platform/types.h"

namespace {

std::string_view TrimView(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\0' || uint8_t(s[a]) < 0x20)) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\0' || uint8_t(s[b - 1]) < 0x20))
    --b;
  return s.substr(a, b - a);
}

// A line break inside a key or value would split it into lines of their
// own when the file is read again; it is written as a space.
std::string OneLine(const std::string& s) {
  std::string r = s;
  for (char& c : r)
    if (c == '\r' || c == '\n') c = ' ';
  return r;
}

// Integer text as the INI reader accepts it: optional sign, then decimal
// digits, or hexadecimal digits after "$" or "0x"; nothing else.
bool ParseInt(std::string_view s, int& out) {
  s = TrimView(s);
  if (s.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  }
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    v = v * (hex ? 16 : 10) + uint64_t(d);
    if (v > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    // Hexadecimal covers the 32-bit pattern: $FFFFFFFF is -1.
    int32_t x = int32_t(uint32_t(v));
    out = neg ? int(-int64_t(x)) : x;
    if (neg && x == INT32_MIN) return false;
    return true;
  }
  if (neg) {
    if (v > uint64_t(INT32_MAX) + 1) return false;
    out = int(-int64_t(v));
  } else {
    if (v > uint64_t(INT32_MAX)) return false;
    out = int(v);
  }
  return true;
}

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return loc;
}

}  // namespace

TMemIniFile::TMemIniFile(const std::string& fileName) : fileName_(fileName) {
  if (fileName_.empty()) return;
  std::string text;
  try {
    text = KWReadRegularFile(fileName_, kKWMaxTextFileSize);
  } catch (const EInOutError& e) {
    if (errno != ENOENT) readError_ = e.what();
    return;
  }
  SetText(text);
  modified_ = false;
}

TMemIniFile::~TMemIniFile() = default;

const TMemIniFile::Section* TMemIniFile::findSection(const std::string& name) const {
  for (const auto& s : sections_)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

TMemIniFile::Section* TMemIniFile::findSection(const std::string& name) {
  for (auto& s : sections_)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

std::string TMemIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& def) const {
  if (const Section* s = findSection(section))
    for (const auto& e : s->entries)
      if (SameText(e.key, ident)) return e.value;
  return def;
}

void TMemIniFile::WriteString(const std::string& section, const std::string& ident,
                              const std::string& value) {
  Section* s = findSection(section);
  if (!s) {
    sections_.push_back(Section{section, {}});
    s = &sections_.back();
  }
  for (auto& e : s->entries) {
    if (SameText(e.key, ident)) {
      if (e.value != value) {
        e.value = value;
        modified_ = true;
      }
      return;
    }
  }
  s->entries.push_back(Entry{ident, value});
  modified_ = true;
}

int TMemIniFile::ReadInteger(const std::string& section, const std::string& ident, int def) const {
  int v;
  return ParseInt(ReadString(section, ident, ""), v) ? v : def;
}

void TMemIniFile::WriteInteger(const std::string& section, const std::string& ident, int value) {
  WriteString(section, ident, std::to_string(value));
}

bool TMemIniFile::ReadBool(const std::string& section, const std::string& ident, bool def) const {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TMemIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

double TMemIniFile::ReadFloat(const std::string& section, const std::string& ident, double def) const {
  const std::string text = ReadString(section, ident, "");
  const std::string_view t = TrimView(text);
  if (t.empty()) return def;
  const std::string s(t);
  char* end = nullptr;
  errno = 0;
  const double v = strtod_l(s.c_str(), &end, CLocale());
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return def;
  return v;
}

void TMemIniFile::WriteFloat(const std::string& section, const std::string& ident, double value) {
  WriteString(section, ident, FloatToStr(value));
}

void TMemIniFile::ReadSection(const std::string& section, TStringList& idents) const {
  idents.Clear();
  if (const Section* s = findSection(section))
    for (const auto& e : s->entries) idents.Add(e.key);
}

void TMemIniFile::ReadSectionValues(const std::string& section, TStringList& lines) const {
  lines.Clear();
  if (const Section* s = findSection(section))
    for (const auto& e : s->entries) lines.Add(e.key + "=" + e.value);
}

void TMemIniFile::ReadSections(TStringList& sections) const {
  sections.Clear();
  for (const auto& s : sections_) sections.Add(s.name);
}

bool TMemIniFile::SectionExists(const std::string& section) const {
  return findSection(section) != nullptr;
}

bool TMemIniFile::ValueExists(const std::string& section, const std::string& ident) const {
  if (const Section* s = findSection(section))
    for (const auto& e : s->entries)
      if (SameText(e.key, ident)) return true;
  return false;
}

void TMemIniFile::EraseSection(const std::string& section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (SameText(it->name, section)) {
      sections_.erase(it);
      modified_ = true;
      return;
    }
  }
}

void TMemIniFile::DeleteKey(const std::string& section, const std::string& ident) {
  Section* s = findSection(section);
  if (!s) return;
  for (auto it = s->entries.begin(); it != s->entries.end(); ++it) {
    if (SameText(it->key, ident)) {
      s->entries.erase(it);
      modified_ = true;
      return;
    }
  }
}

std::string TMemIniFile::Text() const {
  std::string r;
  for (const auto& s : sections_) {
    r += "[" + OneLine(s.name) + "]\r\n";
    for (const auto& e : s.entries) r += OneLine(e.key) + "=" + OneLine(e.value) + "\r\n";
    r += "\r\n";
  }
  return r;
}

void TMemIniFile::SetText(const std::string& text) {
  std::string_view all(text);
  if (all.size() >= 3 && all.compare(0, 3, "\xEF\xBB\xBF") == 0) all.remove_prefix(3);
  TStringList lines;
  lines.SetText(all);
  sections_.clear();
  Section* current = nullptr;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string_view line = TrimView(lines.Strings(i));
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      sections_.push_back(Section{std::string(TrimView(line.substr(1, line.size() - 2))), {}});
      current = &sections_.back();
      continue;
    }
    // Lines before the first section and lines without "=" carry no value.
    const size_t eq = line.find('=');
    if (!current || eq == std::string_view::npos) continue;
    current->entries.push_back(
        Entry{std::string(TrimView(line.substr(0, eq))), std::string(TrimView(line.substr(eq + 1)))});
  }
  modified_ = true;
}

void TMemIniFile::UpdateFile() {
  if (!modified_) return;
  const std::string text = Text();
  // Written beside the file and renamed over it, so that a failed write
  // leaves the previous file whole.
  const std::string tmp = fileName_ + ".tmp";
  auto writeTo = [&](const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::remove(name.c_str());
    return ok;
  };
  if (fileName_.empty()) throw EInOutError("Cannot create file \"\"");
  if (!readError_.empty()) throw EInOutError(readError_);
  if (writeTo(tmp)) {
    if (std::rename(tmp.c_str(), fileName_.c_str()) == 0) {
      modified_ = false;
      return;
    }
    std::remove(tmp.c_str());
  } else if (writeTo(fileName_)) {
    // The folder does not take new files but the file itself is writable.
    modified_ = false;
    return;
  }
  throw EInOutError("Cannot create file \"" + fileName_ + "\"");
}
