// The picture every case runs on: RGBA bytes, read from a binary PPM or
// made up when none is given, and scaled to each case's frame size.
#pragma once

#include <string>
#include <vector>

namespace peers {

struct Rgba {
  int width = 0, height = 0;
  std::vector<unsigned char> bytes;  // width * height * 4, alpha 255
};

// Reads a binary PPM (P6, maxval 255). Throws std::runtime_error with the
// reason when the file cannot be read or is not such a file.
Rgba read_ppm(const std::string &path);

// Gradients, a checker and noise: used when no picture is given.
Rgba synthetic(int width, int height);

// Nearest-neighbour scaling (the picture only has to look alike at every
// size; the cost of the cases is what is measured).
Rgba scaled(const Rgba &src, int width, int height);

}  // namespace peers
