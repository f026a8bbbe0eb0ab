#include "peer_av.h"

#ifdef SEQFX_PEERS_HAVE_AV

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace peers {

bool av_available() { return true; }

std::string av_version() {
  const unsigned v = avfilter_version();
  return "libavfilter " + std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 255) + "." +
         std::to_string(v & 255);
}

namespace {

struct FrameFree {
  void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

FramePtr frame_in(AVPixelFormat fmt, int width, int height) {
  FramePtr f(av_frame_alloc());
  if (!f) return nullptr;
  f->format = fmt;
  f->width = width;
  f->height = height;
  if (av_frame_get_buffer(f.get(), 0) < 0) return nullptr;
  return f;
}

// Converts the RGBA picture into a frame of the given format.
FramePtr converted(const unsigned char *rgba, AVPixelFormat fmt, int width, int height) {
  FramePtr f = frame_in(fmt, width, height);
  SwsContext *sws = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, fmt, SWS_POINT,
                                   nullptr, nullptr, nullptr);
  if (!f || !sws) {
    sws_freeContext(sws);
    return nullptr;
  }
  const uint8_t *src[4] = {rgba, nullptr, nullptr, nullptr};
  const int stride[4] = {4 * width, 0, 0, 0};
  sws_scale(sws, src, stride, 0, height, f->data, f->linesize);
  sws_freeContext(sws);
  return f;
}

class AvPeer : public Peer {
 public:
  ~AvPeer() override { avfilter_graph_free(&graph_); }
  void run() override {
    ++pts_;
    for (size_t i = 0; i < src_.size(); ++i) {
      in_[i]->pts = pts_;
      if (av_buffersrc_add_frame_flags(src_[i], in_[i].get(), AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        ++errors_;
    }
    while (av_buffersink_get_frame(sink_, out_.get()) >= 0) av_frame_unref(out_.get());
  }
  std::string name() const override { return "ffmpeg " + filters_ + " (" + native_ + ")"; }

  std::string filters_, native_;
  AVFilterGraph *graph_ = nullptr;
  std::vector<AVFilterContext *> src_;
  AVFilterContext *sink_ = nullptr;
  std::vector<FramePtr> in_;
  FramePtr out_{av_frame_alloc()};
  int64_t pts_ = 0;
  int errors_ = 0;
};

class ConvertPeer : public Peer {
 public:
  ~ConvertPeer() override {
    sws_freeContext(to_);
    sws_freeContext(back_);
  }
  void run() override {
    const uint8_t *src[4] = {rgba_, nullptr, nullptr, nullptr};
    const int stride[4] = {4 * width_, 0, 0, 0};
    sws_scale(to_, src, stride, 0, height_, native_->data, native_->linesize);
    sws_scale(back_, native_->data, native_->linesize, 0, height_, back_frame_->data,
              back_frame_->linesize);
  }
  std::string name() const override { return "swscale rgba<->" + fmt_; }

  std::string fmt_;
  int width_ = 0, height_ = 0;
  const unsigned char *rgba_ = nullptr;
  SwsContext *to_ = nullptr, *back_ = nullptr;
  FramePtr native_, back_frame_;
};

}  // namespace

std::unique_ptr<Peer> make_av(const std::string &filters, const std::string &native, int inputs,
                              int width, int height, const unsigned char *const rgba[3],
                              std::string &why) {
  const AVPixelFormat fmt = av_get_pix_fmt(native.c_str());
  if (fmt == AV_PIX_FMT_NONE) {
    why = "unknown pixel format " + native;
    return nullptr;
  }
  auto p = std::make_unique<AvPeer>();
  p->filters_ = filters;
  p->native_ = native;
  p->graph_ = avfilter_graph_alloc();
  if (!p->graph_) {
    why = "out of memory";
    return nullptr;
  }
  p->graph_->nb_threads = 1;
  std::string desc, pads;
  for (int i = 0; i < inputs; ++i) {
    desc += "buffer=video_size=" + std::to_string(width) + "x" +
            std::to_string(height) + ":pix_fmt=" + native + ":time_base=1/25:pixel_aspect=1/1 [i" +
            std::to_string(i) + "]; ";
    pads += "[i" + std::to_string(i) + "]";
  }
  desc += pads + " " + filters + " [o]; [o] buffersink";
  AVFilterInOut *ins = nullptr, *outs = nullptr;
  const int rc = avfilter_graph_parse2(p->graph_, desc.c_str(), &ins, &outs);
  const bool open = ins || outs;
  avfilter_inout_free(&ins);
  avfilter_inout_free(&outs);
  if (rc < 0 || open || avfilter_graph_config(p->graph_, nullptr) < 0) {
    why = "cannot set up the graph: " + desc;
    return nullptr;
  }
  // Sources and sink in the order the description creates them.
  for (unsigned i = 0; i < p->graph_->nb_filters; ++i) {
    AVFilterContext *f = p->graph_->filters[i];
    const std::string kind = f->filter->name;
    if (kind == "buffer") p->src_.push_back(f);
    if (kind == "buffersink") p->sink_ = f;
  }
  for (int i = 0; i < inputs; ++i) {
    p->in_.push_back(converted(rgba[i], fmt, width, height));
    if ((int)p->src_.size() != inputs || !p->in_.back()) {
      why = "cannot set up the sources";
      return nullptr;
    }
  }
  if (!p->sink_ || !p->out_) {
    why = "cannot set up the sink";
    return nullptr;
  }
  return p;
}

std::unique_ptr<Peer> make_av_convert(const std::string &native, int width, int height,
                                      const unsigned char *rgba, std::string &why) {
  const AVPixelFormat fmt = av_get_pix_fmt(native.c_str());
  if (fmt == AV_PIX_FMT_NONE || fmt == AV_PIX_FMT_RGBA) return nullptr;
  auto p = std::make_unique<ConvertPeer>();
  p->fmt_ = native;
  p->width_ = width;
  p->height_ = height;
  p->rgba_ = rgba;
  p->to_ = sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, fmt, SWS_POINT, nullptr,
                          nullptr, nullptr);
  p->back_ = sws_getContext(width, height, fmt, width, height, AV_PIX_FMT_RGBA, SWS_POINT, nullptr,
                            nullptr, nullptr);
  p->native_ = frame_in(fmt, width, height);
  p->back_frame_ = frame_in(AV_PIX_FMT_RGBA, width, height);
  if (!p->to_ || !p->back_ || !p->native_ || !p->back_frame_) {
    why = "cannot set up the conversion to " + native;
    return nullptr;
  }
  return p;
}

}  // namespace peers

#else

namespace peers {

bool av_available() { return false; }
std::string av_version() { return ""; }

std::unique_ptr<Peer> make_av(const std::string &, const std::string &, int, int, int,
                              const unsigned char *const[3], std::string &why) {
  why = "built without libavfilter";
  return nullptr;
}

std::unique_ptr<Peer> make_av_convert(const std::string &, int, int, const unsigned char *,
                                      std::string &why) {
  why = "built without libavfilter";
  return nullptr;
}

}  // namespace peers

#endif
