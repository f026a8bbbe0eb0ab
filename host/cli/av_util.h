// Owning handles for the ffmpeg libraries' objects, their error texts, and
// the messages they log, which this program keeps instead of printing.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <cstdint>
#include <memory>
#include <string>

struct SwsContext;

namespace seqfx_cli::av {

struct InputCloser {
  void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

// An output's format context and its file, closed (not finished) on release.
struct OutputCloser {
  void operator()(AVFormatContext *c) const;
};
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;

struct CodecFreer {
  void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
using Codec = std::unique_ptr<AVCodecContext, CodecFreer>;

struct GraphFreer {
  void operator()(AVFilterGraph *g) const { avfilter_graph_free(&g); }
};
using Graph = std::unique_ptr<AVFilterGraph, GraphFreer>;

struct FrameFreer {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using Frame = std::unique_ptr<AVFrame, FrameFreer>;

struct PacketFreer {
  void operator()(AVPacket *p) const { av_packet_free(&p); }
};
using Packet = std::unique_ptr<AVPacket, PacketFreer>;

struct PoolFreer {
  void operator()(AVBufferPool *p) const { av_buffer_pool_uninit(&p); }
};
using Pool = std::unique_ptr<AVBufferPool, PoolFreer>;

// New frames and packets; throw HostError when memory runs out.
Frame new_frame();
Packet new_packet();

// A ratio as ffmpeg writes it ("30000/1001").
std::string ratio(AVRational r);

// The libraries' text for an error code.
std::string error_text(int code);

// From the first call on, the libraries' messages of error level go to a
// record instead of standard error (warnings and chatter are dropped), so
// that a failure is reported once, in this program's words, with the
// libraries' reason in it.
void keep_messages();

// Which side of the run a message concerns: what the thread that logs it
// works for (see OnSide); from the libraries' own threads, demuxers and
// decoders read, encoders and muxers write, and the rest (filters,
// scalers) may be either, so their messages count for both.
enum class Side { read, write };

// Marks the calling thread as working for a side while it lives.
class OnSide {
 public:
  explicit OnSide(Side side);
  ~OnSide();
  OnSide(const OnSide &) = delete;
  OnSide &operator=(const OnSide &) = delete;

 private:
  int before_;
};
// The number of error messages of a side logged so far.
long complaints(Side side);
// why, followed by the last error of side logged since there were `since`
// of them (either alone when the other is empty).
std::string with_complaint(const std::string &why, Side side, long since);

// A filter chain between a buffer source and a buffer sink, converting as
// the ffmpeg program's simple filter graphs do (bicubic scaling).
struct Chain {
  Graph graph;
  AVFilterContext *source = nullptr, *sink = nullptr;
};
// The frames fed to a chain.
struct Source {
  int width, height, format;
  AVRational time_base, aspect;  // aspect: the pixels' shape, 0/1 when unknown
  AVRational rate;               // 0/0 when unknown
};
// Builds description (e.g. "format=pix_fmts=rgba") fed by source's frames.
// Throws HostError starting with what on failure.
Chain make_chain(const Source &source, const std::string &description, const std::string &what);

// Converts frames to RGBA straight into a picture's rows, bottom row first,
// with the scaler set up as the ffmpeg program's conversion filter sets up
// its own: bicubic, MPEG-2 chroma siting for 8-bit 4:2:0, and the matrix
// and range each frame is tagged with (BT.601 and video range when it is
// not), so that the bytes are the program's.
class RgbaScaler {
 public:
  RgbaScaler() = default;
  ~RgbaScaler();
  RgbaScaler(const RgbaScaler &) = delete;
  RgbaScaler &operator=(const RgbaScaler &) = delete;
  // rect: width x height x 4 bytes, the frame's size. Throws HostError
  // when the frame's format cannot be converted.
  void convert(const AVFrame *in, std::uint8_t *rect);

 private:
  SwsContext *sws_ = nullptr;
  int width_ = 0, height_ = 0, format_ = -1;
};

}  // namespace seqfx_cli::av
