// backdropkey end to end through the seqfx program: a float EXR is keyed
// with --float and the float result lands in an EXR. The test writes its
// EXR input itself (uncompressed) and reads the result back itself. Skipped
// when the program was not built.

#include "seqfx_test.h"

#include "exr_file.h"
#include "float_toolkit.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Rgba = std::array<float, 4>;
using Picture = std::function<Rgba(int x, int y)>;  // y counted from the bottom

std::string program() {
  std::string dir = seqfx_test::module_path("backdropkey");
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/bin/seqfx";
}

// A float EXR (channels A, B, G, R) of picture f, rows written from the top.
void write_exr(const std::string &path, int w, int h, const Picture &f) {
  seqfx_test::write_float_exr(path, w, h, {"A", "B", "G", "R"},
                              [&](std::size_t n, int x, int top) { return f(x, h - 1 - top)[3 - n]; });
}

// zlib's uncompress, looked up at run time so that the test needs no link
// dependency: the EXR the program writes is ZIP-compressed.
using Uncompress = int (*)(unsigned char *, unsigned long *, const unsigned char *, unsigned long);
Uncompress zlib_uncompress() {
  static void *lib = dlopen("libz.so.1", RTLD_NOW);
  return lib ? reinterpret_cast<Uncompress>(dlsym(lib, "uncompress")) : nullptr;
}

template <typename T>
T get(const std::string &s, std::size_t at) {
  T v{};
  if (at + sizeof v <= s.size()) std::memcpy(&v, s.data() + at, sizeof v);
  return v;
}

// A scanline EXR of 32-bit float channels (no, ZIPS or ZIP compression) as
// RGBA floats, rows from the bottom; empty when it cannot be read.
std::vector<float> read_exr(const std::string &path, int w, int h) {
  std::ifstream f(path, std::ios::binary);
  const std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (get<int>(s, 0) != 20000630) return {};
  std::size_t p = 8;
  int compression = -1, box[4] = {0, 0, -1, -1};
  std::vector<std::string> channels;
  while (p < s.size() && s[p] != '\0') {
    const std::string name = s.c_str() + p;
    p += name.size() + 1;
    const std::string type = s.c_str() + p;
    p += type.size() + 1;
    const int size = get<int>(s, p);
    const std::string value = s.substr(p + 4, (std::size_t)size);
    p += 4 + (std::size_t)size;
    if (name == "compression") compression = value[0];
    if (name == "dataWindow") std::memcpy(box, value.data(), 16);
    if (name == "channels")
      for (std::size_t q = 0; q < value.size() && value[q]; q += 16) {
        channels.push_back(value.c_str() + q);
        q += channels.back().size() + 1;
        if (get<int>(value, q) != 2) return {};  // FLOAT only
      }
  }
  ++p;
  const int lines = compression == 3 ? 16 : 1;
  if ((compression != 0 && compression != 2 && compression != 3) || box[2] - box[0] + 1 != w ||
      box[3] - box[1] + 1 != h || channels.size() != 4)
    return {};
  std::vector<float> px((std::size_t)w * h * 4);
  for (int block = 0; block < (h + lines - 1) / lines; ++block) {
    const std::size_t at = (std::size_t)get<unsigned long long>(s, p + 8 * (std::size_t)block);
    const int top = get<int>(s, at) - box[1], size = get<int>(s, at + 4);
    const int n = std::min(lines, h - top);
    std::string raw = s.substr(at + 8, (std::size_t)size);
    const std::size_t want = (std::size_t)n * w * 16;
    if (raw.size() < want) {  // compressed: inflate, undo the predictor, interleave
      Uncompress inflate = zlib_uncompress();
      if (!inflate) return {};
      std::string t(want, '\0');
      unsigned long len = want;
      if (inflate(reinterpret_cast<unsigned char *>(&t[0]), &len,
                  reinterpret_cast<const unsigned char *>(raw.data()), raw.size()) != 0 || len != want)
        return {};
      for (std::size_t i = 1; i < want; ++i) t[i] = (char)(t[i - 1] + t[i] - 128);
      raw.resize(want);
      for (std::size_t i = 0; i < want; ++i) raw[i] = t[i % 2 ? (want + 1) / 2 + i / 2 : i / 2];
    }
    if (raw.size() != want) return {};
    for (int l = 0; l < n; ++l)
      for (int c = 0; c < 4; ++c) {
        const int dst = channels[c] == "R" ? 0 : channels[c] == "G" ? 1 : channels[c] == "B" ? 2 : 3;
        for (int x = 0; x < w; ++x)
          px[((std::size_t)(h - 1 - top - l) * w + x) * 4 + dst] =
              get<float>(raw, (((std::size_t)l * 4 + c) * w + x) * 4);
      }
  }
  return px;
}

int run(const std::vector<std::string> &args, std::string *log) {
  std::string cmd;
  for (const std::string &a : args) cmd += "'" + a + "' ";
  cmd += "2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[512];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) log->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BackdropkeyCli, KeysAFloatExrIntoAFloatExr) {
  const std::string seqfx = program();
  if (access(seqfx.c_str(), X_OK) != 0) GTEST_SKIP() << "no seqfx program at " << seqfx;
  char tmpl[] = "/tmp/backdropkey_cli_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;

  // Green backdrop on the left; on the right values beyond 1 that a byte
  // image could not carry, and an alpha of 0.5.
  const int w = 6, h = 4;
  const Picture in = [](int x, int y) -> Rgba {
    if (x < 3) return {0.05f, 0.8f, 0.1f, 1.0f};
    return {2.5f + 0.25f * y, 0.3f, 0.125f * x, x == 5 ? 0.5f : 1.0f};
  };
  write_exr(dir + "/in.exr", w, h, in);
  const std::vector<std::string> base = {seqfx, "--plugins", seqfx_test::module_path("backdropkey").substr(0, seqfx_test::module_path("backdropkey").rfind('/')), "render", "backdropkey"};
  auto render = [&](const std::string &src, const std::string &dst, std::vector<std::string> sets) {
    std::vector<std::string> a = base;
    for (const std::string &s : {std::string("-i"), dir + "/" + src, std::string("-o"), dir + "/" + dst,
                                 std::string("--float"), std::string("--set"), std::string("12=0")})
      a.push_back(s);
    for (const std::string &s : sets) {
      a.push_back("--set");
      a.push_back(s);
    }
    std::string log;
    EXPECT_EQ(run(a, &log), 0) << log;
  };
  render("in.exr", "key.exr", {"8=#336699"});
  const std::vector<float> got = read_exr(dir + "/key.exr", w, h);
  ASSERT_FALSE(got.empty()) << "cannot read the keyed EXR";

  float bg[4];
  const unsigned char colour[4] = {0x33, 0x66, 0x99, 255};
  ch2fl(colour, bg, 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgba want = in(x, y);
      if (x < 3) {
        want = {bg[0], bg[1], bg[2], 0.0f};
      } else {
        frgb2fyuv(want.data(), want.data());
        fyuv2frgb(want.data(), want.data());
      }
      for (int c = 0; c < 4; ++c)
        EXPECT_EQ(got[((std::size_t)y * w + x) * 4 + c], want[c]) << x << "," << y << " channel " << c;
    }
  EXPECT_GT(got[(std::size_t)(3 * w + 5) * 4], 3.0f);  // kept beyond 1
  std::string log;
  run({"rm", "-rf", dir}, &log);
}

}  // namespace
