// Helpers for tests that drive built modules the way a host does.
#pragma once

#include "seqfx/plugin.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace seqfx_test {

using Pixel = std::array<unsigned char, 4>;

// Paths into the build tree.
std::string module_path(const std::string &module);
std::string fixture_path(const std::string &fixture);
std::string data_path(const std::string &file);
// Every module this build made, by name.
std::vector<std::string> built_modules();

// Loads a built module by name (a fresh private copy when independent).
std::unique_ptr<seqfx::Plugin> load(const std::string &module, bool independent = false);

// An image of w x h whose every pixel is px.
seqfx::Image solid(int w, int h, Pixel px);
// An image filled by f(x, y) -> Pixel.
template <typename F>
seqfx::Image painted(int w, int h, F f) {
  seqfx::Image img(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Pixel p = f(x, y);
      unsigned char *d = img.pixel(x, y);
      for (int c = 0; c < 4; ++c) d[c] = p[c];
    }
  return img;
}
// A deterministic picture with gradients, edges and every byte value.
seqfx::Image test_picture(int w, int h, unsigned seed = 1);

Pixel at(const seqfx::Image &img, int x, int y);
bool same_pixels(const seqfx::Image &a, const seqfx::Image &b);

// Captures what the process writes to standard output and standard error
// (file descriptors 1 and 2) between construction and finish().
class Console {
 public:
  Console();
  ~Console();
  Console(const Console &) = delete;
  Console &operator=(const Console &) = delete;
  // Stops capturing; afterwards out() and err() hold what was written.
  void finish();
  const std::string &out() const { return out_; }
  const std::string &err() const { return err_; }

 private:
  int saved_[2] = {-1, -1};
  int files_[2] = {-1, -1};
  std::string out_, err_;
  bool done_ = false;
};

}  // namespace seqfx_test

inline std::ostream &operator<<(std::ostream &os, const seqfx_test::Pixel &p) {
  return os << "(" << int(p[0]) << "," << int(p[1]) << "," << int(p[2]) << "," << int(p[3]) << ")";
}
