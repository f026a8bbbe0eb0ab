// What a picture's file name says of it, and changes to pictures that need
// no file: both the program and the picture library use these.
#include "picture.h"

#include <cctype>

namespace seqfx_cli {

std::string picture_extension(const std::string &path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = path.substr(dot + 1);
  for (char &c : e) c = (char)std::tolower((unsigned char)c);
  return e;
}

bool is_float_format(const std::string &path) {
  const std::string e = picture_extension(path);
  return e == "exr" || e == "hdr" || e == "pfm";
}

bool is_depth_format(const std::string &path) {
  const std::string e = picture_extension(path);
  return e == "exr" || e == "tif" || e == "tiff" || e == "pfm";
}

void make_opaque(seqfx::Image &img) {
  const std::size_t n = img.pixels();
  for (std::size_t i = 0; i < n; ++i) img.rect()[4 * i + 3] = 255;
  if (float *f = img.floatbuf())
    for (std::size_t i = 0; i < n; ++i) f[4 * i + 3] = 1.0f;
}

}  // namespace seqfx_cli
