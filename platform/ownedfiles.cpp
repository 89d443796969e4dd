#include "platform/ownedfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "platform/sysutils.h"
#include "platform/types.h"

namespace {

constexpr const char* kPrefix = "kw-undo-";
// A folder whose lock is free but whose process id is in use again belongs
// to no one once it is this old (its maker locks it right after making it).
constexpr time_t kUnlockedGrace = 60;

struct State {
  std::mutex m;
  std::string folder;  // with a trailing '/'; empty until made
  int folderFd = -1;   // holds the lock
  pid_t owner = 0;
  std::vector<std::string> files;
};

// Never destroyed: owned files may be released while the process ends.
State& St() {
  static State* s = [] {
    auto* st = new State;
    std::atexit([] { KWRemoveSwapFolder(); });
    return st;
  }();
  return *s;
}

std::string NoTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// An XDG base folder: the variable when it holds an absolute path, else the
// default under HOME (empty when there is no HOME).
std::string XdgBase(const char* var, const char* underHome) {
  const char* v = std::getenv(var);
  if (v && v[0] == '/') return v;
  const char* h = std::getenv("HOME");
  if (h && h[0] == '/') return std::string(h) + underHome;
  return {};
}

bool IsRootOrRelative(const std::string& p) {
  if (p.empty() || p[0] != '/') return true;
  std::error_code ec;
  std::filesystem::path norm = std::filesystem::path(p).lexically_normal();
  if (norm == "/") return true;
  std::filesystem::path real = std::filesystem::canonical(p, ec);
  return !ec && real == "/";
}

// Makes the private folder in place; true with st.folder set.
bool MakeIn(State& st, const std::string& place, bool createPlace, std::string& why) {
  if (IsRootOrRelative(place)) {
    why += "\n  " + (place.empty() ? std::string("(なし)") : place) + ": 使えない場所です";
    return false;
  }
  std::error_code ec;
  if (createPlace) std::filesystem::create_directories(place, ec);
  struct stat sb {};
  if (::stat(place.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode)) {
    why += "\n  " + place + ": フォルダがありません";
    return false;
  }
  std::string tmpl = NoTrailingSlash(place) + "/" + kPrefix + std::to_string(::getpid()) + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) {
    why += "\n  " + place + ": " + std::strerror(errno);
    return false;
  }
  const std::string made(buf.data());
  int fd = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (fd >= 0) ::close(fd);
    why += "\n  " + place + ": " + std::strerror(errno);
    ::rmdir(made.c_str());
    return false;
  }
  st.folder = made + "/";
  st.folderFd = fd;
  st.owner = ::getpid();
  return true;
}

// Removes the folder with what it holds.  Other threads may remove files in
// it meanwhile (a history image that is let go): a file that is gone already
// is no failure, and the folder is emptied again when it was not empty yet.
void RemoveFolderTree(const std::string& folder) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (DIR* d = ::opendir(folder.c_str())) {
      while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        if (::unlinkat(::dirfd(d), e->d_name, 0) != 0 && errno == EISDIR) {
          std::error_code ec;
          std::filesystem::remove_all(folder + "/" + e->d_name, ec);
        }
      }
      ::closedir(d);
    }
    if (::rmdir(folder.c_str()) == 0 || (errno != ENOTEMPTY && errno != EEXIST)) return;
  }
}

void RemoveFolderLocked(State& st) {
  if (st.folder.empty() || st.owner != ::getpid()) return;
  RemoveFolderTree(NoTrailingSlash(st.folder));
  ::close(st.folderFd);
  st.folderFd = -1;
  st.folder.clear();
}

void NoteFile(State& st, const std::string& path) {
  // Files in the swap folder go with the folder.
  if (!st.folder.empty() && path.compare(0, st.folder.size(), st.folder) == 0) return;
  st.files.push_back(path);
}

bool ProcessRuns(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

std::vector<std::string> KWSwapFolderPlaces() {
  std::vector<std::string> places;
  const char* t = std::getenv("TMPDIR");
  places.push_back(NoTrailingSlash(t && *t ? t : "/tmp"));
  const std::string cache = XdgBase("XDG_CACHE_HOME", "/.cache");
  places.push_back(cache.empty() ? std::string() : NoTrailingSlash(cache) + "/Varoka");
  // An installed program folder is never written into.
  places.push_back(ProgramFolderInstalled() ? std::string() : ExecutableDir() + "UndoData");
  const std::string data = XdgBase("XDG_DATA_HOME", "/.local/share");
  places.push_back(data.empty() ? std::string() : NoTrailingSlash(data) + "/Varoka/UndoData");
  return places;
}

std::string KWSwapFolder() {
  State& st = St();
  std::lock_guard<std::mutex> lock(st.m);
  if (!st.folder.empty() && st.owner == ::getpid()) {
    // Still our own folder?  One that was removed meanwhile is made anew
    // rather than trusted under the same name.
    struct stat sb {};
    if (::lstat(NoTrailingSlash(st.folder).c_str(), &sb) == 0 && S_ISDIR(sb.st_mode) &&
        sb.st_uid == ::geteuid())
      return st.folder;
    ::close(st.folderFd);
    st.folderFd = -1;
  }
  st.folder.clear();
  std::string why;
  const std::vector<std::string> places = KWSwapFolderPlaces();
  for (size_t i = 0; i < places.size(); ++i)
    // $TMPDIR must exist; the program's own places are made when missing.
    if (MakeIn(st, places[i], i > 0, why)) return st.folder;
  throw EInOutError("履歴の画像を置く一時フォルダを作成できません。" + why);
}

void KWRemoveSwapFolder() {
  State& st = St();
  std::lock_guard<std::mutex> lock(st.m);
  RemoveFolderLocked(st);
}

int KWRemoveStaleSwapFolders() {
  int removed = 0;
  const uid_t me = ::geteuid();
  const time_t now = std::time(nullptr);
  std::string own;
  {
    State& st = St();
    std::lock_guard<std::mutex> lock(st.m);
    own = NoTrailingSlash(st.folder);
  }
  std::vector<std::string> places = KWSwapFolderPlaces();
  std::sort(places.begin(), places.end());
  places.erase(std::unique(places.begin(), places.end()), places.end());
  for (const std::string& place : places) {
    if (IsRootOrRelative(place)) continue;
    DIR* d = ::opendir(place.c_str());
    if (!d) continue;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d))
      if (std::strncmp(e->d_name, kPrefix, std::strlen(kPrefix)) == 0) names.emplace_back(e->d_name);
    ::closedir(d);
    for (const std::string& name : names) {
      const std::string path = place + "/" + name;
      if (path == own) continue;
      struct stat sb {};
      if (::lstat(path.c_str(), &sb) != 0 || !S_ISDIR(sb.st_mode) || sb.st_uid != me) continue;
      // "kw-undo-<pid>-XXXXXX"; other names are only removed when empty.
      const char* p = name.c_str() + std::strlen(kPrefix);
      char* end = nullptr;
      errno = 0;
      const long pid = std::strtol(p, &end, 10);
      const bool hasPid = end != p && *end == '-' && errno == 0 && pid > 0;
      if (!hasPid) {
        if (::rmdir(path.c_str()) == 0) ++removed;
        continue;
      }
      int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) continue;
      bool stale = false;
      if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        const time_t changed = std::max(sb.st_mtime, sb.st_ctime);
        stale = pid != ::getpid() && (!ProcessRuns(pid_t(pid)) || now - changed > kUnlockedGrace);
      }
      if (stale) {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        if (!ec) ++removed;
      }
      ::close(fd);
    }
  }
  return removed;
}

int KWCreateOwnedFile(const std::string& path, mode_t mode) {
  State& st = St();
  std::lock_guard<std::mutex> lock(st.m);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd >= 0) {
    const int saved = errno;
    NoteFile(st, path);
    errno = saved;
  }
  return fd;
}

bool KWMakeOwnedFilesFolder(const std::string& folder) {
  State& st = St();
  std::lock_guard<std::mutex> lock(st.m);
  return DirectoryExists(folder) || ForceDirectories(folder);
}

int KWCreateOwnedTempFile(std::string& pathTemplate) {
  State& st = St();
  std::lock_guard<std::mutex> lock(st.m);
  std::vector<char> buf(pathTemplate.begin(), pathTemplate.end());
  buf.push_back('\0');
  // Opened with O_EXCL and mode 0600.
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  pathTemplate.assign(buf.data());
  NoteFile(st, pathTemplate);
  return fd;
}

void KWReleaseOwnedFile(const std::string& path) {
  State& st = St();
  std::lock_guard<std::mutex> lock(st.m);
  auto it = std::find(st.files.begin(), st.files.end(), path);
  if (it != st.files.end()) st.files.erase(it);
}

void KWRemoveOwnedFilesForExit() {
  State& st = St();
  // Taken for good: nothing owned can be created after this point.
  st.m.lock();
  for (const std::string& f : st.files) ::unlink(f.c_str());
  st.files.clear();
  RemoveFolderLocked(st);
}
