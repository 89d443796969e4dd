// Whole-file reading and safe writing shared by the image readers/writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kwio {

// The whole file; raises EInOutError when it cannot be opened or read (or is
// a folder).
std::vector<uint8_t> ReadWholeFile(const std::string& fileName);

// Writes data under a temporary name in the target's folder and renames it
// over the target; on any failure the temporary file is removed, the target
// is left as it was and EInOutError is raised.
void WriteFileReplacing(const std::string& fileName, const uint8_t* data, size_t size);

// "「name」" for messages, or empty when there is no name.
std::string Quoted(const std::string& fileName);

}  // namespace kwio
