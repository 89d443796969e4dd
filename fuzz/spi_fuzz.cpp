// Fuzz target: bytes offered to one image plug-in (compiled in; the build
// makes one target per plug-in) the way the program offers a file in memory,
// and the plug-in's picture taken over as the program takes it over.
#define SPI_DECLARE_PLUGIN_FUNCTIONS
#include "imageio/spi_api.h"

#include <malloc.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "imageio/spi.h"

namespace {
int Progress(int, int, intptr_t) { return 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t header[2048] = {};
  std::memcpy(header, data, size < sizeof header ? size : sizeof header);
  if (!IsSupported("fuzz", header)) return 0;
  SPIPictureInfo info{};
  const char* buf = reinterpret_cast<const char*>(data);
  const int r = GetPictureInfo(buf, intptr_t(size), SPI_INPUT_MEMORY, &info);
  std::free(info.hInfo);
  if (r != SPI_ALL_RIGHT) return 0;
  // The program refuses pictures too large to hold; larger than 256
  // kilopixels only slows the search.
  const int64_t h = info.height < 0 ? -int64_t(info.height) : int64_t(info.height);
  if (int64_t(info.width) * h > (int64_t(1) << 18)) return 0;
  void* hInfo = nullptr;
  void* hBits = nullptr;
  if (GetPicture(buf, intptr_t(size), SPI_INPUT_MEMORY, &hInfo, &hBits, Progress, 0) == SPI_ALL_RIGHT &&
      hInfo && hBits) {
    TBitmap out;
    try {
      TakeOverDIB(static_cast<const uint8_t*>(hInfo), ::malloc_usable_size(hInfo),
                  static_cast<const uint8_t*>(hBits), ::malloc_usable_size(hBits), out);
    } catch (const Exception&) {
    }
  }
  std::free(hInfo);
  std::free(hBits);
  return 0;
}
