#include "imageio/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/ownedfiles.h"
#include "platform/readfile.h"
#include "platform/types.h"

namespace kwio {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

// The file a name finally refers to: symbolic links are followed (a
// relative target is taken from the link's folder), so that saving onto a
// link writes through to its target as editors do.
std::string FollowLinks(const std::string& fileName) {
  std::string p = fileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::vector<char> buf(size_t(PATH_MAX) + 1);
    ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size() - 1);
    if (n <= 0) return p;
    std::string target(buf.data(), size_t(n));
    if (target[0] != '/') {
      const size_t slash = p.rfind('/');
      if (slash != std::string::npos) target = p.substr(0, slash + 1) + target;
    }
    p = target;
  }
  throw EInOutError("ファイル" + Quoted(fileName) + "に書き込めません: " + ErrnoText(ELOOP));
}

}  // namespace

std::string Quoted(const std::string& fileName) {
  return fileName.empty() ? std::string() : "「" + fileName + "」";
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
  return KWReadRegularFileBytes(fileName, kKWMaxImageFileSize);
}

std::FILE* OpenForReading(const std::string& fileName) {
  int fd = KWOpenRegularFile(fileName, kKWMaxImageFileSize);
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    const int err = errno;
    ::close(fd);
    throw EInOutError("ファイル" + Quoted(fileName) + "を開けません: " + ErrnoText(err));
  }
  std::setvbuf(f, nullptr, _IOFBF, size_t(1) << 18);
  return f;
}

void FileCloser::operator()(std::FILE* f) const noexcept {
  if (f) std::fclose(f);
}

ReplacingFile::ReplacingFile(const std::string& fileName)
    : name_(fileName), target_(FollowLinks(fileName)), tmp_(target_ + ".XXXXXX") {
  // Made exclusively and owned, so that an end by a signal removes it.
  fd_ = KWCreateOwnedTempFile(tmp_);
  if (fd_ < 0)
    throw EInOutError("ファイル" + Quoted(fileName) + "を作成できません: " + ErrnoText(errno));
  // The temporary file is private; give it the target's permissions, or
  // the usual ones for a new file.
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  mode_t mode = 0666 & ~mask;
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  (void)::fchmod(fd_, mode);
}

ReplacingFile::~ReplacingFile() {
  if (tmp_.empty()) return;
  if (fd_ >= 0) ::close(fd_);
  ::unlink(tmp_.c_str());
  KWReleaseOwnedFile(tmp_);
}

void ReplacingFile::Fail(int err) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(tmp_.c_str());
  KWReleaseOwnedFile(tmp_);
  tmp_.clear();
  throw EInOutError("ファイル" + Quoted(name_) + "に書き込めません: " + ErrnoText(err));
}

void ReplacingFile::Write(const void* data, size_t size) {
  if (fd_ < 0) Fail(EBADF);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    p += n;
    size -= size_t(n);
  }
}

void ReplacingFile::Commit() {
  if (fd_ < 0) Fail(EBADF);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) Fail(errno);
  if (::rename(tmp_.c_str(), target_.c_str()) != 0) Fail(errno);
  KWReleaseOwnedFile(tmp_);
  tmp_.clear();
}

void WriteFileReplacing(const std::string& fileName, const uint8_t* data, size_t size) {
  ReplacingFile f(fileName);
  f.Write(data, size);
  f.Commit();
}

}  // namespace kwio
