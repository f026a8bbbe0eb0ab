// Video outputs: codec, quality and pixel format by container and option,
// alpha where the file can keep it, colour tags that match the pixels.

#include "cli_video_support.h"

#include <algorithm>
#include <cstdlib>

using namespace cli_test;

namespace {

// Alpha that falls from 255 at the left to 15 at the right, over colour.
Pixel fading(int x, int y) {
  return Pixel{(unsigned char)(x * 4), (unsigned char)(y * 5), 128, (unsigned char)(255 - x * 15 / 4)};
}

std::string render(const std::vector<std::string> &extra, Result *out = nullptr) {
  std::vector<std::string> args = {"render", "invert"};
  args.insert(args.end(), extra.begin(), extra.end());
  Result r = seqfx(args);
  EXPECT_EQ(r.code, 0) << r.err;
  if (out) *out = r;
  return r.err;
}

// The largest difference of the alpha of a picture from fading's.
int alpha_error(const FilePicture &p) {
  int worst = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) worst = std::max(worst, std::abs(p.byte_pixel(x, y)[3] - fading(x, y)[3]));
  return worst;
}

TEST(VideoEncode, AlphaIsKeptWhereTheContainerCanHoldIt) {
  TempDir dir;
  // Three frames, so that the warning below, once given, must stay given
  // through frames that are no longer looked at.
  for (const char *f : {"fade_1.png", "fade_2.png", "fade_3.png"}) write_png(dir / f, 64, 48, fading);
  // A ProRes 4444 clip with alpha, as a finishing tool writes it.
  ASSERT_TRUE(ffmpeg({"-framerate", "10", "-i", dir / "fade_%d.png", "-c:v", "prores_ks", "-profile:v", "4444",
                      "-pix_fmt", "yuva444p10le", dir / "in.mov"}));

  render({"-i", dir / "in.mov", "-o", dir / "out.mov"});
  std::string info = probe_entries(dir / "out.mov", "stream=codec_name,profile,pix_fmt");
  EXPECT_TRUE(contains(info, "codec_name=prores\nprofile=4444")) << info;
  EXPECT_TRUE(contains(info, "pix_fmt=yuva444p")) << info;
  EXPECT_LE(alpha_error(first_frame(dir, dir / "out.mov", "mov.png")), 2);

  // WebM: VP9 with its alpha beside the picture, which the reader must
  // decode too: read back through seqfx.
  render({"-i", dir / "in.mov", "-o", dir / "out.webm"});
  info = probe_entries(dir / "out.webm", "stream=codec_name:stream_tags=alpha_mode");
  EXPECT_TRUE(contains(info, "codec_name=vp9")) << info;
  EXPECT_TRUE(contains(info, "alpha_mode=1")) << info;
  render({"-i", dir / "out.webm", "-o", dir / "webm_%d.png"});
  EXPECT_LE(alpha_error(read_file(dir / "webm_2.png")), 12);

  // Matroska: FFV1 keeps RGBA losslessly.
  render({"-i", dir / "fade_%d.png", "-o", dir / "out.mkv"});
  info = probe_entries(dir / "out.mkv", "stream=codec_name,pix_fmt");
  EXPECT_TRUE(contains(info, "codec_name=ffv1\npix_fmt=bgra")) << info;
  const FilePicture mkv = first_frame(dir, dir / "out.mkv", "mkv.png");
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const Pixel f = fading(x, y);
      ASSERT_EQ(mkv.byte_pixel(x, y), (Pixel{(unsigned char)(255 - f[0]), (unsigned char)(255 - f[1]), 127, f[3]}));
    }

  // MP4's H.264 has no alpha: written, with one warning for the run.
  const std::string err = render({"-i", dir / "in.mov", "-o", dir / "out.mp4"});
  EXPECT_TRUE(contains(err, "seqfx: warning: " + dir / "out.mp4" + " holds no alpha (libx264, yuv420p)")) << err;
  EXPECT_EQ(err.find("warning"), err.rfind("warning")) << err;
  // Opaque frames give no warning.
  EXPECT_FALSE(contains(render({"-i", dir / "out.mp4", "-o", dir / "again.mp4"}), "warning"));
}

TEST(VideoEncode, OnePixelLessThanOpaqueInALaterFrameIsWarnedOf) {
  // An odd number of pixels, the one pixel in each corner and the middle
  // by turns: the scan of the frames must reach every pixel.
  for (const std::pair<int, int> &at : {std::make_pair(0, 0), std::make_pair(3, 2), std::make_pair(6, 0),
                                        std::make_pair(0, 4), std::make_pair(6, 4)}) {
    TempDir dir;
    write_png(dir / "f_1.png", 7, 5, [](int, int) { return Pixel{10, 20, 30, 255}; });
    write_png(dir / "f_2.png", 7, 5, [&](int x, int y) {
      return Pixel{10, 20, 30, (unsigned char)(x == at.first && y == at.second ? 254 : 255)};
    });
    EXPECT_TRUE(contains(render({"-i", dir / "f_%d.png", "-o", dir / "out.mp4"}), "holds no alpha"))
        << at.first << "," << at.second;
    write_png(dir / "f_2.png", 7, 5, [](int, int) { return Pixel{10, 20, 30, 255}; });
    EXPECT_FALSE(contains(render({"-i", dir / "f_%d.png", "-o", dir / "out.mp4", "-y"}), "warning"));
  }
}

TEST(VideoEncode, CodecQualityAndPixelFormatAsAsked) {
  TempDir dir;
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-frames:v", "3", "-pix_fmt", "yuv420p",
                      dir / "in.mp4"}));
  render({"-i", dir / "in.mp4", "--codec", "libx264", "--crf", "0", "--pix-fmt", "yuv444p", "-o", dir / "a.mp4"});
  std::string info = probe_entries(dir / "a.mp4", "stream=codec_name,profile,pix_fmt");
  EXPECT_TRUE(contains(info, "codec_name=h264\nprofile=High 4:4:4 Predictive")) << info;
  EXPECT_TRUE(contains(info, "pix_fmt=yuv444p")) << info;

  // Quality follows the number: a coarser one gives a smaller file.
  render({"-i", dir / "in.mp4", "--crf", "10", "-o", dir / "fine.mp4"});
  render({"-i", dir / "in.mp4", "--quality", "45", "-o", dir / "coarse.mp4"});
  const auto size = [](const std::string &f) {
    const std::string s = probe_entries(f, "format=size", "");
    return std::atol(s.substr(s.find('=') + 1).c_str());
  };
  EXPECT_LT(size(dir / "coarse.mp4"), size(dir / "fine.mp4"));
  // ProRes takes a quantiser; --codec in another container.
  render({"-i", dir / "in.mp4", "--codec", "prores_ks", "--quality", "4", "-o", dir / "p.mkv"});
  EXPECT_TRUE(contains(probe_entries(dir / "p.mkv", "stream=codec_name"), "codec_name=prores"));

  // Bad choices are refused before anything is written.
  const auto before = dir.files();
  for (const auto &bad : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--codec", "nosuchcodec", "-o", dir / "x.mp4"}, "ffmpeg has no video encoder \"nosuchcodec\""},
           {{"--pix-fmt", "rgb24", "-o", dir / "x.mp4"}, "codec libx264 cannot write pixel format rgb24; it takes:"},
           {{"--crf", "3", "-o", dir / "x.mkv"}, "codec ffv1 is lossless: it takes no --crf or --quality"},
           {{"--crf", "3", "--quality", "3", "-o", dir / "x.mp4"}, "give one of --crf and --quality, once"},
           {{"--crf", "fine", "-o", dir / "x.mp4"}, "--crf wants the codec's quality number"},
           {{"--codec", "libx264", "-o", dir / "x.png"}, "are for video outputs, not " + dir / "x.png"},
       }) {
    std::vector<std::string> args = {"render", "invert", "-i", dir / "in.mp4"};
    args.insert(args.end(), bad.first.begin(), bad.first.end());
    Result r = seqfx(args);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(contains(r.err, bad.second)) << r.err;
  }
  // farm's encode step takes none of them.
  Result r = seqfx({"farm", "invert", "-i", dir / "in.mp4", "--crf", "3", "-o", dir / "x.mp4", "--dry-run"});
  EXPECT_NE(r.code, 0);
  EXPECT_TRUE(contains(r.err, "--no-audio are for render")) << r.err;
  EXPECT_EQ(dir.files(), before);
}

TEST(VideoEncode, ColourTagsMatchThePixels) {
  TempDir dir;
  write_png(dir / "red.png", 16, 16, [](int, int) { return Pixel{0, 255, 255, 255}; });
  render({"-i", dir / "red.png", "-o", dir / "red.mp4"});
  const std::string tags = probe_entries(dir / "red.mp4", "stream=color_range,color_space,color_transfer,color_primaries");
  EXPECT_EQ(tags, "color_range=tv\ncolor_space=bt709\ncolor_transfer=bt709\ncolor_primaries=bt709\n");
  // Red in BT.709 video range is Y 63, Cb 102, Cr 240 (BT.601 would give
  // Y 81): the pixels were made with the matrix the tags name.
  std::string yuv;
  run({"ffmpeg", "-v", "error", "-i", dir / "red.mp4", "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "yuv444p",
       "-"},
      &yuv);
  ASSERT_EQ(yuv.size(), 3u * 256);
  EXPECT_NEAR((unsigned char)yuv[8 * 16 + 8], 63, 2);
  EXPECT_NEAR((unsigned char)yuv[256 + 8 * 16 + 8], 102, 2);
  EXPECT_NEAR((unsigned char)yuv[512 + 8 * 16 + 8], 240, 2);
  // ffmpeg reading the tags gets the red back.
  EXPECT_NEAR(first_frame(dir, dir / "red.mp4", "back.png").byte_pixel(8, 8)[0], 255, 3);

  // RGB stays RGB at full range.
  render({"-i", dir / "red.png", "-o", dir / "red.mkv"});
  EXPECT_TRUE(contains(probe_entries(dir / "red.mkv", "stream=color_range,color_space"),
                       "color_range=pc\ncolor_space=gbr"));
}

}  // namespace
