// Writing video in this process through the ffmpeg libraries: RGBA frames
// through an encoding's filters into its codec and container, set up as
// the ffmpeg program sets up the same encoding, so that the file holds the
// same pictures it would write.
#pragma once

#include "av_util.h"
#include "seqfx/image.h"
#include "video_encode.h"

#include <string>

namespace seqfx_cli {

class FrameEncoder {
 public:
  // Writes frames of width x height at rate ("25", "30000/1001") to path,
  // encoded as enc's options say; final_name names the file in messages.
  // Throws HostError when the codec or container cannot be opened.
  FrameEncoder(const std::string &path, const std::string &final_name, int width, int height,
               const std::string &rate, const Encoding &enc);
  ~FrameEncoder();
  FrameEncoder(const FrameEncoder &) = delete;
  FrameEncoder &operator=(const FrameEncoder &) = delete;
  // img: the frame, of the encoder's size (the caller checks), bottom row
  // first. With check_alpha, tells whether every pixel's alpha is 255
  // (else true).
  bool write(const seqfx::Image &img, bool check_alpha);
  // Flushes the codec and completes the file; the frames it holds.
  long finish();

 private:
  // Encodes the frames the filters have ready (all of them at the end).
  void drain(bool end);
  // Opens the codec and writes the file's header, from the first filtered
  // frame's size, format and colour tags.
  void open_codec(const AVFrame *first);
  void send(AVFrame *frame);
  [[noreturn]] void fail(const std::string &why) const;
  std::string path_, final_;
  int width_, height_;
  AVRational rate_{25, 1};
  const AVCodec *codec_ = nullptr;
  int quality_ = -1;  // global quality when a fixed quantiser was asked for
  AVDictionary *options_ = nullptr;  // the codec's options, consumed when it opens
  av::Output output_;
  AVStream *stream_ = nullptr;
  av::Codec encoder_;
  av::Chain chain_;
  av::Pool pool_;     // buffers of the frames handed to the filters
  int linesize_ = 0;  // their row length in bytes
  av::Frame filtered_;
  av::Packet packet_;
  bool cfr_ = true;  // the container keeps one frame's duration per packet
  long pushed_ = 0, sent_ = 0, packets_ = 0;  // frames in, frames encoded, packets out
  long complaints_ = 0;
};

}  // namespace seqfx_cli
