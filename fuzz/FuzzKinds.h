// The file kinds the picture fuzzer feeds the loader: an input's first byte
// picks the extension of the file the rest of the input is written to.
#pragma once

#include <cstddef>

namespace fuzzkinds {

inline constexpr const char* kExtensions[] = {"png", "jpg", "bmp", "gif",  "tif", "webp", "pgm", "ppm",
                                              "pbm", "tga", "ico", "cur",  "xpm", "xbm",  "wbmp", "icns",
                                              "mng", "jpeg", "tiff", "pnm"};
inline constexpr std::size_t kCount = sizeof kExtensions / sizeof kExtensions[0];

} // namespace fuzzkinds
