#include "picture.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace peers {

Rgba read_ppm(const std::string &path) {
  std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!f) throw std::runtime_error("cannot open " + path);
  int w = 0, h = 0, maxval = 0;
  if (std::fscanf(f.get(), "P6 %d %d %d", &w, &h, &maxval) != 3 || maxval != 255 || w < 1 ||
      h < 1 || w > 32767 || h > 32767 || std::fgetc(f.get()) == EOF)
    throw std::runtime_error(path + " is not a binary PPM with 8-bit samples");
  Rgba img;
  img.width = w;
  img.height = h;
  img.bytes.resize((size_t)w * h * 4);
  std::vector<unsigned char> row((size_t)w * 3);
  // PPM rows run top to bottom; images here have row 0 at the bottom.
  for (int y = h - 1; y >= 0; --y) {
    if (std::fread(row.data(), 1, row.size(), f.get()) != row.size())
      throw std::runtime_error(path + " ends early");
    unsigned char *d = &img.bytes[(size_t)y * w * 4];
    for (int x = 0; x < w; ++x) {
      d[4 * x] = row[3 * x];
      d[4 * x + 1] = row[3 * x + 1];
      d[4 * x + 2] = row[3 * x + 2];
      d[4 * x + 3] = 255;
    }
  }
  return img;
}

Rgba synthetic(int width, int height) {
  Rgba img;
  img.width = width;
  img.height = height;
  img.bytes.resize((size_t)width * height * 4);
  unsigned state = 12345u;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      unsigned char *p = &img.bytes[4 * ((size_t)y * width + x)];
      p[0] = (unsigned char)(x * 255 / width);
      p[1] = (unsigned char)(y * 255 / height);
      p[2] = ((x / 64 + y / 64) & 1) ? 220 : (unsigned char)(state >> 24);
      p[3] = 255;
    }
  return img;
}

Rgba scaled(const Rgba &src, int width, int height) {
  Rgba img;
  img.width = width;
  img.height = height;
  img.bytes.resize((size_t)width * height * 4);
  for (int y = 0; y < height; ++y) {
    const int sy = (int)((long long)y * src.height / height);
    for (int x = 0; x < width; ++x) {
      const int sx = (int)((long long)x * src.width / width);
      const unsigned char *s = &src.bytes[4 * ((size_t)sy * src.width + sx)];
      unsigned char *d = &img.bytes[4 * ((size_t)y * width + x)];
      for (int k = 0; k < 4; ++k) d[k] = s[k];
    }
  }
  return img;
}

}  // namespace peers
