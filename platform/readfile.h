// Reading files that come from users (images, scripts, tone curves,
// settings): only regular files are read, checked on the opened descriptor,
// and only up to a size limit known before the first byte is read.  A FIFO,
// a device such as /dev/zero or a folder gets a message naming the file
// instead of a read that never ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Limits of the files the program reads whole.
constexpr uint64_t kKWMaxTextFileSize = uint64_t(16) << 20;  // scripts, settings, tone curves
// The largest picture (kMaxImagePixels at 4 bytes) and its headers.
constexpr uint64_t kKWMaxImageFileSize = (uint64_t(1) << 30) + (uint64_t(1) << 20);

// Opens fileName for reading; raises EInOutError (with errno set to the cause:
// ENOENT for a missing file) when it cannot be opened, is not a regular file
// or is larger than maxSize.  The caller closes the descriptor.
int KWOpenRegularFile(const std::string& fileName, uint64_t maxSize, uint64_t* size = nullptr);
// The whole content of a regular file (same checks).
std::string KWReadRegularFile(const std::string& fileName, uint64_t maxSize);
std::vector<uint8_t> KWReadRegularFileBytes(const std::string& fileName, uint64_t maxSize);
