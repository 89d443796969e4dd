// Versions of the image libraries the program runs with, for the about box.
#pragma once

#include <string>
#include <utility>
#include <vector>

// (library, version) pairs: libjpeg, libpng, zlib and, when the GIF
// plug-in was built, giflib.
std::vector<std::pair<std::string, std::string>> KWImageLibraryVersions();
