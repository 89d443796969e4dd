// Whole-file reading and safe writing shared by the image readers/writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kwio {

// The whole file; raises EInOutError when it cannot be opened or read, is
// not a regular file or is larger than the largest picture's file.
std::vector<uint8_t> ReadWholeFile(const std::string& fileName);

// Opens a file for reading (buffered); raises EInOutError as ReadWholeFile.  Close with CloseFile (FilePtr does).
std::FILE* OpenForReading(const std::string& fileName);
struct FileCloser {
  void operator()(std::FILE* f) const noexcept;
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A file written under a temporary name in the target's folder and renamed
// over the target by Commit.  Until then (and when anything fails) the
// target is left as it was; a ReplacingFile destroyed without Commit removes
// the temporary file.  Failures raise EInOutError naming the target.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::string& fileName);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  void Write(const void* data, size_t size);
  void Commit();

 private:
  [[noreturn]] void Fail(int err);
  std::string name_, target_, tmp_;
  int fd_ = -1;
};

// The whole data through a ReplacingFile.
void WriteFileReplacing(const std::string& fileName, const uint8_t* data, size_t size);

// "「name」" for messages, or empty when there is no name.
std::string Quoted(const std::string& fileName);

}  // namespace kwio
