// Video as cameras and editors make it: rotated clips, audio and subtitles.

#include "cli_video_support.h"

#include <cstdio>
#include <cstdlib>

using namespace cli_test;

namespace {

// A 64x48 clip of three frames: blue with a red top-left quarter.
std::string quarter_clip(const TempDir &dir) {
  write_png(dir / "quarter.png", 64, 48,
            [](int x, int y) { return x < 32 && y < 24 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255}; });
  EXPECT_TRUE(ffmpeg({"-loop", "1", "-i", dir / "quarter.png", "-frames:v", "3", "-r", "10", "-pix_fmt", "yuv420p",
                      dir / "base.mp4"}));
  return dir / "base.mp4";
}

bool reddish(const Pixel &p) { return p[0] > 200 && p[2] < 60; }

TEST(VideoStreams, RotatedClipsAreReadUprightAtTheirDisplayedSize) {
  TempDir dir;
  const std::string base = quarter_clip(dir);
  // The display matrix turns the picture counter-clockwise by its angle:
  // the red corner goes to the bottom left (90) or the top right (270).
  for (const int turn : {90, 270}) {
    SCOPED_TRACE(turn);
    const std::string clip = dir / ("rot" + std::to_string(turn) + ".mp4");
    ASSERT_TRUE(ffmpeg({"-i", base, "-c", "copy", "-metadata:s:v:0", "rotate=" + std::to_string(turn), clip}));
    ASSERT_TRUE(contains(probe_entries(clip, "stream_side_data=rotation"), "rotation=")) << "no display matrix";
    const FilePicture ref = first_frame(dir, clip, "ref.png");

    Result r = seqfx({"--quiet", "render", "invert", "--set", "Red=0", "--set", "Green=0", "--set", "Blue=0", "-i",
                      clip, "-y", "-o", dir / "up_%d.png"});
    ASSERT_EQ(r.code, 0) << r.err;
    const FilePicture up = read_file(dir / "up_1.png");
    ASSERT_EQ(up.width, 48);
    ASSERT_EQ(up.height, 64);
    // Exactly ffmpeg's upright picture: a frame read at the wrong size
    // would be streaked.
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 48; ++x) ASSERT_EQ(up.byte_pixel(x, y), ref.byte_pixel(x, y)) << x << "," << y;
    const bool bottom_left = turn == 90;
    EXPECT_TRUE(reddish(up.byte_pixel(bottom_left ? 5 : 42, bottom_left ? 58 : 5)));
    EXPECT_FALSE(reddish(up.byte_pixel(5, 5)));

    // A video written from it is upright itself and carries no rotation.
    r = seqfx({"--quiet", "render", "invert", "-i", clip, "-y", "-o", dir / "up.mp4"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string info = probe_entries(dir / "up.mp4", "stream=width,height:stream_side_data=rotation");
    EXPECT_TRUE(contains(info, "width=48\nheight=64")) << info;
    EXPECT_FALSE(contains(info, "rotation")) << info;
  }
}

// A clip with AAC sound and SubRip subtitles in Matroska.
std::string clip_with_sound(const TempDir &dir) {
  FILE *f = std::fopen((dir / "subs.srt").c_str(), "w");
  std::fputs("1\n00:00:00,000 --> 00:00:00,300\nHello\n", f);
  std::fclose(f);
  EXPECT_TRUE(ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i",
                      "sine=frequency=440:sample_rate=16000", "-i", dir / "subs.srt", "-t", "0.4", "-map", "0",
                      "-map", "1", "-map", "2", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-c:s",
                      "srt", dir / "talk.mkv"}));
  return dir / "talk.mkv";
}

TEST(VideoStreams, SoundAndSubtitlesFollowTheFirstInput) {
  TempDir dir;
  const std::string clip = clip_with_sound(dir);
  auto streams = [&](const std::string &file) { return probe_entries(file, "stream=codec_type,codec_name", ""); };

  // MP4 takes the AAC sound as it is; its subtitles become MP4 text.
  Result r = seqfx({"render", "invert", "-i", clip, "-o", dir / "out.mp4"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string s = streams(dir / "out.mp4");
  EXPECT_TRUE(contains(s, "codec_name=h264\ncodec_type=video")) << s;
  EXPECT_TRUE(contains(s, "codec_name=aac\ncodec_type=audio")) << s;
  EXPECT_TRUE(contains(s, "codec_name=mov_text\ncodec_type=subtitle")) << s;
  EXPECT_TRUE(contains(r.err, "subtitle stream 2 (subrip) of " + clip + " is converted")) << r.err;
  EXPECT_FALSE(contains(r.err, "audio")) << r.err;

  // WebM holds neither as they are: both are converted to its own codecs.
  r = seqfx({"render", "invert", "-i", clip, "--frames", "2-3", "-o", dir / "out.webm"});
  ASSERT_EQ(r.code, 0) << r.err;
  s = streams(dir / "out.webm");
  EXPECT_TRUE(contains(s, "codec_name=opus\ncodec_type=audio")) << s;
  EXPECT_TRUE(contains(s, "codec_name=webvtt\ncodec_type=subtitle")) << s;
  // The sound covers the two frames rendered (0.2 s), not the whole clip.
  std::string pcm;
  run({"ffmpeg", "-v", "error", "-i", dir / "out.webm", "-map", "0:a", "-f", "s16le", "-ac", "1", "-ar", "16000", "-"},
      &pcm);
  EXPECT_NEAR(pcm.size() / 2 / 16000.0, 0.2, 0.03);

  // AVI has no place for subtitles: left out with a warning.
  r = seqfx({"render", "invert", "-i", clip, "-o", dir / "out.avi"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "seqfx: warning: subtitle stream 2 (subrip) of " + clip + " is left out")) << r.err;
  s = streams(dir / "out.avi");
  EXPECT_TRUE(contains(s, "codec_type=audio")) << s;
  EXPECT_FALSE(contains(s, "codec_type=subtitle")) << s;

  // --no-audio keeps the picture only.
  r = seqfx({"render", "invert", "-i", clip, "--no-audio", "-o", dir / "mute.mkv"});
  ASSERT_EQ(r.code, 0) << r.err;
  s = streams(dir / "mute.mkv");
  EXPECT_TRUE(contains(s, "codec_type=video")) << s;
  EXPECT_FALSE(contains(s, "codec_type=audio")) << s;
  EXPECT_FALSE(contains(s, "codec_type=subtitle")) << s;
}

// A file may list its sound before its picture, and the picture may be
// turned: the first video stream is still the one read, at its displayed
// size, and the sound still travels along.
TEST(VideoStreams, SoundListedBeforeATurnedPicture) {
  TempDir dir;
  const std::string base = quarter_clip(dir), clip = dir / "soundfirst.mov";
  ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=16000:duration=0.3", "-i", base, "-map",
                      "0:a", "-map", "1:v", "-c:v", "copy", "-c:a", "aac", "-metadata:s:v:0", "rotate=90", clip}));
  ASSERT_TRUE(contains(probe_entries(clip, "stream=codec_type", "0"), "codec_type=audio"));

  const Result r = seqfx({"render", "invert", "-i", clip, "-o", dir / "out.mp4"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string v = probe_entries(dir / "out.mp4", "stream=width,height,nb_frames");
  EXPECT_TRUE(contains(v, "width=48\nheight=64\nnb_frames=3")) << v;
  const std::string a = probe_entries(dir / "out.mp4", "stream=codec_name", "a");
  EXPECT_TRUE(contains(a, "codec_name=aac")) << a;
}

}  // namespace
