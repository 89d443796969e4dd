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

// A pixel buffer of the platform's pixel memory, not cleared.
struct PixelFree {
  void operator()(uint8_t* p) const noexcept;
};
using PixelBuffer = std::unique_ptr<uint8_t[], PixelFree>;
PixelBuffer AllocatePixels(size_t bytes);

// Writes data under a temporary name in the target's folder and renames it
// over the target; on any failure the temporary file is removed, the target
// is left as it was and EInOutError is raised.
void WriteFileReplacing(const std::string& fileName, const uint8_t* data, size_t size);

// "「name」" for messages, or empty when there is no name.
std::string Quoted(const std::string& fileName);

}  // namespace kwio
