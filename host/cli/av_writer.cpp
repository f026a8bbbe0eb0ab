#include "av_writer.h"

#include "seqfx/error.h"
#include "video.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
}

#include <cstdlib>
#include <cstring>

namespace seqfx_cli {

using seqfx::HostError;

FrameEncoder::FrameEncoder(const std::string &path, const std::string &final_name, int width, int height,
                           const std::string &rate, const Encoding &enc)
    : path_(path), final_(final_name), width_(width), height_(height) {
  av::keep_messages();
  const av::OnSide side(av::Side::write);
  complaints_ = av::complaints(av::Side::write);
  if (av_parse_video_rate(&rate_, rate.c_str()) < 0 || rate_.num <= 0 || rate_.den <= 0)
    fail("no frame rate \"" + rate + "\"");
  // The rest of the encoding's options as the ffmpeg program takes them:
  // the filters, a fixed quantiser, and codec options.
  std::string filters;
  for (std::size_t i = 0; i + 1 < enc.args.size(); i += 2) {
    const std::string &opt = enc.args[i], &value = enc.args[i + 1];
    const std::string name = opt.substr(1, opt.find(':') == std::string::npos ? std::string::npos : opt.find(':') - 1);
    if (name == "c" || name == "pix_fmt") continue;  // enc.codec and enc.pix_fmt
    if (name == "vf") filters = value;
    else if (name == "q") quality_ = (int)(FF_QP2LAMBDA * std::atof(value.c_str()));
    else av_dict_set(&options_, name.c_str(), value.c_str(), 0);
  }
  AVFormatContext *oc = nullptr;
  int rc = avformat_alloc_output_context2(&oc, nullptr, nullptr, path.c_str());
  if (rc < 0 || !oc) fail(rc < 0 ? av::error_text(rc) : "no container by that name");
  output_.reset(oc);
  // Muxers that interleave streams by time keep them within 0.7 s.
  oc->max_delay = 700000;
  // Containers without a variable frame rate (and AVI) get one frame's
  // duration on every packet.
  cfr_ = !(oc->oformat->flags & AVFMT_VARIABLE_FPS) && std::strcmp(oc->oformat->name, "avi") != 0;
  if (enc.codec.empty()) {
    const AVCodecID id = av_guess_codec(oc->oformat, nullptr, path.c_str(), nullptr, AVMEDIA_TYPE_VIDEO);
    codec_ = avcodec_find_encoder(id);
  } else {
    codec_ = avcodec_find_encoder_by_name(enc.codec.c_str());
  }
  if (!codec_) fail("no video encoder " + (enc.codec.empty() ? std::string("for its container") : enc.codec));
  if (codec_->id == AV_CODEC_ID_MPEG4) av_reduce(&rate_.num, &rate_.den, rate_.num, rate_.den, 65535);
  stream_ = avformat_new_stream(oc, nullptr);
  if (!stream_) fail("out of memory");
  if (!(oc->oformat->flags & AVFMT_NOFILE)) {
    rc = avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) fail(av::error_text(rc));
  }
  std::string chain = filters.empty() ? "" : filters + ",";
  chain += enc.pix_fmt.empty() ? "null" : "format=pix_fmts=" + enc.pix_fmt;
  chain_ = av::make_chain({width, height, AV_PIX_FMT_RGBA, av_inv_q(rate_), {0, 1}, rate_}, chain,
                          "cannot write " + final_);
  // The frames handed to the filters are laid out as the libraries lay out
  // their own, in buffers reused from frame to frame rather than taken
  // afresh from the system (and faulted in page by page).
  av::Frame layout = av::new_frame();
  layout->format = AV_PIX_FMT_RGBA;
  layout->width = width;
  layout->height = height;
  rc = av_frame_get_buffer(layout.get(), 0);
  if (rc < 0) fail(av::error_text(rc));
  linesize_ = layout->linesize[0];
  pool_.reset(av_buffer_pool_init((std::size_t)layout->buf[0]->size, nullptr));
  if (!pool_) fail("out of memory");
  filtered_ = av::new_frame();
  packet_ = av::new_packet();
}

FrameEncoder::~FrameEncoder() { av_dict_free(&options_); }

void FrameEncoder::fail(const std::string &why) const {
  throw HostError("cannot write " + final_ + ": " + av::with_complaint(why, av::Side::write, complaints_));
}

void FrameEncoder::open_codec(const AVFrame *first) {
  encoder_.reset(avcodec_alloc_context3(codec_));
  if (!encoder_) fail("out of memory");
  AVCodecContext *e = encoder_.get();
  e->width = av_buffersink_get_w(chain_.sink);
  e->height = av_buffersink_get_h(chain_.sink);
  e->sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(chain_.sink);
  e->pix_fmt = (AVPixelFormat)av_buffersink_get_format(chain_.sink);
  e->time_base = av_inv_q(rate_);
  e->framerate = rate_;
  e->color_range = first->color_range;
  e->color_primaries = first->color_primaries;
  e->color_trc = first->color_trc;
  e->colorspace = first->colorspace;
  e->chroma_sample_location = first->chroma_location;
  e->field_order = AV_FIELD_PROGRESSIVE;
  if (output_->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (quality_ >= 0) {
    e->flags |= AV_CODEC_FLAG_QSCALE;
    e->global_quality = quality_;
  }
  // As many encoding threads as the codec chooses for this machine.
  if (!av_dict_get(options_, "threads", nullptr, 0)) av_dict_set(&options_, "threads", "auto", 0);
  int rc = avcodec_open2(e, codec_, &options_);
  if (rc < 0) fail(av::error_text(rc));
  if (const AVDictionaryEntry *unused = av_dict_get(options_, "", nullptr, AV_DICT_IGNORE_SUFFIX))
    fail(std::string("codec ") + codec_->name + " has no option " + unused->key);
  rc = avcodec_parameters_from_context(stream_->codecpar, e);
  if (rc < 0) fail(av::error_text(rc));
  stream_->time_base = e->time_base;
  stream_->avg_frame_rate = rate_;
  stream_->sample_aspect_ratio = e->sample_aspect_ratio;
  av_dict_set(&stream_->metadata, "encoder", (std::string(LIBAVCODEC_IDENT " ") + codec_->name).c_str(), 0);
  // What the codec tells of its stream (buffer sizes, rates) goes into the file.
  for (int i = 0; i < e->nb_coded_side_data; ++i) {
    const AVPacketSideData &sd = e->coded_side_data[i];
    std::uint8_t *dst = av_stream_new_side_data(stream_, sd.type, sd.size);
    if (!dst) fail("out of memory");
    std::memcpy(dst, sd.data, sd.size);
  }
  rc = avformat_write_header(output_.get(), nullptr);
  if (rc < 0) fail(av::error_text(rc));
}

void FrameEncoder::send(AVFrame *frame) {
  int rc = avcodec_send_frame(encoder_.get(), frame);
  if (rc < 0) fail(av::error_text(rc));
  for (;;) {
    rc = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
    if (rc < 0) fail(av::error_text(rc));
    packet_->stream_index = stream_->index;
    if (cfr_) packet_->duration = av_rescale_q(1, av_inv_q(rate_), encoder_->time_base);
    av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
    rc = av_interleaved_write_frame(output_.get(), packet_.get());
    if (rc < 0) fail(av::error_text(rc));
    ++packets_;
  }
}

void FrameEncoder::drain(bool end) {
  for (;;) {
    const int rc = av_buffersink_get_frame(chain_.sink, filtered_.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
    if (rc < 0) fail(av::error_text(rc));
    if (!encoder_) open_codec(filtered_.get());
    AVFrame *f = filtered_.get();
    f->pts = sent_++;
    f->pict_type = AV_PICTURE_TYPE_NONE;
    f->quality = encoder_->global_quality;
    send(f);
    av_frame_unref(f);
  }
  if (end && encoder_) send(nullptr);
}

bool FrameEncoder::write(const seqfx::Image &img, bool check_alpha) {
  const av::OnSide side(av::Side::write);
  // The filters get the frame top row first, in a buffer of the pool. Its
  // alpha is looked at row by row while the row is at hand.
  av::Frame f = av::new_frame();
  f->format = AV_PIX_FMT_RGBA;
  f->width = width_;
  f->height = height_;
  f->buf[0] = av_buffer_pool_get(pool_.get());
  if (!f->buf[0]) fail("out of memory");
  f->data[0] = f->buf[0]->data;
  f->linesize[0] = linesize_;
  bool all_opaque = true;
  const std::size_t row = (std::size_t)width_ * 4;
  for (int y = 0; y < height_; ++y) {
    std::uint8_t *dst = f->data[0] + (std::ptrdiff_t)y * linesize_;
    std::memcpy(dst, img.rect() + (std::size_t)(height_ - 1 - y) * row, row);
    if (check_alpha && all_opaque) all_opaque = opaque(dst, (std::size_t)width_);
  }
  f->pts = pushed_++;
  f->sample_aspect_ratio = {0, 1};
  const int rc = av_buffersrc_add_frame_flags(chain_.source, f.get(), AV_BUFFERSRC_FLAG_PUSH);
  if (rc < 0) fail(av::error_text(rc));
  drain(false);
  if (av::complaints(av::Side::write) != complaints_) fail("");
  return all_opaque;
}

long FrameEncoder::finish() {
  const av::OnSide side(av::Side::write);
  int rc = av_buffersrc_add_frame(chain_.source, nullptr);
  if (rc < 0) fail(av::error_text(rc));
  drain(true);
  if (!encoder_) fail("no frame was rendered");
  rc = av_write_trailer(output_.get());
  if (rc < 0) fail(av::error_text(rc));
  if (output_->pb) {
    rc = avio_closep(&output_->pb);
    if (rc < 0) fail(av::error_text(rc));
  }
  if (av::complaints(av::Side::write) != complaints_) fail("");
  return packets_;
}

}  // namespace seqfx_cli
