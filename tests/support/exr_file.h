// A minimal uncompressed scanline EXR writer, so that tests can hand the
// program float pictures (with or without a depth channel) without linking
// an image library of their own.
#pragma once

#include <cstddef>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace seqfx_test {

namespace exr_detail {
template <typename T>
void put(std::string &s, T v) {
  s.append(reinterpret_cast<const char *>(&v), sizeof v);
}

inline void attribute(std::string &s, const char *name, const char *type, const std::string &value) {
  s += name;
  s += '\0';
  s += type;
  s += '\0';
  put<int>(s, (int)value.size());
  s += value;
}
}  // namespace exr_detail

// Writes 32-bit float channels `names` (which must be in the sorted order
// the format keeps, e.g. A, B, G, R, Z); value(n, x, y) gives channel n at
// pixel x, y with y counted from the top of the file.
inline void write_float_exr(const std::string &path, int w, int h, const std::vector<std::string> &names,
                            const std::function<float(std::size_t n, int x, int y)> &value) {
  using exr_detail::attribute;
  using exr_detail::put;
  std::string s;
  put<int>(s, 20000630);
  put<int>(s, 2);
  std::string ch;
  for (const std::string &c : names) {
    ch += c;
    ch += '\0';
    put<int>(ch, 2);  // FLOAT
    put<int>(ch, 0);  // pLinear and reserved
    put<int>(ch, 1);
    put<int>(ch, 1);
  }
  ch += '\0';
  attribute(s, "channels", "chlist", ch);
  attribute(s, "compression", "compression", std::string(1, '\0'));
  std::string box;
  for (int v : {0, 0, w - 1, h - 1}) put<int>(box, v);
  attribute(s, "dataWindow", "box2i", box);
  attribute(s, "displayWindow", "box2i", box);
  attribute(s, "lineOrder", "lineOrder", std::string(1, '\0'));
  std::string one, centre;
  put<float>(one, 1.0f);
  put<float>(centre, 0.0f);
  put<float>(centre, 0.0f);
  attribute(s, "pixelAspectRatio", "float", one);
  attribute(s, "screenWindowCenter", "v2f", centre);
  attribute(s, "screenWindowWidth", "float", one);
  s += '\0';
  const int line_bytes = 4 * (int)names.size() * w;
  const std::size_t start = s.size() + 8 * (std::size_t)h;
  for (int y = 0; y < h; ++y) put<unsigned long long>(s, start + (std::size_t)y * (8 + line_bytes));
  for (int y = 0; y < h; ++y) {
    put<int>(s, y);
    put<int>(s, line_bytes);
    for (std::size_t n = 0; n < names.size(); ++n)
      for (int x = 0; x < w; ++x) put<float>(s, value(n, x, y));
  }
  std::ofstream(path, std::ios::binary) << s;
}

}  // namespace seqfx_test
