#include "av_reader.h"

#include "seqfx/error.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdint>
#include <cstring>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

// The file opened with its streams' facts found. Errors the libraries log
// while doing so make the file unreadable, as they would a probe of it.
av::Input open_input(const std::string &path) {
  av::keep_messages();
  const av::OnSide side(av::Side::read);
  const long before = av::complaints(av::Side::read);
  AVFormatContext *c = nullptr;
  int rc = avformat_open_input(&c, path.c_str(), nullptr, nullptr);
  if (rc < 0) throw HostError("cannot read " + path + ": " + av::with_complaint(av::error_text(rc), av::Side::read, before));
  av::Input in(c);
  rc = avformat_find_stream_info(c, nullptr);
  if (rc < 0) throw HostError("cannot read " + path + ": " + av::with_complaint(av::error_text(rc), av::Side::read, before));
  if (av::complaints(av::Side::read) != before) throw HostError("cannot read " + path + ": " + av::with_complaint("", av::Side::read, before));
  return in;
}

int first_video_stream(const AVFormatContext *c) {
  for (unsigned i = 0; i < c->nb_streams; ++i)
    if (c->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) return (int)i;
  return -1;
}

const std::int32_t *display_matrix(const AVStream *st) {
  return reinterpret_cast<const std::int32_t *>(av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
}

// The clockwise turn, in degrees from 0 to 360, that shows the stream
// upright, rounded as the ffmpeg program rounds it.
double upright_turn(const std::int32_t *matrix) {
  double theta = matrix ? -std::round(av_display_rotation_get(matrix)) : 0.0;
  if (!std::isfinite(theta)) return 0.0;  // a degenerate matrix turns nothing
  theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
  return theta;
}

// The filters that turn a stream upright, as the ffmpeg program puts them
// in front of its conversion; "" when it is upright already.
std::string upright_filters(const std::int32_t *matrix) {
  const double theta = upright_turn(matrix);
  if (std::fabs(theta - 90) < 1.0) return matrix[3] > 0 ? "transpose=cclock_flip" : "transpose=clock";
  if (std::fabs(theta - 180) < 1.0) {
    std::string f;
    if (matrix[0] < 0) f += "hflip";
    if (matrix[4] < 0) f += f.empty() ? "vflip" : ",vflip";
    return f;
  }
  if (std::fabs(theta - 270) < 1.0) return matrix[3] < 0 ? "transpose=clock_flip" : "transpose=cclock";
  if (std::fabs(theta) > 1.0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "rotate=%f*PI/180", theta);
    return buf;
  }
  return "";
}

}  // namespace

VideoInfo probe_with_libraries(const std::string &path) {
  av::Input in = open_input(path);
  const av::OnSide side(av::Side::read);
  const int v = first_video_stream(in.get());
  if (v < 0) throw HostError(path + " holds no video stream");
  VideoInfo info;
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    const AVCodecParameters *p = in->streams[i]->codecpar;
    if (p->codec_type == AVMEDIA_TYPE_AUDIO || p->codec_type == AVMEDIA_TYPE_SUBTITLE)
      info.others.push_back({(int)i, p->codec_type == AVMEDIA_TYPE_AUDIO ? "audio" : "subtitle",
                             avcodec_get_name(p->codec_id)});
  }
  AVStream *st = in->streams[v];
  info.width = st->codecpar->width;
  info.height = st->codecpar->height;
  info.frames = st->nb_frames > 0 ? (long)st->nb_frames : -1;
  // Containers that keep no frame count (Matroska, WebM) are counted by
  // their packets, which needs no decoding.
  if (info.frames < 0) {
    av::Packet pkt = av::new_packet();
    long n = 0;
    while (av_read_frame(in.get(), pkt.get()) >= 0) {
      n += pkt->stream_index == v;
      av_packet_unref(pkt.get());
    }
    info.frames = n;
  }
  // The turn the reader's filters make, so that the size swaps with them.
  info.rotation = (int)upright_turn(display_matrix(st));
  const AVDictionaryEntry *alpha = av_dict_get(st->metadata, "alpha_mode", nullptr, 0);
  const bool alpha_side = alpha && std::strcmp(alpha->value, "1") == 0;
  const AVCodecID codec = st->codecpar->codec_id;
  // VP8/VP9 keep alpha beside the picture, which only libvpx's decoders read.
  if (alpha_side && codec == AV_CODEC_ID_VP9) info.decoder = "libvpx-vp9";
  if (alpha_side && codec == AV_CODEC_ID_VP8) info.decoder = "libvpx";
  // The frames come upright: a quarter turn swaps the size to expect.
  if (info.rotation == 90 || info.rotation == 270) std::swap(info.width, info.height);
  for (AVRational r : {st->avg_frame_rate, st->r_frame_rate}) {
    if (r.num > 0 && r.den > 0) {
      info.rate = av::ratio(r);
      info.fps = av_q2d(r);
      break;
    }
  }
  return info;
}

FrameDecoder::FrameDecoder(const std::string &path, const VideoInfo &info)
    : path_(path), width_(info.width), height_(info.height), input_(open_input(path)) {
  const av::OnSide side(av::Side::read);
  complaints_ = av::complaints(av::Side::read);
  stream_ = first_video_stream(input_.get());
  if (stream_ < 0) throw HostError(path + " holds no video stream");
  const AVStream *st = input_->streams[stream_];
  const AVCodec *codec = info.decoder.empty() ? avcodec_find_decoder(st->codecpar->codec_id)
                                              : avcodec_find_decoder_by_name(info.decoder.c_str());
  if (!codec) fail(std::string("no decoder for its ") + avcodec_get_name(st->codecpar->codec_id) + " video");
  decoder_.reset(avcodec_alloc_context3(codec));
  if (!decoder_) fail("out of memory");
  int rc = avcodec_parameters_to_context(decoder_.get(), st->codecpar);
  decoder_->pkt_timebase = st->time_base;
  // As many decoding threads as the machine suggests.
  AVDictionary *opts = nullptr;
  av_dict_set(&opts, "threads", "auto", 0);
  if (rc >= 0) rc = avcodec_open2(decoder_.get(), codec, &opts);
  av_dict_free(&opts);
  if (rc < 0) fail(av::error_text(rc));
  turning_ = upright_filters(display_matrix(st));
  decoded_ = av::new_frame();
  upright_ = av::new_frame();
  packet_ = av::new_packet();
}

void FrameDecoder::fail(const std::string &why) const {
  throw HostError("cannot read " + path_ + ": " + av::with_complaint(why, av::Side::read, complaints_));
}

void FrameDecoder::filter(AVFrame *decoded) {
  if (!chain_.graph || decoded->width != chain_w_ || decoded->height != chain_h_ || decoded->format != chain_fmt_) {
    const AVStream *st = input_->streams[stream_];
    // Upright 8-bit 4:2:0 frames whose rows are whole blocks of sixteen
    // pixels are converted by this reader straight into the picture: the
    // scaler gives the conversion filter's bytes there. Other frames are
    // turned and converted by the filters.
    const bool direct = turning_.empty() && decoded->width % 16 == 0 &&
                        (decoded->format == AV_PIX_FMT_YUV420P || decoded->format == AV_PIX_FMT_YUVJ420P);
    const std::string chain = direct ? "null" : turning_ + (turning_.empty() ? "" : ",") + "format=pix_fmts=rgba";
    const AVRational sar = decoded->sample_aspect_ratio;
    chain_ = av::make_chain({decoded->width, decoded->height, decoded->format, st->time_base,
                             sar.den > 0 ? sar : AVRational{0, 1}, {0, 0}},
                            chain, "cannot read " + path_);
    chain_w_ = decoded->width;
    chain_h_ = decoded->height;
    chain_fmt_ = decoded->format;
  }
  const int rc = av_buffersrc_add_frame(chain_.source, decoded);
  if (rc < 0) fail(av::error_text(rc));
}

bool FrameDecoder::next() {
  for (;;) {
    if (chain_.graph) {
      const int got = av_buffersink_get_frame(chain_.sink, upright_.get());
      if (got >= 0) return true;
      if (got == AVERROR_EOF) return false;
      if (got != AVERROR(EAGAIN)) fail(av::error_text(got));
    } else if (decoder_done_) {
      return false;  // the stream ended before any frame
    }
    if (decoder_done_) {
      if (chain_done_) return false;
      chain_done_ = true;
      const int rc = av_buffersrc_add_frame(chain_.source, nullptr);
      if (rc < 0) fail(av::error_text(rc));
      continue;
    }
    const int got = avcodec_receive_frame(decoder_.get(), decoded_.get());
    if (got >= 0) {
      filter(decoded_.get());
      continue;
    }
    if (got == AVERROR_EOF) {
      decoder_done_ = true;
      continue;
    }
    if (got != AVERROR(EAGAIN)) fail(av::error_text(got));
    // The decoder wants more: the next packet of the stream, or the end.
    if (input_done_) fail("the decoder did not finish");
    const int rc = av_read_frame(input_.get(), packet_.get());
    if (rc == AVERROR_EOF) {
      input_done_ = true;
      avcodec_send_packet(decoder_.get(), nullptr);
      continue;
    }
    if (rc < 0) fail(av::error_text(rc));
    if (packet_->stream_index == stream_) {
      const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
      if (sent < 0) fail(av::error_text(sent));
    }
    av_packet_unref(packet_.get());
  }
}

bool FrameDecoder::read(seqfx::Image &img) {
  const av::OnSide side(av::Side::read);
  const bool got = next();
  if (av::complaints(av::Side::read) != complaints_) fail("");
  if (!got) return false;
  AVFrame *f = upright_.get();
  if (f->width != width_ || f->height != height_ || img.width() != width_ || img.height() != height_)
    fail("a frame of " + std::to_string(f->width) + "x" + std::to_string(f->height) + " in a video of " +
         std::to_string(width_) + "x" + std::to_string(height_));
  if (f->format == AV_PIX_FMT_RGBA) {
    // The record keeps the bottom row first.
    const std::size_t row = (std::size_t)width_ * 4;
    for (int y = 0; y < height_; ++y)
      std::memcpy(img.rect() + (std::size_t)(height_ - 1 - y) * row, f->data[0] + (std::ptrdiff_t)y * f->linesize[0],
                  row);
  } else {
    to_rgba_.convert(f, img.rect());
  }
  av_frame_unref(f);
  return true;
}

}  // namespace seqfx_cli
