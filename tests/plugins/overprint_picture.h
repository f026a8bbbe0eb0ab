// Grey pictures for overprint's font reference: binary PGM to keep in the
// repository and compare with, PNG for people to look at.
#pragma once

#include <string>
#include <vector>

namespace overprint_picture {

struct Grey {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;  // top row first
};

// Binary PGM (P5, maxval 255). read_pgm returns an empty picture when the
// file is missing or not such a picture.
bool write_pgm(const std::string &path, const Grey &g);
Grey read_pgm(const std::string &path);
// 8-bit greyscale PNG, each pixel drawn scale x scale; the image data is
// stored uncompressed.
bool write_png(const std::string &path, const Grey &g, int scale = 1);

}  // namespace overprint_picture
