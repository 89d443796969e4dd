// PNG coding of a 32-bit bottom-up pixel buffer, fast and on every core.
//
// The rows are cut into bands of a few megabytes.  Each band is filtered
// (per row the filter type whose output has the smallest sum of absolute
// values, the usual choice of PNG writers) and compressed with libdeflate on
// its own worker; the bands are then joined into the one zlib stream that
// the image data must be: every band but the last has its final block
// marked as not final and ends on a byte boundary with an empty stored block
// (what zlib's sync flush writes), and the Adler-32 sums of the bands are
// combined.  The result is an ordinary PNG (IHDR, IDAT chunks, IEND) that
// every reader takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kwpng {

// Writes a PNG of width x height pixels (8 bits per channel; RGBA when alpha,
// RGB otherwise) from the buffer that starts with the bottom row (B, G, R, A
// per pixel, rows of width x 4 bytes upwards).  The file is handed to write
// in order, a piece at a time; write raises to stop.  Sizes are the caller's
// to check.
void Encode(int width, int height, bool alpha, const uint8_t* bottomRow,
            const std::function<void(const uint8_t*, size_t)>& write);

// One deflate stream made of independently compressed parts, as Encode joins
// them (exposed for tests): parts[i] is compressed at the given level and the
// raw deflate data returned (no zlib header or checksum).
namespace detail {
std::vector<uint8_t> JoinedDeflate(const std::vector<std::vector<uint8_t>>& parts, int level);
}

}  // namespace kwpng
