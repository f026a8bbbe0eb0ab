// The command line against hostile files, a full disk and crashes: every
// failure is one line naming the file, and nothing half-written or
// temporary is left behind.

#include "cli_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

using namespace cli_test;

namespace {

std::vector<std::string> probe(std::vector<std::string> args) {
  args.insert(args.begin(), {"--plugins", fixture_dir(), "render", "cli_probe"});
  return args;
}

bool has_temporaries(const TempDir &dir) {
  for (const std::string &f : dir.files())
    if (f.compare(0, 7, ".seqfx-") == 0) return true;
  return false;
}

void write_bytes(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::uint32_t crc32(const unsigned char *p, std::size_t n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

void put_be32(std::string &s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = (char)(v >> (24 - 8 * i));
}

// A small valid PNG whose header (with a correct checksum) claims w x h.
void write_lying_png(const std::string &path, const TempDir &dir, std::uint32_t w, std::uint32_t h) {
  write_png(dir / "honest.png", 4, 4, [](int, int) { return Pixel{9, 9, 9, 255}; });
  std::string png = file_bytes(dir / "honest.png");
  // Signature (8), IHDR length (4), "IHDR" (4), width, height at 16 and 20.
  put_be32(png, 16, w);
  put_be32(png, 20, h);
  put_be32(png, 29, crc32(reinterpret_cast<const unsigned char *>(png.data()) + 12, 17));
  write_bytes(path, png);
}

TEST(Robust, PictureHeadersClaimingHugeSizesAreRefusedBeforeAllocating) {
  TempDir dir;
  for (std::uint32_t side : {20000u, 32767u}) {
    const std::string name = dir / ("lie" + std::to_string(side) + ".png");
    write_lying_png(name, dir, side, side);
    const auto start = std::chrono::steady_clock::now();
    Result r = seqfx({"render", "invert", "-i", name, "-o", dir / "out.png"});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(contains(r.err, name)) << r.err;
    EXPECT_TRUE(contains(r.err, "claims a " + std::to_string(side) + "x" + std::to_string(side))) << r.err;
    EXPECT_FALSE(contains(r.err, "bad_alloc")) << r.err;
    EXPECT_LT(seconds, 10.0) << "refused only after working on the claimed size";
  }
  EXPECT_EQ(access((dir / "out.png").c_str(), F_OK), -1);
  EXPECT_FALSE(has_temporaries(dir));
}

TEST(Robust, TruncatedJpegIsRefusedLikePng) {
  TempDir dir;
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48", "-frames:v", "1",
                 dir / "whole.jpg"}),
            0);
  // The whole file still reads.
  Result r = seqfx({"--quiet", "render", "invert", "-i", dir / "whole.jpg", "-o", dir / "whole.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string jpg = file_bytes(dir / "whole.jpg");
  write_bytes(dir / "cut.jpg", jpg.substr(0, jpg.size() * 2 / 3));
  write_png(dir / "whole_png.png", 16, 16, [](int x, int y) { return Pixel{(unsigned char)(x * 16), (unsigned char)(y * 9), 7, 255}; });
  const std::string png = file_bytes(dir / "whole_png.png");
  write_bytes(dir / "cut.png", png.substr(0, png.size() * 2 / 3));
  for (const char *cut : {"cut.jpg", "cut.png"}) {
    r = seqfx({"render", "invert", "-i", dir / cut, "-o", dir / "out.png"});
    EXPECT_NE(r.code, 0) << cut;
    EXPECT_TRUE(contains(r.err, dir / cut)) << r.err;
  }
  EXPECT_EQ(access((dir / "out.png").c_str(), F_OK), -1);
}

TEST(Robust, VideoWrittenOntoAFullDiskIsAnError) {
  TempDir dir;
  // Noise, which no codec packs into a few kilobytes.
  unsigned state = 12345;
  for (int f = 1; f <= 4; ++f)
    write_png(dir / ("in_" + std::to_string(f) + ".png"), 96, 64, [&state](int, int) {
      state = state * 1103515245u + 12345u;
      return Pixel{(unsigned char)(state >> 24), (unsigned char)(state >> 16), (unsigned char)(state >> 8), 255};
    });
  // Files written by seqfx and its children may not exceed 8 KB; the limit's
  // signal is ignored, so writes past it fail like writes onto a full disk.
  // One worker: more would first copy the module for each of them, which
  // the limit refuses before any video is written (checked below).
  auto limited = [&](const std::string &jobs) {
    return std::string("trap '' XFSZ; ulimit -f 8; exec '") + SEQFX_CLI + "' render invert -j " + jobs +
           " -i '" + dir / "in_%d.png" + "' -o '" + dir / "out.mp4" + "' 2>&1";
  };
  std::string out;
  int code = run({"bash", "-c", limited("1")}, &out);
  EXPECT_NE(code, 0) << out;
  EXPECT_TRUE(contains(out, "out.mp4")) << out;
  EXPECT_EQ(access((dir / "out.mp4").c_str(), F_OK), -1) << "a truncated video was moved into place";
  EXPECT_FALSE(has_temporaries(dir));

  // Private copies of the module cut short by the limit are refused with a
  // message, never mapped (which ended in a bus error).
  out.clear();
  code = run({"bash", "-c", limited("2")}, &out);
  EXPECT_EQ(code, 1) << out;
  EXPECT_TRUE(contains(out, "private instance")) << out;
  EXPECT_EQ(access((dir / "out.mp4").c_str(), F_OK), -1);
  EXPECT_FALSE(has_temporaries(dir));
}

TEST(Robust, ACrashMidSequenceRemovesTheStagedFrames) {
  TempDir dir;
  for (int f = 1; f <= 2; ++f)
    write_png(dir / ("in_" + std::to_string(f) + ".png"), 4, 3, [](int, int) { return Pixel{1, 2, 3, 255}; });
  // Mode 7 writes frame 1 and crashes on frame 2.
  Result r = seqfx(probe({"-i", dir / "in_%d.png", "-o", dir / "out_%d.png", "--set", "Mode=7"}));
  EXPECT_NE(r.code, 0);
  EXPECT_FALSE(has_temporaries(dir));
  EXPECT_EQ(access((dir / "out_1.png").c_str(), F_OK), -1);
}

TEST(Robust, ACrashWhileEncodingLeavesNoVideoBehind) {
  TempDir dir;
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-frames:v", "3",
                 "-pix_fmt", "yuv420p", dir / "clip.mp4"}),
            0);
  // With sound, the frames go to a scratch file of their own first.
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i",
                 "sine=d=1", "-frames:v", "3", "-pix_fmt", "yuv420p", dir / "talk.mp4"}),
            0);
  // The encoder is started before the first frame is rendered; a crash on
  // the first frame (mode 6) or the second (mode 7) must not let it create
  // its file after the crash handler removed the staged one. Each run is
  // checked on its own, since the next run would clear a stale temporary.
  for (const char *clip : {"clip.mp4", "talk.mp4"})
    for (const char *mode : {"Mode=6", "Mode=7"})
      for (int attempt = 0; attempt < 3; ++attempt) {
        Result r = seqfx(probe({"-i", dir / clip, "-o", dir / "out.mp4", "--set", mode}));
        EXPECT_NE(r.code, 0) << mode;
        usleep(100 * 1000);  // time for an encoder left running to create its file
        EXPECT_FALSE(has_temporaries(dir)) << clip << ", " << mode << ", attempt " << attempt;
        EXPECT_EQ(access((dir / "out.mp4").c_str(), F_OK), -1) << mode;
      }
}

TEST(Robust, AStaleTemporaryOfAKilledRunIsRemovedByTheNextRun) {
  TempDir dir;
  // The id of a process that has ended: its temporaries can only be stale.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string stale = ".seqfx-" + std::to_string(gone) + "-1-out.png";
  write_bytes(dir / stale, "half a picture");
  // A temporary of a live process (this one) is left alone.
  const std::string live = ".seqfx-" + std::to_string(getpid()) + "-1-out.png";
  write_bytes(dir / live, "still being written");
  write_png(dir / "in.png", 4, 4, [](int, int) { return Pixel{9, 9, 9, 255}; });
  Result r = seqfx({"render", "invert", "-i", dir / "in.png", "-o", dir / "out.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, stale)) << r.err;
  EXPECT_TRUE(contains(r.err, "left by an interrupted run")) << r.err;
  EXPECT_EQ(access((dir / stale).c_str(), F_OK), -1);
  EXPECT_EQ(access((dir / live).c_str(), F_OK), 0);
}

}  // namespace
