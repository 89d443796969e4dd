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

void PixelFree::operator()(uint8_t* p) const noexcept { KWFreePixels(p); }

PixelBuffer AllocatePixels(size_t bytes) {
  return PixelBuffer(static_cast<uint8_t*>(KWAllocatePixels(bytes)));
}

void WriteFileReplacing(const std::string& fileName, const uint8_t* data, size_t size) {
  const std::string target = FollowLinks(fileName);
  std::string tmp = target + ".XXXXXX";
  // Made exclusively and owned, so that an end by a signal removes it.
  int fd = KWCreateOwnedTempFile(tmp);
  if (fd < 0)
    throw EInOutError("ファイル" + Quoted(fileName) + "を作成できません: " + ErrnoText(errno));
  auto fail = [&](int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(tmp.c_str());
    KWReleaseOwnedFile(tmp);
    throw EInOutError("ファイル" + Quoted(fileName) + "に書き込めません: " + ErrnoText(err));
  };
  // The temporary file is private; give it the target's permissions, or
  // the usual ones for a new file.
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  mode_t mode = 0666 & ~mask;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  (void)::fchmod(fd, mode);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += size_t(n);
  }
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) fail(errno);
  if (::rename(tmp.c_str(), target.c_str()) != 0) fail(errno);
  KWReleaseOwnedFile(tmp);
}

}  // namespace kwio
