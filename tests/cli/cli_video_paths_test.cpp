// Video decoded and encoded in-process gives what the ffmpeg program gives
// for the same job: the same frames read, the same files written.

#include "cli_video_support.h"

#include <dirent.h>

using namespace cli_test;

namespace {

const std::string kProgram = "SEQFX_FFMPEG_PROGRAM=1";

// The packets of a file's streams (timestamps, sizes, hashes), without the
// container's own bytes, which Matroska makes anew each run.
std::string packets(const std::string &file) {
  std::string out;
  run({"ffmpeg", "-v", "error", "-i", file, "-map", "0", "-c", "copy", "-f", "framemd5", "-"}, &out);
  std::string kept;
  std::size_t at = 0;
  for (std::size_t nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1)
    if (out[at] != '#') kept += out.substr(at, nl + 1 - at);
  return kept;
}

TEST(VideoPaths, FilesWrittenInProcessMatchTheProgramsFile) {
  TempDir dir;
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=66x38:rate=30000/1001", "-frames:v", "5", "-pix_fmt",
                      "yuv420p", dir / "clip.mp4"}));
  // With sound, which is copied or converted after the frames are encoded
  // (or sent along with them through the program).
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i", "sine=d=1", "-t", "1",
                      "-pix_fmt", "yuv420p", "-c:a", "aac", dir / "talk.mp4"}));
  struct Case {
    std::string input, output;
    std::vector<std::string> options;
    bool whole_file;  // else the video packets
  };
  for (const Case &c : std::vector<Case>{{"clip.mp4", "a.mp4", {}, true},
                                         {"clip.mp4", "b.mp4", {"--codec", "mpeg4", "--quality", "4"}, true},
                                         {"clip.mp4", "c.mov", {}, true},
                                         {"clip.mp4", "d.webm", {"--crf", "40"}, false},
                                         {"clip.mp4", "e.mkv", {}, false},
                                         {"clip.mp4", "f.avi", {}, true},
                                         {"talk.mp4", "g.mp4", {"--frames", "3-20"}, true},
                                         {"talk.mp4", "h.webm", {}, false},
                                         {"talk.mp4", "i.avi", {}, true}}) {
    // invert with alpha inverted too, so that the alpha-keeping codecs get some.
    std::vector<std::string> args = {"render", "invert", "-i", dir / c.input, "--set", "Alpha=on"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    std::vector<std::string> in = args, out = args;
    in.insert(in.end(), {"-o", dir / ("in-" + c.output)});
    out.insert(out.end(), {"-o", dir / ("out-" + c.output)});
    Result r = seqfx(in);
    ASSERT_EQ(r.code, 0) << c.output << ": " << r.err;
    r = seqfx(out, {kProgram});
    ASSERT_EQ(r.code, 0) << c.output << ": " << r.err;
    const std::string a = dir / ("in-" + c.output), b = dir / ("out-" + c.output);
    if (c.whole_file)
      EXPECT_TRUE(file_bytes(a) == file_bytes(b)) << c.output;
    else
      EXPECT_EQ(packets(a), packets(b)) << c.output;
    EXPECT_FALSE(packets(a).empty()) << c.output;
  }
}

std::vector<std::string> names(const std::string &folder) {
  std::vector<std::string> n;
  if (DIR *d = opendir(folder.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') n.push_back(e->d_name);
    closedir(d);
  }
  std::sort(n.begin(), n.end());
  return n;
}

TEST(VideoPaths, FramesReadInProcessMatchTheProgramsFrames) {
  TempDir dir;
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=48x30:rate=25", "-frames:v", "6", "-pix_fmt", "yuv420p",
                      dir / "base.mp4"}));
  // A turned clip, full-range, tagged, narrow (rows not in whole blocks of
  // sixteen pixels) and 10-bit pictures, VP9 with alpha beside the
  // picture, and a clip whose frames come at uneven times.
  ASSERT_TRUE(ffmpeg({"-i", dir / "base.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90", dir / "turned.mp4"}));
  ASSERT_TRUE(ffmpeg({"-i", dir / "base.mp4", "-pix_fmt", "yuvj420p", dir / "full.mp4"}));
  ASSERT_TRUE(ffmpeg({"-i", dir / "base.mp4", "-colorspace", "bt709", "-color_range", "pc", dir / "tagged.mp4"}));
  ASSERT_TRUE(ffmpeg({"-i", dir / "base.mp4", "-vf", "scale=50:30", dir / "narrow.mp4"}));
  ASSERT_TRUE(ffmpeg({"-i", dir / "base.mp4", "-pix_fmt", "yuv420p10le", dir / "ten.mkv"}));
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=48x30:rate=25,format=yuva420p,geq=lum='lum(X,Y)':a='X*5'",
                      "-frames:v", "4", "-c:v", "libvpx-vp9", "-pix_fmt", "yuva420p", dir / "alpha.webm"}));
  ASSERT_TRUE(ffmpeg({"-i", dir / "base.mp4", "-vf", "setpts='N*N/25/TB'", "-fps_mode", "vfr", dir / "uneven.mkv"}));
  for (const std::string clip : {"turned.mp4", "full.mp4", "tagged.mp4", "narrow.mp4", "ten.mkv", "alpha.webm", "uneven.mkv"}) {
    const std::string a = dir / (clip + "-in"), b = dir / (clip + "-out");
    ASSERT_EQ(mkdir(a.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(b.c_str(), 0755), 0);
    // truncate at this setting copies every pixel.
    const std::vector<std::string> copy = {"render", "truncate", "-i", dir / clip, "--set", "tpivot=0", "--factor", "1"};
    std::vector<std::string> in = copy, out = copy;
    in.insert(in.end(), {"-o", a + "/f_%d.png"});
    out.insert(out.end(), {"-o", b + "/f_%d.png"});
    Result r = seqfx(in);
    ASSERT_EQ(r.code, 0) << clip << ": " << r.err;
    r = seqfx(out, {kProgram});
    ASSERT_EQ(r.code, 0) << clip << ": " << r.err;
    const std::vector<std::string> frames = names(a);
    ASSERT_EQ(frames, names(b)) << clip;
    ASSERT_GE(frames.size(), 4u) << clip;
    for (const std::string &f : frames)
      EXPECT_TRUE(file_bytes(a + "/" + f) == file_bytes(b + "/" + f)) << clip << " " << f;
  }
}

}  // namespace
