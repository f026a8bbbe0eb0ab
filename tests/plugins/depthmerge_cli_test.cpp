// depthmerge end to end through the seqfx program: three EXR files with a
// Z channel become three strips with depth planes, composited nearest (or
// farthest) first. The test writes its EXR inputs itself (uncompressed) and
// reads the binary PPM result itself. Skipped when the program was not built.

#include "exr_file.h"
#include "seqfx_test.h"

#include <unistd.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kW = 5, kH = 3;

// Channel values of strip k (1..3) at pixel x, y (y counted from the top of
// the file): exact byte values over 255, and the camera distance.
float channel(int k, int x, int y, int c) {
  const int bytes[4] = {40 * k + 10, 20 * x + 5, 30 * y + 7, 255};
  return bytes[c] / 255.0f;
}
// Distances with ties (strips 1 and 3 share a column, 2 and 3 a row).
float distance(int k, int x, int y) {
  if (k == 1) return 10.0f + 7.0f * x;
  if (k == 2) return 20.0f + 5.0f * ((x + y) % 3) + (y == 2 ? 30.0f : 0.0f);
  return x == 2 ? 24.0f : 40.0f - 10.0f * y;
}

// A float EXR of strip k: channels A, B, G, R and, with depth, Z (names in
// the sorted order the format keeps).
void write_exr(const std::string &path, int k, bool with_depth) {
  std::vector<std::string> names{"A", "B", "G", "R"};
  if (with_depth) names.push_back("Z");
  const int order[5] = {3, 2, 1, 0, 4};  // channel index of each name; 4 is the distance
  seqfx_test::write_float_exr(path, kW, kH, names, [&](std::size_t n, int x, int y) {
    return order[n] == 4 ? distance(k, x, y) : channel(k, x, y, order[n]);
  });
}

// A binary PPM (P6, maxval 255) as RGB bytes, rows from the top; empty when
// it cannot be read.
std::vector<unsigned char> read_ppm(const std::string &path, int w, int h) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int fw = 0, fh = 0, maxval = 0;
  f >> magic >> fw >> fh >> maxval;
  f.get();
  if (magic != "P6" || fw != w || fh != h || maxval != 255) return {};
  std::vector<unsigned char> px((std::size_t)w * h * 3);
  f.read(reinterpret_cast<char *>(px.data()), (std::streamsize)px.size());
  return f ? px : std::vector<unsigned char>{};
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

class DepthmergeCli : public ::testing::Test {
 protected:
  void SetUp() override {
    modules = seqfx_test::module_path("depthmerge");
    modules = modules.substr(0, modules.rfind('/'));
    seqfx = modules.substr(0, modules.rfind('/')) + "/bin/seqfx";
    if (access(seqfx.c_str(), X_OK) != 0) GTEST_SKIP() << "no seqfx program at " << seqfx;
    char tmpl[] = "/tmp/depthmerge_cli_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::string log;
    if (!dir.empty()) run({"rm", "-rf", dir}, &log);
  }
  // Renders the given inputs into out.ppm; returns the exit code.
  int render(const std::vector<std::string> &inputs, const std::vector<std::string> &extra,
             std::string *log) {
    std::vector<std::string> a = {seqfx, "--plugins", modules, "render", "depthmerge"};
    for (const std::string &in : inputs) {
      a.push_back("-i");
      a.push_back(dir + "/" + in);
      // The files hold the test's byte values over 255, not linear light.
      a.push_back("--colorspace");
      a.push_back("srgb");
    }
    for (const std::string &s : {std::string("-y"), std::string("-o"), dir + "/out.ppm", std::string("--depth-range"),
                                 std::string("0:100")})
      a.push_back(s);
    a.insert(a.end(), extra.begin(), extra.end());
    return run(a, log);
  }
  // Checks out.ppm against the strip each pixel's distances choose.
  void expect_choice(int strips, bool farthest) {
    const std::vector<unsigned char> got = read_ppm(dir + "/out.ppm", kW, kH);
    ASSERT_FALSE(got.empty()) << "cannot read the result";
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        int best = 1;
        for (int k = 2; k <= strips; ++k) {
          const float dk = distance(k, x, y), db = distance(best, x, y);
          if (farthest ? dk > db : dk < db) best = k;
        }
        for (int c = 0; c < 3; ++c)
          EXPECT_EQ(got[((std::size_t)y * kW + x) * 3 + c], (int)(channel(best, x, y, c) * 255.0f + 0.5f))
              << x << "," << y << " channel " << c << " strip " << best;
      }
  }
  std::string seqfx, modules, dir;
};

TEST_F(DepthmergeCli, ThreeExrFilesWithDepth) {
  for (int k = 1; k <= 3; ++k) write_exr(dir + "/s" + std::to_string(k) + ".exr", k, true);
  std::string log;
  ASSERT_EQ(render({"s1.exr", "s2.exr", "s3.exr"}, {}, &log), 0) << log;
  expect_choice(3, false);
  ASSERT_EQ(render({"s1.exr", "s2.exr", "s3.exr"}, {"--set", "Invert=on"}, &log), 0) << log;
  expect_choice(3, true);
}

TEST_F(DepthmergeCli, AThirdFileWithoutDepthTakesNoPartAndASecondIsReported) {
  write_exr(dir + "/s1.exr", 1, true);
  write_exr(dir + "/s2.exr", 2, true);
  write_exr(dir + "/flat3.exr", 3, false);
  write_exr(dir + "/flat2.exr", 2, false);
  std::string log;
  ASSERT_EQ(render({"s1.exr", "s2.exr", "flat3.exr"}, {}, &log), 0) << log;
  expect_choice(2, false);
  log.clear();
  render({"s1.exr", "flat2.exr"}, {}, &log);
  EXPECT_NE(log.find("Error: input 2 has no z-buffer"), std::string::npos) << log;
}

}  // namespace
