#include "script/kwscript.h"

#include <iconv.h>

#include <cerrno>
#include <fstream>

#include "platform/readfile.h"
#include "platform/types.h"

std::vector<std::string> TKWScript::SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t n = text.size();
  size_t i = 0;
  while (i < n && text[i] != '\0') {
    size_t start = i;
    while (i < n && text[i] != '\r' && text[i] != '\n' && text[i] != '\0') ++i;
    lines.emplace_back(text.substr(start, i - start));
    if (i < n && text[i] == '\r') ++i;
    if (i < n && text[i] == '\n') ++i;
  }
  return lines;
}

bool TKWScript::IsValidUtf8(std::string_view s) {
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (int k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string TKWScript::ShiftJisToUtf8(std::string_view bytes) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == (iconv_t)-1) cd = iconv_open("UTF-8", "SHIFT_JIS");
  if (cd == (iconv_t)-1) {
    // No converter: keep the ASCII bytes, replace the others.
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xEF\xBF\xBD";
    return out;
  }
  std::string in(bytes);
  char* inp = in.data();
  size_t inleft = in.size();
  char buf[4096];
  while (inleft > 0) {
    char* outp = buf;
    size_t outleft = sizeof buf;
    size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
    out.append(buf, size_t(outp - buf));
    if (r == size_t(-1)) {
      if (errno == E2BIG) continue;
      // An undecodable or truncated sequence: replace one byte and go on.
      out += "\xEF\xBF\xBD";
      ++inp;
      --inleft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

void TKWScript::LoadFromText(std::string_view bytes) {
  size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  // A byte-order mark written by another editor is not part of the first line.
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::vector<std::string> lines;
  if (IsValidUtf8(bytes))
    lines = SplitLines(bytes);
  else
    lines = SplitLines(ShiftJisToUtf8(bytes));
  Clear();
  for (auto& l : lines) Add(l);
}

void TKWScript::LoadFromFile(const std::string& fileName) {
  // Only a regular file of reasonable size: a FIFO or a device would never end.
  LoadFromText(KWReadRegularFile(fileName, kKWMaxTextFileSize));
}

TKWScript TKWScript::CreateFromFile(const std::string& fileName) {
  TKWScript s;
  s.LoadFromFile(fileName);
  return s;
}

void TKWScript::SaveToFile(const std::string& fileName) const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    text += Strings(i);
    text += "\r\n";
  }
  std::ofstream f(fileName, std::ios::binary | std::ios::trunc);
  if (!f) throw EInOutError("ファイル\"" + fileName + "\"を作成できません。");
  f.write(text.data(), std::streamsize(text.size()));
  f.close();
  if (!f) throw EInOutError("ファイル\"" + fileName + "\"に書き込めません。");
}
