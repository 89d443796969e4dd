#include "platform/sysutils.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/types.h"

namespace {
constexpr long double kTwo63 = 9223372036854775808.0L;

int64_t CheckedToInt(long double r) {
  if (!(r >= -kTwo63 && r < kTwo63)) throw Exception("Invalid floating point operation");
  return int64_t(r);
}
}  // namespace

int64_t Round(long double v) {
  // rintl rounds in the current mode, which is to nearest with halves to
  // even unless someone changed it.
  return CheckedToInt(std::rint(v));
}

int64_t Trunc(long double v) { return CheckedToInt(std::trunc(v)); }

uint32_t GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

namespace {

inline char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Length of the UTF-8 sequence that starts at s[i] (1 for stray bytes).
size_t CharLen(std::string_view s, size_t i) {
  size_t j = i + 1;
  if (uint8_t(s[i]) >= 0xC0)
    while (j < s.size() && (uint8_t(s[j]) & 0xC0) == 0x80) ++j;
  return j - i;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
  size_t n = 0, m = 0;
  size_t starM = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = ++m;
      starN = n;
    } else if (m < mask.size() && mask[m] == '?') {
      n += CharLen(name, n);
      ++m;
    } else if (m < mask.size() && Up(mask[m]) == Up(name[n])) {
      ++n;
      ++m;
    } else if (starM != std::string_view::npos) {
      // Let the last star take one more character and try again.
      starN += CharLen(name, starN);
      n = starN;
      m = starM;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<TSearchRec> FindFiles(const std::string& mask) {
  std::vector<TSearchRec> result;
  std::string folder = ExtractFilePath(mask);
  const std::string pattern = ExtractFileName(mask);
  if (pattern.empty()) return result;
  // "name.*" also finds "name" without an extension ("*.*" finds everything).
  std::string_view bare;
  if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0)
    bare = std::string_view(pattern).substr(0, pattern.size() - 2);
  const bool hasBare = pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return result;
  while (dirent* e = readdir(dir)) {
    const std::string_view name(e->d_name);
    if (!MatchesMask(name, pattern) && !(hasBare && MatchesMask(name, bare))) continue;
    TSearchRec rec;
    rec.Name = std::string(name);
    const std::string full = folder + rec.Name;
    struct stat st {};
    if (stat(full.c_str(), &st) == 0 || lstat(full.c_str(), &st) == 0) {
      rec.Directory = S_ISDIR(st.st_mode);
      rec.Size = rec.Directory ? 0 : int64_t(st.st_size);
      rec.Time = int64_t(st.st_mtime);
    }
    result.push_back(std::move(rec));
  }
  closedir(dir);
  return result;
}

namespace {
std::mutex g_exeDirMutex;
std::string g_exeDirOverride;

std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}
}  // namespace

bool ProgramFolderInstalled() { return FileExists(ExecutableDir() + "installed.txt"); }

std::string ExecutableDir() {
  {
    std::lock_guard<std::mutex> lock(g_exeDirMutex);
    if (!g_exeDirOverride.empty()) return g_exeDirOverride;
  }
  std::string buf(4096, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "./";
    if (size_t(n) < buf.size()) {
      buf.resize(size_t(n));
      break;
    }
    buf.resize(buf.size() * 2);
  }
  const std::string dir = ExtractFilePath(buf);
  return dir.empty() ? "./" : dir;
}

void SetExecutableDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_exeDirMutex);
  g_exeDirOverride = dir.empty() ? std::string() : WithSlash(dir);
}

std::string LoggedOnUserName() {
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* res = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &res) == 0 && res && res->pw_name &&
      res->pw_name[0])
    return res->pw_name;
  if (const char* u = std::getenv("USER"); u && *u) return u;
  return {};
}

namespace {
size_t NameStart(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}
size_t ExtStart(std::string_view path) {
  const size_t start = NameStart(path);
  const size_t dot = path.rfind('.');
  return (dot == std::string_view::npos || dot < start) ? std::string_view::npos : dot;
}
}  // namespace

std::string ExtractFileExt(std::string_view path) {
  const size_t dot = ExtStart(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string ExtractFilePath(std::string_view path) { return std::string(path.substr(0, NameStart(path))); }

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const size_t dot = ExtStart(path);
  std::string r(dot == std::string_view::npos ? path : path.substr(0, dot));
  r += ext;
  return r;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    const std::string part = path.substr(0, pos);
    if (part.empty() || part == "/") continue;
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return DirectoryExists(path);
}

bool DeleteFile(const std::string& path) { return !path.empty() && unlink(path.c_str()) == 0; }

std::string FloatToStr(long double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  // 15 significant digits, correctly rounded, in scientific form.  The
  // decimal separator of the C library follows the locale, so only the
  // digits and the exponent are taken from its text.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14Le", v);
  std::string digits;
  bool negative = false;
  int exponent = 0;
  const char* p = buf;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  for (; *p && *p != 'e' && *p != 'E'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  if (*p) exponent = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string r = negative ? "-" : "";
  if (exponent >= 15 || exponent < -4) {
    r += digits[0];
    if (digits.size() > 1) {
      r += '.';
      r += digits.substr(1);
    }
    r += 'E';
    r += std::to_string(exponent);
    return r;
  }
  if (exponent >= 0) {
    const size_t intLen = size_t(exponent) + 1;
    if (digits.size() <= intLen) {
      r += digits;
      r.append(intLen - digits.size(), '0');
    } else {
      r += digits.substr(0, intLen);
      r += '.';
      r += digits.substr(intLen);
    }
  } else {
    r += "0.";
    r.append(size_t(-exponent - 1), '0');
    r += digits;
  }
  return r;
}
