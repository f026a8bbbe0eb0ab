// A transition rendered by the seqfx program between two real clips over a
// 48-frame factor ramp, checked frame by frame against the module driven
// directly. The clips are made with ffmpeg (test pattern and colour bars,
// stored losslessly as FFV1 RGB); the output is a numbered PNG sequence.
// Tests skip when the program or ffmpeg is missing (see missing()).
#pragma once

#include "seqfx_test.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace transition_cli {

constexpr int kW = 64, kH = 48, kFrames = 48;

inline std::string program() {
  std::string dir = seqfx_test::module_path("anything");
  dir = dir.substr(0, dir.rfind('/'));
  return dir.substr(0, dir.rfind('/')) + "/bin/seqfx";
}

inline std::string quoted(const std::string &s) { return "'" + s + "'"; }

// Runs a shell command; its output goes into *log.
inline int run(const std::string &cmd, std::string *log) {
  FILE *p = popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[512];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) log->append(buf, n);
  const int status = pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The frames of a video or picture sequence as raw RGBA, rows from the top.
inline std::vector<unsigned char> decode(const std::string &input) {
  std::vector<unsigned char> bytes;
  const std::string cmd = "ffmpeg -v error -i " + quoted(input) + " -f rawvideo -pix_fmt rgba -";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return bytes;
  unsigned char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
  pclose(p);
  return bytes;
}

// Frame k of raw RGBA frames as an image record (rows from the bottom).
inline seqfx::Image frame(const std::vector<unsigned char> &raw, int k) {
  seqfx::Image img(kW, kH);
  const std::size_t row = 4 * (std::size_t)kW, size = row * kH;
  for (int y = 0; y < kH; ++y)
    std::copy(raw.begin() + (std::ptrdiff_t)(k * size + (kH - 1 - y) * row),
              raw.begin() + (std::ptrdiff_t)(k * size + (kH - y) * row), img.pixel(0, y));
  return img;
}

// Why the clips cannot be rendered here (no program built, no ffmpeg), or "".
inline std::string missing() {
  const std::string seqfx = program();
  if (access(seqfx.c_str(), X_OK) != 0) return "no seqfx program at " + seqfx;
  std::string log;
  if (run("ffmpeg -version", &log) != 0) return "no ffmpeg to make the clips";
  return "";
}

// Renders `module` with the --set values `sets` (name=value) from the test
// pattern clip to the colour bars over 48 frames with --factor 0:1, and
// checks every frame against the module driven directly with the same
// factor. Returns how many output frames differ from the first input's
// frame, so that a caller can see the transition moved.
inline int render_between_clips(const std::string &module, const std::vector<std::string> &sets = {}) {
  const std::string seqfx = program();
  std::string log;
  char tmpl[] = "/tmp/seqfx_transition_XXXXXX";
  if (!mkdtemp(tmpl)) {
    ADD_FAILURE() << "no temporary folder";
    return -1;
  }
  const std::string dir = tmpl;
  const std::string size = std::to_string(kW) + "x" + std::to_string(kH);
  for (const char *clip : {"testsrc", "smptebars"}) {
    log.clear();
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i " + std::string(clip) + "=size=" + size +
                            ":rate=25 -frames:v " + std::to_string(kFrames) +
                            " -c:v ffv1 -pix_fmt bgr0 " + quoted(dir + "/" + clip + ".mkv");
    EXPECT_EQ(run(cmd, &log), 0) << log;
  }

  std::string cmd = quoted(seqfx) + " --quiet render " + module + " -i " + quoted(dir + "/testsrc.mkv") +
                    " -i " + quoted(dir + "/smptebars.mkv") + " -o " + quoted(dir + "/out_%04d.png") +
                    " --factor 0:1";
  for (const std::string &s : sets) cmd += " --set " + quoted(s);
  log.clear();
  EXPECT_EQ(run(cmd, &log), 0) << cmd << "\n" << log;

  const auto a = decode(dir + "/testsrc.mkv"), b = decode(dir + "/smptebars.mkv");
  const auto got = decode(dir + "/out_%04d.png");
  const std::size_t size_bytes = 4 * (std::size_t)kW * kH;
  EXPECT_EQ(a.size(), kFrames * size_bytes);
  EXPECT_EQ(b.size(), kFrames * size_bytes);
  EXPECT_EQ(got.size(), kFrames * size_bytes) << "the program wrote another number of frames";
  int moved = 0;
  if (a.size() == kFrames * size_bytes && b.size() == a.size() && got.size() == a.size()) {
    auto p = seqfx_test::load(module, true);
    for (const std::string &s : sets) {
      const std::size_t eq = s.rfind('=');
      const std::string value = s.substr(eq + 1);
      p->set_value(s.substr(0, eq), value == "on" ? 1.0 : std::atof(value.c_str()));
    }
    for (int k = 0; k < kFrames; ++k) {
      seqfx::Image ia = frame(a, k), ib = frame(b, k), out(kW, kH);
      const float f = (float)((double)k / (kFrames - 1));
      p->render((float)(k + 1), f, f, ia, &ib, out);
      const seqfx::Image shown = frame(got, k);
      EXPECT_TRUE(seqfx_test::same_pixels(shown, out)) << module << " frame " << k + 1;
      moved += !seqfx_test::same_pixels(shown, ia);
    }
  }
  log.clear();
  run("rm -rf " + quoted(dir), &log);
  return moved;
}

}  // namespace transition_cli
