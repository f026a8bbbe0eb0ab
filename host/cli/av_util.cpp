#include "av_util.h"

#include "seqfx/error.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cstdarg>
#include <cstring>
#include <mutex>
#include <utility>

namespace seqfx_cli::av {

using seqfx::HostError;

void OutputCloser::operator()(AVFormatContext *c) const {
  if (c->pb && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
  avformat_free_context(c);
}

Frame new_frame() {
  Frame f(av_frame_alloc());
  if (!f) throw HostError("out of memory for a video frame");
  return f;
}

Packet new_packet() {
  Packet p(av_packet_alloc());
  if (!p) throw HostError("out of memory for a video packet");
  return p;
}

std::string error_text(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buf, sizeof buf);
  return buf;
}

namespace {

// Each side's messages; one that may concern either side counts for both.
struct Record {
  long count = 0;
  std::string last;
};
std::mutex log_mutex;
Record log_of[2];  // by Side

thread_local int current_side = -1;  // the side this thread works for, -1 for none

// The sides a message concerns: the side its thread works for, else the
// category of its context. Codec contexts without a codec (the parsers a
// demuxer runs) say they encode, so they are taken as either.
std::pair<bool, bool> sides_of(void *avcl) {
  if (current_side >= 0) return {current_side == (int)Side::read, current_side == (int)Side::write};
  const AVClass *c = avcl ? *static_cast<const AVClass **>(avcl) : nullptr;
  if (c && std::strcmp(c->class_name, "AVCodecContext") == 0 && !static_cast<AVCodecContext *>(avcl)->codec)
    return {true, true};
  const AVClassCategory cat = !c ? AV_CLASS_CATEGORY_NA : c->get_category ? c->get_category(avcl) : c->category;
  switch (cat) {
    case AV_CLASS_CATEGORY_INPUT:
    case AV_CLASS_CATEGORY_DEMUXER:
    case AV_CLASS_CATEGORY_DECODER:
      return {true, false};
    case AV_CLASS_CATEGORY_OUTPUT:
    case AV_CLASS_CATEGORY_MUXER:
    case AV_CLASS_CATEGORY_ENCODER:
      return {false, true};
    default:
      return {true, true};
  }
}

// Decoders log from their own threads, hence the lock.
void on_message(void *avcl, int level, const char *fmt, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  int prefix = 0;  // without the "[context @ address]" of the library's own output
  av_log_format_line2(avcl, level, fmt, args, line, sizeof line, &prefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  const auto [read, write] = sides_of(avcl);
  std::lock_guard<std::mutex> lock(log_mutex);
  for (Side side : {Side::read, Side::write}) {
    if (!(side == Side::read ? read : write)) continue;
    Record &r = log_of[(int)side];
    ++r.count;
    if (!text.empty()) r.last = text;
  }
}

}  // namespace

void keep_messages() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Libraries that print by themselves (x265) take their verbosity from
    // this level.
    av_log_set_level(AV_LOG_ERROR);
    av_log_set_callback(on_message);
  });
}

OnSide::OnSide(Side side) : before_(current_side) { current_side = (int)side; }
OnSide::~OnSide() { current_side = before_; }

long complaints(Side side) {
  std::lock_guard<std::mutex> lock(log_mutex);
  return log_of[(int)side].count;
}

std::string with_complaint(const std::string &why, Side side, long since) {
  std::string said;
  {
    std::lock_guard<std::mutex> lock(log_mutex);
    const Record &r = log_of[(int)side];
    if (r.count == since) return why;
    said = r.last;
  }
  if (why.empty() || said == why) return said;
  return why + " (" + said + ")";
}

std::string ratio(AVRational r) { return std::to_string(r.num) + "/" + std::to_string(r.den); }

Chain make_chain(const Source &source, const std::string &description, const std::string &what) {
  std::string args = "video_size=" + std::to_string(source.width) + "x" + std::to_string(source.height) +
                     ":pix_fmt=" + std::to_string(source.format) + ":time_base=" + ratio(source.time_base) +
                     ":pixel_aspect=" + ratio(source.aspect);
  if (source.rate.num > 0 && source.rate.den > 0) args += ":frame_rate=" + ratio(source.rate);
  Chain c;
  c.graph.reset(avfilter_graph_alloc());
  if (!c.graph) throw HostError(what + ": out of memory");
  // The scalers the graph puts in for format conversions use bicubic
  // filters, as the ffmpeg program's do.
  c.graph->scale_sws_opts = av_strdup("flags=bicubic");
  int rc = avfilter_graph_create_filter(&c.source, avfilter_get_by_name("buffer"), "in", args.c_str(),
                                        nullptr, c.graph.get());
  if (rc >= 0)
    rc = avfilter_graph_create_filter(&c.sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                      c.graph.get());
  AVFilterInOut *outputs = avfilter_inout_alloc(), *inputs = avfilter_inout_alloc();
  if (rc >= 0 && (!outputs || !inputs)) rc = AVERROR(ENOMEM);
  if (rc >= 0) {
    outputs->name = av_strdup("in");
    outputs->filter_ctx = c.source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = c.sink;
    rc = avfilter_graph_parse_ptr(c.graph.get(), description.c_str(), &inputs, &outputs, nullptr);
  }
  avfilter_inout_free(&inputs);
  avfilter_inout_free(&outputs);
  if (rc >= 0) rc = avfilter_graph_config(c.graph.get(), nullptr);
  if (rc < 0) throw HostError(what + ": " + error_text(rc));
  return c;
}

RgbaScaler::~RgbaScaler() { sws_freeContext(sws_); }

void RgbaScaler::convert(const AVFrame *in, std::uint8_t *rect) {
  if (!sws_ || in->width != width_ || in->height != height_ || in->format != format_) {
    sws_freeContext(sws_);
    sws_ = sws_alloc_context();
    if (!sws_) throw HostError("out of memory for a video frame's conversion");
    width_ = in->width;
    height_ = in->height;
    format_ = in->format;
    av_opt_set_int(sws_, "sws_flags", SWS_BICUBIC, 0);
    av_opt_set_int(sws_, "srcw", width_, 0);
    av_opt_set_int(sws_, "srch", height_, 0);
    av_opt_set_int(sws_, "src_format", format_, 0);
    av_opt_set_int(sws_, "dstw", width_, 0);
    av_opt_set_int(sws_, "dsth", height_, 0);
    av_opt_set_int(sws_, "dst_format", AV_PIX_FMT_RGBA, 0);
    // 8-bit 4:2:0 takes MPEG-2's chroma siting, between two rows.
    av_opt_set_int(sws_, "src_h_chr_pos", -513, 0);
    av_opt_set_int(sws_, "src_v_chr_pos", format_ == AV_PIX_FMT_YUV420P ? 128 : -513, 0);
    av_opt_set_int(sws_, "dst_h_chr_pos", -513, 0);
    av_opt_set_int(sws_, "dst_v_chr_pos", -513, 0);
    const int rc = sws_init_context(sws_, nullptr, nullptr);
    if (rc < 0) {
      sws_freeContext(sws_);
      sws_ = nullptr;
      const char *name = av_get_pix_fmt_name((AVPixelFormat)format_);
      throw HostError(std::string("cannot convert ") + (name ? name : "its") + " frames to RGBA: " + error_text(rc));
    }
  }
  // The frame's own matrix when it names a known one, else BT.601; its own
  // range when it names one, else the scaler's default for the format.
  int space = in->colorspace;
  if (space < 1 || space > 10 || space == 8) space = AVCOL_SPC_BT470BG;
  const int *matrix = sws_getCoefficients(space);
  int *inv = nullptr, *table = nullptr, src_full = 0, dst_full = 0, brightness = 0, contrast = 0, saturation = 0;
  sws_getColorspaceDetails(sws_, &inv, &src_full, &table, &dst_full, &brightness, &contrast, &saturation);
  if (in->color_range != AVCOL_RANGE_UNSPECIFIED) src_full = in->color_range == AVCOL_RANGE_JPEG;
  sws_setColorspaceDetails(sws_, matrix, src_full, matrix, dst_full, brightness, contrast, saturation);
  const int row = width_ * 4;
  std::uint8_t *dst[4] = {rect + (std::size_t)(height_ - 1) * row, nullptr, nullptr, nullptr};
  const int stride[4] = {-row, 0, 0, 0};
  if (sws_scale(sws_, in->data, in->linesize, 0, height_, dst, stride) != height_)
    throw HostError("a video frame could not be converted to RGBA");
}

}  // namespace seqfx_cli::av
