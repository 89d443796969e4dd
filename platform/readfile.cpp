#include "platform/readfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/types.h"

namespace {
std::string Named(const std::string& fileName) { return "ファイル「" + fileName + "」"; }
}  // namespace

int KWOpenRegularFile(const std::string& fileName, uint64_t maxSize, uint64_t* size) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    EInOutError e(Named(fileName) + "を開けません: " + std::strerror(err));
    errno = err;
    throw e;
  }
  struct stat st {};
  std::string why;
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
    why = "を読めません: " + std::string(std::strerror(err));
  } else if (S_ISDIR(st.st_mode)) {
    err = EISDIR;
    why = "はフォルダです。";
  } else if (!S_ISREG(st.st_mode)) {
    err = EINVAL;
    why = "は通常のファイルではないため読み込めません。";
  } else if (uint64_t(st.st_size) > maxSize) {
    err = EFBIG;
    why = "は大きすぎるため読み込めません(" + std::to_string(st.st_size) + " バイト、上限 " +
          std::to_string(maxSize) + " バイト)。";
  }
  if (!why.empty()) {
    ::close(fd);
    EInOutError e(Named(fileName) + why);
    errno = err;
    throw e;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (size) *size = uint64_t(st.st_size);
  return fd;
}

namespace {
template <class Buffer>
Buffer ReadAll(const std::string& fileName, uint64_t maxSize) {
  uint64_t size = 0;
  int fd = KWOpenRegularFile(fileName, maxSize, &size);
  Buffer data;
  data.resize(size_t(size));
  size_t done = 0;
  for (;;) {
    if (done == data.size()) {
      // The file may have grown since it was measured: read on, within the limit.
      if (data.size() >= maxSize) {
        char probe = 0;
        ssize_t n = ::read(fd, &probe, 1);
        if (n == 0) break;
        ::close(fd);
        throw EInOutError(Named(fileName) + "は大きすぎるため読み込めません(上限 " +
                          std::to_string(maxSize) + " バイト)。");
      }
      data.resize(std::min<uint64_t>(maxSize, uint64_t(data.size()) + 65536));
    }
    ssize_t n = ::read(fd, reinterpret_cast<char*>(data.data()) + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw EInOutError(Named(fileName) + "を読めません: " + std::strerror(err));
    }
    if (n == 0) break;
    done += size_t(n);
  }
  ::close(fd);
  data.resize(done);
  return data;
}
}  // namespace

std::string KWReadRegularFile(const std::string& fileName, uint64_t maxSize) {
  return ReadAll<std::string>(fileName, maxSize);
}

std::vector<uint8_t> KWReadRegularFileBytes(const std::string& fileName, uint64_t maxSize) {
  return ReadAll<std::vector<uint8_t>>(fileName, maxSize);
}
