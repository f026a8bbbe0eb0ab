// Video in and out, through the ffmpeg libraries and the ffmpeg program.

#include "cli_video_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

using namespace cli_test;

namespace {

// ffprobe's "key=value" lines for the first video stream.
std::string probe(const std::string &file) {
  std::string out;
  run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
       "stream=width,height,r_frame_rate,avg_frame_rate,nb_read_frames", "-of", "default=noprint_wrappers=1", file},
      &out);
  return out;
}

TEST(Video, ClipThroughInvertAndBack) {
  TempDir dir;
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-frames:v", "4",
                 "-pix_fmt", "yuv420p", dir / "clip.mp4"}),
            0);
  // The reference: ffmpeg's own decoding of the clip.
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-i", dir / "clip.mp4", "-pix_fmt", "rgba", dir / "ref_%d.png"}), 0);

  // Video in, pictures out: each frame exactly inverted, upright.
  Result r = seqfx({"--quiet", "render", "invert", "-i", dir / "clip.mp4", "-o", dir / "inv_%d.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (int f = 1; f <= 4; ++f) {
    FilePicture ref = read_file(dir / ("ref_" + std::to_string(f) + ".png"));
    FilePicture inv = read_file(dir / ("inv_" + std::to_string(f) + ".png"));
    ASSERT_EQ(inv.width, 64);
    ASSERT_EQ(inv.height, 48);
    for (int y = 0; y < 48; y += 7)
      for (int x = 0; x < 64; x += 5)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(inv.byte_pixel(x, y)[c], 255 - ref.byte_pixel(x, y)[c]) << f << ": " << x << "," << y;
  }

  // Video in, video out: size and rate from the source, every frame.
  r = seqfx({"render", "invert", "-i", dir / "clip.mp4", "-o", dir / "out.mp4"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string info = probe(dir / "out.mp4");
  EXPECT_TRUE(contains(info, "width=64")) << info;
  EXPECT_TRUE(contains(info, "height=48")) << info;
  EXPECT_TRUE(contains(info, "r_frame_rate=10/1")) << info;
  EXPECT_TRUE(contains(info, "nb_read_frames=4")) << info;

  // Pictures in, video out at a given rate (ffprobe guesses no
  // r_frame_rate from two lossless frames in Matroska).
  r = seqfx({"render", "invert", "-i", dir / "ref_%d.png", "--frames", "2-3", "--fps", "5", "-o", dir / "two.mkv"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string two = probe(dir / "two.mkv");
  EXPECT_TRUE(contains(two, "avg_frame_rate=5/1")) << two;
  EXPECT_TRUE(contains(two, "nb_read_frames=2")) << two;

  // A container without a frame count is read to its end.
  r = seqfx({"render", "invert", "-i", dir / "two.mkv", "-o", dir / "back_%d.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(access((dir / "back_2.png").c_str(), R_OK), 0);
  EXPECT_NE(access((dir / "back_3.png").c_str(), F_OK), 0);

  // Asking for more frames than the clip has fails and writes nothing.
  const auto before = dir.files();
  r = seqfx({"render", "invert", "-i", dir / "clip.mp4", "--frames", "3-6", "-o", dir / "long.mp4"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "clip.mp4 has only 4 frames")) << r.err;
  EXPECT_EQ(dir.files(), before);
}

// Frames taller than one batch of row transfers (1024 rows) and of an
// odd width, whose rows straddle the pipe's chunks: written upright into
// a video, and read back row for row as ffmpeg decodes them.
TEST(Video, TallOddFramesKeepTheirRowsBothWays) {
  TempDir dir;
  const int w = 37, h = 1101;
  for (int f = 1; f <= 2; ++f)
    write_png(dir / ("in_" + std::to_string(f) + ".png"), w, h,
              [&](int, int y) { return y < h / 2 ? Pixel{0, 0, 0, 255} : Pixel{255, 255, 255, 255}; });
  Result r = seqfx({"--quiet", "render", "invert", "-i", dir / "in_%d.png", "-o", dir / "tall.mp4"});
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-i", dir / "tall.mp4", "-pix_fmt", "rgba", dir / "ref_%d.png"}), 0);

  // Written: the inverted top half is white, the bottom black (the
  // encoding is lossy; rows near the edge are left out).
  FilePicture ref = read_file(dir / "ref_1.png");
  ASSERT_EQ(ref.height, h + 1);  // padded to an even size
  for (int y : {0, 10, h / 2 - 20, h / 2 + 20, h - 10, h - 1})
    for (int x = 0; x < w; x += 6) {
      const int v = ref.byte_pixel(x, y)[1];
      EXPECT_TRUE(y < h / 2 ? v > 200 : v < 55) << x << "," << y << ": " << v;
    }

  // Read: every byte as ffmpeg decodes it, inverted.
  r = seqfx({"--quiet", "render", "invert", "-i", dir / "tall.mp4", "-o", dir / "back_%d.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (int f = 1; f <= 2; ++f) {
    FilePicture want = read_file(dir / ("ref_" + std::to_string(f) + ".png"));
    FilePicture got = read_file(dir / ("back_" + std::to_string(f) + ".png"));
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    for (int y = 0; y < got.height; ++y)
      for (int x = 0; x < got.width; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(got.byte_pixel(x, y)[c], 255 - want.byte_pixel(x, y)[c]) << f << ": " << x << "," << y;
  }
}

TEST(Video, ClipsThatCannotBeReadAreNamedAndNothingIsWritten) {
  TempDir dir;
  // Two thirds of the way in, coded pictures are overwritten: the probe
  // passes, and the decoder meets the damage while the output is open.
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-frames:v", "10", "-pix_fmt", "yuv420p",
                      dir / "clip.mp4"}));
  std::string bytes = file_bytes(dir / "clip.mp4");
  ASSERT_GT(bytes.size(), 3000u);
  bytes.replace(bytes.size() * 2 / 3, 400, std::string(400, 'Z'));
  std::ofstream(dir / "damaged.mp4", std::ios::binary) << bytes;
  // Two transport streams of different sizes, joined as cameras and
  // broadcasts join them: the second part's frames would not fit.
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "5", "-c:v", "mpeg2video",
                      dir / "a.ts"}));
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25", "-frames:v", "5", "-c:v", "mpeg2video",
                      dir / "b.ts"}));
  std::ofstream(dir / "joined.ts", std::ios::binary) << file_bytes(dir / "a.ts") << file_bytes(dir / "b.ts");
  const std::vector<std::string> before = dir.files();
  // The complaint names the input, not the video being written.
  for (const auto &[clip, output, says] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"damaged.mp4", "out.mp4", ": "}, {"joined.ts", "out_%d.png", ": a frame of 96x64 in a video of 64x48"}}) {
    Result r = seqfx({"render", "invert", "-i", dir / clip, "-o", dir / output});
    EXPECT_NE(r.code, 0) << clip;
    EXPECT_TRUE(contains(r.err, "cannot read " + dir / clip + says)) << r.err;
    EXPECT_EQ(dir.files(), before) << clip;
  }
}

TEST(Video, TheFfmpegProgramRunsWithAnAllocatorThatKeepsFreedMemory) {
  // A stand-in ffmpeg found first on the path writes down the tunables it
  // was started with, then fails the decoding. The clip has one frame, so
  // that the run goes on to read it and waits for the stand-in.
  TempDir dir;
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=10", "-frames:v", "1", dir / "clip.mp4"}));
  const std::string real_path = std::getenv("PATH");
  std::ofstream(dir / "ffmpeg") << "#!/bin/sh\nprintf '%s' \"$GLIBC_TUNABLES\" > '" + dir / "seen" + "'\nexit 1\n";
  ASSERT_EQ(chmod((dir / "ffmpeg").c_str(), 0755), 0);
  const std::string path = "PATH=" + dir.path() + ":" + real_path;
  const std::vector<std::string> args = {"render", "invert", "-i", dir / "clip.mp4", "-o", dir / "out.png"};
  EXPECT_NE(seqfx(args, {path, "SEQFX_FFMPEG_PROGRAM=1"}).code, 0);
  const std::string seen = file_bytes(dir / "seen");
  EXPECT_TRUE(contains(seen, "glibc.malloc.mmap_threshold=")) << seen;
  EXPECT_TRUE(contains(seen, "glibc.malloc.trim_threshold=")) << seen;
  // The user's own tunables are passed on as they are.
  EXPECT_NE(seqfx(args, {path, "SEQFX_FFMPEG_PROGRAM=1", "GLIBC_TUNABLES=glibc.malloc.perturb=0"}).code, 0);
  EXPECT_EQ(file_bytes(dir / "seen"), "glibc.malloc.perturb=0");
}

TEST(Video, OnlyCarriedStreamsAndTheProgramPathNeedTheFfmpegProgram) {
  TempDir dir;
  write_png(dir / "a.png", 4, 4, [](int, int) { return Pixel{1, 2, 3, 255}; });
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=32x24:rate=10", "-f", "lavfi", "-i", "sine=d=0.2",
                      "-frames:v", "2", "-shortest", dir / "talk.mp4"}));
  const std::string no_ffmpeg = "PATH=" + dir.path();
  // Frames alone are decoded and encoded by the libraries.
  Result r = seqfx({"render", "invert", "-i", dir / "a.png", "-o", dir / "out.mp4"}, {no_ffmpeg});
  EXPECT_EQ(r.code, 0) << r.err;
  r = seqfx({"render", "invert", "-i", dir / "out.mp4", "-o", dir / "back.png"}, {no_ffmpeg});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "back.png").width, 4);
  const std::vector<std::string> before = dir.files();
  for (const auto &[args, env] : std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
           {{"render", "invert", "-i", dir / "talk.mp4", "-o", dir / "talk2.mp4"}, {no_ffmpeg}},
           {{"render", "invert", "-i", dir / "a.png", "-o", dir / "x.mp4"}, {no_ffmpeg, "SEQFX_FFMPEG_PROGRAM=1"}}}) {
    r = seqfx(args, env);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(contains(r.err, "install ffmpeg")) << r.err;
    EXPECT_EQ(dir.files(), before);
  }
}

}  // namespace
