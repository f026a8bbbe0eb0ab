#include "seqfx_test.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace seqfx_test {

std::string module_path(const std::string &module) {
  return std::string(SEQFX_PLUGIN_DIR) + "/" + module + ".so";
}

std::string fixture_path(const std::string &fixture) {
  return std::string(SEQFX_FIXTURE_DIR) + "/" + fixture + ".so";
}

std::string data_path(const std::string &file) { return std::string(SEQFX_TEST_DATA_DIR) + "/" + file; }

std::vector<std::string> built_modules() {
  std::vector<std::string> v;
  // Names are separated by commas (or semicolons).
  std::string list = SEQFX_BUILT_MODULES;
  for (char &c : list)
    if (c == ';') c = ',';
  std::stringstream ss(list);
  for (std::string item; std::getline(ss, item, ',');)
    if (!item.empty()) v.push_back(item);
  return v;
}

std::unique_ptr<seqfx::Plugin> load(const std::string &module, bool independent) {
  seqfx::LoadOptions opts;
  opts.independent = independent;
  return seqfx::Plugin::load(module_path(module), opts);
}

seqfx::Image solid(int w, int h, Pixel px) {
  seqfx::Image img(w, h);
  img.fill(px[0], px[1], px[2], px[3]);
  return img;
}

seqfx::Image test_picture(int w, int h, unsigned seed) {
  unsigned state = seed * 2654435761u + 12345u;
  return painted(w, h, [&](int x, int y) {
    state = state * 1103515245u + 12345u;
    const unsigned noise = (state >> 16) & 0xFF;
    Pixel p;
    p[0] = (unsigned char)(w > 1 ? x * 255 / (w - 1) : 128);
    p[1] = (unsigned char)(h > 1 ? y * 255 / (h - 1) : 128);
    p[2] = (unsigned char)(((x / 4 + y / 4) & 1) ? 230 : 20);
    p[3] = (unsigned char)noise;
    return p;
  });
}

Pixel at(const seqfx::Image &img, int x, int y) {
  const unsigned char *p = img.pixel(x, y);
  return {p[0], p[1], p[2], p[3]};
}

bool same_pixels(const seqfx::Image &a, const seqfx::Image &b) {
  return a.width() == b.width() && a.height() == b.height() &&
         std::memcmp(a.rect(), b.rect(), a.pixels() * 4) == 0;
}

Console::Console() {
  std::fflush(stdout);
  std::fflush(stderr);
  for (int i = 0; i < 2; ++i) {
    FILE *f = std::tmpfile();
    if (!f) std::abort();
    files_[i] = dup(fileno(f));
    std::fclose(f);
    saved_[i] = dup(i + 1);
    dup2(files_[i], i + 1);
  }
}

void Console::finish() {
  if (done_) return;
  done_ = true;
  std::fflush(stdout);
  std::fflush(stderr);
  for (int i = 0; i < 2; ++i) {
    dup2(saved_[i], i + 1);
    close(saved_[i]);
    std::string &text = i == 0 ? out_ : err_;
    lseek(files_[i], 0, SEEK_SET);
    char buf[4096];
    for (ssize_t n; (n = read(files_[i], buf, sizeof buf)) > 0;) text.append(buf, (size_t)n);
    close(files_[i]);
  }
}

Console::~Console() { finish(); }

}  // namespace seqfx_test
