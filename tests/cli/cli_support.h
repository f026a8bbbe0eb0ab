// Running the built seqfx program on files in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace cli_test {

struct Result {
  int code = -1;
  std::string out, err;
};

// Runs seqfx with args; extra_env entries ("NAME=value") are added to (or
// replace in) the environment.
Result seqfx(const std::vector<std::string> &args, const std::vector<std::string> &extra_env = {});
// Runs any program (by PATH) and returns its exit code.
int run(const std::vector<std::string> &args, std::string *out = nullptr);
// Runs any program (by PATH), keeping its standard output and error apart.
Result run_apart(const std::vector<std::string> &args);

// A fresh folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }
  // The names in the folder (hidden ones included), sorted.
  std::vector<std::string> files() const;

 private:
  std::string path_;
};

using Pixel = std::array<unsigned char, 4>;

// A picture as a file holds it: rows top-down, channels interleaved.
struct FilePicture {
  int width = 0, height = 0, channels = 0;
  std::vector<std::string> names;
  std::string colour_space;  // the file's colour label ("sRGB", "linear", ...)
  std::vector<float> data;
  float at(int x, int y_top, int c) const { return data[((size_t)y_top * width + x) * channels + c]; }
  Pixel byte_pixel(int x, int y_top) const;  // RGBA, values * 255 rounded
};

// Writes an 8-bit RGBA picture; f(x, y) with y counted from the top.
void write_png(const std::string &path, int w, int h, const std::function<Pixel(int, int)> &f);
// Writes float channels with the given names; f(x, y, c).
void write_float(const std::string &path, int w, int h, const std::vector<std::string> &channels,
                 const std::function<float(int, int, int)> &f);
FilePicture read_file(const std::string &path);

// The module folders of the build and of the test fixtures.
std::string module_dir();
std::string fixture_dir();

bool contains(const std::string &haystack, const std::string &needle);

// The whole of a file as it is stored; a file that cannot be read fails
// the test (and gives ""), so that two missing files never compare equal
// unnoticed.
std::string file_bytes(const std::string &path);

// The name of frame f of a printf-style pattern ("out_%d.png").
std::string numbered(const std::string &pattern, int f);

// Frames 1..n of ffmpeg's test pattern, w x h, written to pattern (a
// printf-style frame number field; one picture needs none).
void make_test_frames(const std::string &pattern, int n, int w, int h);

}  // namespace cli_test
