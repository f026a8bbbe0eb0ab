// Reading video in this process through the ffmpeg libraries: the probe
// that tells a file's size, rate and streams, and the decoder that turns
// its first video stream into upright RGBA frames, converted as the ffmpeg
// program converts them (its filters, with its bicubic scaler settings).
#pragma once

#include "av_util.h"
#include "seqfx/image.h"
#include "video.h"

#include <string>

namespace seqfx_cli {

// The facts probe_video returns, read with the libraries; throws HostError
// for a file they cannot read or that holds no video stream.
VideoInfo probe_with_libraries(const std::string &path);

class FrameDecoder {
 public:
  // Opens path's first video stream with info's decoder (or the file's
  // own), for frames of info's size.
  FrameDecoder(const std::string &path, const VideoInfo &info);
  // The next frame into img (of the video's size); false at the end.
  // Throws HostError when the file cannot be decoded.
  bool read(seqfx::Image &img);

 private:
  // The next upright frame into upright_; false at the end.
  bool next();
  // Hands a decoded frame to the filters that turn it upright and, unless
  // this reader converts it, to RGBA; built anew when the frames' size or
  // format changes.
  void filter(AVFrame *decoded);
  [[noreturn]] void fail(const std::string &why) const;
  std::string path_;
  int width_, height_;
  av::Input input_;
  int stream_ = -1;
  av::Codec decoder_;
  std::string turning_;  // the filters that turn the stream upright; "" for none
  av::Chain chain_;
  int chain_w_ = 0, chain_h_ = 0, chain_fmt_ = -1;
  av::RgbaScaler to_rgba_;
  av::Frame decoded_, upright_;
  av::Packet packet_;
  bool input_done_ = false, decoder_done_ = false, chain_done_ = false;
  long complaints_ = 0;
};

}  // namespace seqfx_cli
