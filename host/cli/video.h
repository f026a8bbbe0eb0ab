// Video in and out: decoded and encoded with the ffmpeg libraries in this
// process, or through the ffmpeg program, whose frames travel as raw RGBA
// over pipes. Either way frames are flipped into and out of the record's
// bottom-up order like pictures.
#pragma once

#include "seqfx/image.h"
#include "staging.h"
#include "video_encode.h"

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace seqfx_cli {

class FrameDecoder;
class FrameEncoder;

struct VideoInfo {
  int width = 0, height = 0;
  std::string rate = "25";  // frames per second as ffmpeg writes it ("30000/1001")
  double fps = 25.0;
  long frames = -1;         // -1 when the file does not say
  int rotation = 0;         // degrees the picture is turned clockwise for display (width and height as displayed)
  std::string decoder;      // a decoder to use instead of ffmpeg's choice (VP8/VP9 with alpha)
  std::vector<SourceStream> others;  // the file's audio and subtitle streams
};

// Throws HostError naming ffmpeg when the ffmpeg program is not
// installed; file is the video that needs it.
void require_ffmpeg(const std::string &file);

// Video is decoded and encoded in this process with the ffmpeg libraries,
// unless SEQFX_FFMPEG_PROGRAM is set (and not 0): then frames travel
// through pipes to and from the ffmpeg program, as they also do for an
// AVI that carries another video's audio or subtitles.
bool through_program();

// Whether every one of n RGBA pixels has alpha 255.
bool opaque(const unsigned char *rect, std::size_t n);

// Frames per second of a rate as ffmpeg writes it ("25", "30000/1001");
// 0 when it is none.
double fps_of(const std::string &rate);

// Size, rate and frame count of a video's first video stream, and the
// file's audio and subtitle streams.
VideoInfo probe_video(const std::string &path);

// Runs a program (by PATH) to its end with no input; its standard output
// and error are returned in out and err. Returns its exit status. One that
// writes_staged files is killed before they are removed on a signal.
int run_program(const std::vector<std::string> &args, std::string &out, std::string &err,
                bool writes_staged = false);

class VideoReader {
 public:
  // Through the ffmpeg program, starts it decoding the file with its own
  // choice of decoder before the file is probed, so that the two start-ups
  // overlap; expect() then gives the probe's answer.
  explicit VideoReader(const std::string &path);
  ~VideoReader();
  VideoReader(const VideoReader &) = delete;
  VideoReader &operator=(const VideoReader &) = delete;
  // Readies reading frames of info's size: opens the decoder, or starts
  // the ffmpeg program again when info names a decoder of its own.
  void expect(const VideoInfo &info);
  // The next frame into img (of the video's size); false at the end.
  bool read(seqfx::Image &img);
  // Frames read so far.
  long count() const { return count_; }

 private:
  void start(const VideoInfo &info);
  void stop();
  std::string path_;
  bool program_;
  std::unique_ptr<FrameDecoder> decoder_;
  pid_t pid_ = -1;
  int fd_ = -1, log_ = -1;
  long count_ = 0;
};

class VideoWriter {
 public:
  // Writes to path in the format final_name's extension names, encoded as
  // opts ask, with the streams that carry_args chose from another video.
  VideoWriter(const std::string &path, const std::string &final_name, int width, int height,
              const std::string &rate, const VideoOptions &opts = {},
              const std::vector<std::string> &carried = {});
  ~VideoWriter();
  VideoWriter(const VideoWriter &) = delete;
  VideoWriter &operator=(const VideoWriter &) = delete;
  void write(const seqfx::Image &img);
  // Closes the pipe and waits; throws HostError with ffmpeg's complaint.
  void finish();

 private:
  // Waits for ffmpeg to end; its exit status.
  int end_encoder();
  // Joins the carried streams to the frames in the scratch file, into path_.
  void join_carried();
  // The frames the written file holds, asked of the file itself.
  long frames_in_file() const;
  // Throws HostError when a count of written frames (-1: unknown) is not
  // the count sent.
  void expect_frames(long written) const;
  std::string path_, final_;
  int width_, height_;
  long count_ = 0;  // frames sent
  bool alpha_kept_ = false, alpha_told_ = false;
  std::string encoding_;  // codec and pixel format, for messages
  std::unique_ptr<FrameEncoder> encoder_;
  std::unique_ptr<ScratchFile> scratch_;  // the frames alone, when streams are carried
  std::vector<std::string> carried_;      // the carried streams' inputs and options
  pid_t pid_ = -1;
  int fd_ = -1, log_ = -1, progress_ = -1;
};

}  // namespace seqfx_cli
