#include "imageio/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/types.h"

namespace kwio {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

std::string Quoted(const std::string& fileName) {
  return fileName.empty() ? std::string() : "「" + fileName + "」";
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName) {
  Fd f;
  f.fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (f.fd < 0)
    throw EInOutError("ファイル" + Quoted(fileName) + "を開けません: " + ErrnoText(errno));
  struct stat st {};
  if (::fstat(f.fd, &st) != 0)
    throw EInOutError("ファイル" + Quoted(fileName) + "を読めません: " + ErrnoText(errno));
  if (S_ISDIR(st.st_mode))
    throw EInOutError("ファイル" + Quoted(fileName) + "はフォルダです");
  std::vector<uint8_t> data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.reserve(size_t(st.st_size));
  uint8_t chunk[65536];
  for (;;) {
    size_t room = data.capacity() - data.size();
    if (room > 0) {
      // Read straight into the reserved space.
      size_t old = data.size();
      data.resize(data.capacity());
      ssize_t n = ::read(f.fd, data.data() + old, room);
      if (n < 0) {
        if (errno == EINTR) {
          data.resize(old);
          continue;
        }
        throw EInOutError("ファイル" + Quoted(fileName) + "を読めません: " + ErrnoText(errno));
      }
      data.resize(old + size_t(n));
      if (n == 0) break;
      continue;
    }
    ssize_t n = ::read(f.fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError("ファイル" + Quoted(fileName) + "を読めません: " + ErrnoText(errno));
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  return data;
}

std::FILE* OpenForReading(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rbe");
  if (!f) throw EInOutError("ファイル" + Quoted(fileName) + "を開けません: " + ErrnoText(errno));
  struct stat st {};
  if (::fstat(::fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    int err = errno;
    std::fclose(f);
    if (S_ISDIR(st.st_mode)) throw EInOutError("ファイル" + Quoted(fileName) + "はフォルダです");
    throw EInOutError("ファイル" + Quoted(fileName) + "を読めません: " + ErrnoText(err));
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
  std::string tmpl = fileName + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0)
    throw EInOutError("ファイル" + Quoted(fileName) + "を作成できません: " + ErrnoText(errno));
  std::string tmp(name.data());
  auto fail = [&](const char* what, int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    throw EInOutError("ファイル" + Quoted(fileName) + what + ErrnoText(err));
  };
  // mkstemp makes the file private; give it the usual permissions.
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st {};
  mode_t mode = 0666 & ~mask;
  if (::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  (void)::fchmod(fd, mode);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("に書き込めません: ", errno);
    }
    done += size_t(n);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    throw EInOutError("ファイル" + Quoted(fileName) + "に書き込めません: " + ErrnoText(err));
  }
  if (::rename(tmp.c_str(), fileName.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    throw EInOutError("ファイル" + Quoted(fileName) + "に書き込めません: " + ErrnoText(err));
  }
}

}  // namespace kwio
