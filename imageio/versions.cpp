#include "imageio/versions.h"

#include <cstdio>

#include <jpeglib.h>
#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#define KW_STR2(x) #x
#define KW_STR(x) KW_STR2(x)

std::vector<std::pair<std::string, std::string>> KWImageLibraryVersions() {
  std::vector<std::pair<std::string, std::string>> v;
#ifdef LIBJPEG_TURBO_VERSION
  v.emplace_back("libjpeg-turbo", KW_STR(LIBJPEG_TURBO_VERSION));
#else
  v.emplace_back("libjpeg", std::to_string(JPEG_LIB_VERSION));
#endif
  v.emplace_back("libpng", png_get_header_ver(nullptr));
  v.emplace_back("zlib", zlibVersion());
  v.emplace_back("libdeflate", LIBDEFLATE_VERSION_STRING);
#ifdef KW_GIFLIB_VERSION
  v.emplace_back("giflib", KW_GIFLIB_VERSION);
#endif
  return v;
}
