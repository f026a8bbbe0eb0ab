// `seqfx render`: inputs from files, sequences or video, through one
// module frame by frame, into staged outputs.

#include "commands.h"
#include "effect.h"
#include "frames.h"
#include "picture.h"
#include "progress.h"
#include "quiet.h"
#include "staging.h"
#include "video.h"

#include "seqfx/depth.h"
#include "seqfx/error.h"
#include "seqfx/texture.h"
#include "seqfx/values.h"

#include <unistd.h>

#include <cstring>
#include <memory>

namespace seqfx_cli {

using seqfx::HostError;
using seqfx::Image;

namespace {

std::string size_text(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

Image copy_of(const Image &src) {
  Image img(src.width(), src.height());
  std::memcpy(img.rect(), src.rect(), src.pixels() * 4);
  if (src.floatbuf()) std::memcpy(img.add_floatbuf(), src.floatbuf(), src.pixels() * 4 * sizeof(float));
  return img;
}

// Where one strip's frames come from.
class Source {
 public:
  virtual ~Source() = default;
  virtual Picture get(int frame) = 0;
  // Frames it holds by itself (a sequence's files, a video's count);
  // empty for a still, which serves every frame.
  virtual std::vector<int> own_frames() { return {}; }
};

class StillSource : public Source {
 public:
  StillSource(const std::string &path, bool want_float) : pic_(read_picture(path, want_float)) {}
  Picture get(int) override {
    Picture p;
    p.image = copy_of(pic_.image);
    p.depth = pic_.depth;
    p.deep = pic_.deep;
    return p;
  }

 private:
  Picture pic_;
};

class SequenceSource : public Source {
 public:
  SequenceSource(const std::string &pattern, bool want_float) : pattern_(pattern), want_float_(want_float) {
    frame_name(pattern, 0);  // reports a malformed pattern
    frames_ = matching_frames(pattern);
    if (frames_.empty()) throw HostError("\"" + pattern + "\" matches no frame");
  }
  Picture get(int frame) override {
    const std::string path = frame_name(pattern_, frame);
    if (access(path.c_str(), F_OK) != 0)
      throw HostError("frame " + std::to_string(frame) + " of \"" + pattern_ + "\" is missing: no " + path);
    return read_picture(path, want_float_);
  }
  std::vector<int> own_frames() override { return frames_; }

 private:
  std::string pattern_;
  bool want_float_;
  std::vector<int> frames_;
};

class VideoSource : public Source {
 public:
  explicit VideoSource(const std::string &path) : path_(path), info_(probe_video(path)), reader_(path, info_) {}
  Picture get(int frame) override {
    Picture p;
    p.image = Image(info_.width, info_.height);
    if (frame <= reader_.count()) throw HostError(path_ + ": frames must be read in order");
    while (reader_.count() < frame)
      if (!reader_.read(p.image))
        throw HostError(path_ + " has only " + std::to_string(reader_.count()) + " frames, frame " +
                        std::to_string(frame) + " was asked for");
    return p;
  }
  std::vector<int> own_frames() override {
    std::vector<int> f;
    for (long i = 1; i <= info_.frames; ++i) f.push_back((int)i);
    return f;
  }
  const VideoInfo &info() const { return info_; }

 private:
  std::string path_;
  VideoInfo info_;
  VideoReader reader_;
};

// Float planes for strips read from 8-bit sources (video): value / 255.
void add_float_plane(Image &img) {
  if (img.floatbuf()) return;
  float *f = img.add_floatbuf();
  for (std::size_t i = 0, n = img.pixels() * 4; i < n; ++i) f[i] = img.rect()[i] / 255.0f;
}

// After the effect: a float plane the module left untouched (all zero) is
// dropped, so that the output comes from rect; a module that wrote only
// floats gets rect filled from them for 8-bit outputs.
void settle_float_output(Image &out) {
  const float *f = out.floatbuf();
  if (!f) return;
  const std::size_t n = out.pixels() * 4;
  bool written = false, rect_written = false;
  for (std::size_t i = 0; i < n && !written; ++i) written = f[i] != 0.0f;
  if (!written) {
    out.drop_floatbuf();
    return;
  }
  for (std::size_t i = 0; i < n && !rect_written; ++i) rect_written = out.rect()[i] != 0;
  if (rect_written) return;
  for (std::size_t i = 0; i < n; ++i) {
    const float v = f[i];
    out.rect()[i] = !(v > 0.0f) ? 0 : v >= 1.0f ? 255 : (unsigned char)(int)(v * 255.0f + 0.5f);
  }
}

std::unique_ptr<Source> open_source(const std::string &in, bool want_float) {
  if (is_video_name(in)) return std::make_unique<VideoSource>(in);
  if (is_pattern(in)) return std::make_unique<SequenceSource>(in, want_float);
  return std::make_unique<StillSource>(in, want_float);
}

// Where results go: a picture, a numbered picture per frame, or a video.
class Sink {
 public:
  Sink(const std::string &name, bool depth, Staging &staging) : name_(name), depth_(depth), staging_(staging) {
    video_ = !depth && is_video_name(name);
    pattern_ = is_pattern(name);
    if (pattern_) frame_name(name, 0);
    if (video_) {
      require_ffmpeg(name);
    } else if (depth ? !is_depth_format(name) : !is_picture_name(name)) {
      throw HostError("cannot write " + name + ": " +
                      (depth ? "depth is written to a float format (.exr, .tif, .pfm)"
                             : "no picture or video format by that name"));
    }
    if (!video_ && !pattern_) temp_ = staging_.stage(name);  // reports a missing folder early
  }
  void check_frames(std::size_t count) const {
    if (count > 1 && !video_ && !pattern_)
      throw HostError(std::to_string(count) + " frames need a numbered output name like out_%04d.png" +
                      (depth_ ? "" : " or a video") + ", not " + name_);
  }
  void put(int frame, const Image &img, bool with_float, const std::string &rate) {
    if (video_) {
      if (!writer_) {
        temp_ = staging_.stage(name_);
        writer_ = std::make_unique<VideoWriter>(temp_, name_, img.width(), img.height(), rate);
      }
      writer_->write(img);
      return;
    }
    write_picture(path_for(frame), final_for(frame), img, with_float);
  }
  void put_depth(int frame, const std::vector<float> &d, int w, int h) {
    write_depth(path_for(frame), final_for(frame), d.data(), w, h);
  }
  void finish() {
    if (writer_) writer_->finish();
  }

 private:
  std::string final_for(int frame) const { return pattern_ ? frame_name(name_, frame) : name_; }
  std::string path_for(int frame) {
    if (!pattern_) return temp_;
    return staging_.stage(frame_name(name_, frame));
  }
  std::string name_;
  bool depth_, video_ = false, pattern_ = false;
  Staging &staging_;
  std::string temp_;
  std::unique_ptr<VideoWriter> writer_;
};

// Stands in for a renderer that evaluates the module's texture role on
// every visible point: before each frame the texture is shaded at the
// mask's pixels whose alpha is above the threshold ("Alpha Threshold"), or
// not 0 ("Alpha!=0"). Both roles share the screen slot TexturNr.= of the
// sequence table, slot 0 when it is unset (-1).
FrameHook texture_from_mask(const Global &g, seqfx::Plugin &plugin, const RenderOptions &o) {
  std::shared_ptr<seqfx::Texture> tex;
  {
    Silence silence(g.quiet);
    tex = seqfx::Texture::beside(plugin);
    const int slot_row = plugin.find_row("TexturNr.=");
    if (plugin.int_slot(slot_row) < 0) plugin.set_value(slot_row, 0);
    tex->plugin().set_value("TexturNr.", plugin.int_slot(slot_row));
    if (o.texture_threshold_given) tex->plugin().set_value("a-threshold=", o.texture_threshold);
  }
  const int stype = tex->find_subtype(o.texture_threshold_given ? "Alpha Threshold" : "Alpha!=0");
  // A still mask serves every frame; a numbered one is read per frame.
  std::shared_ptr<Image> still;
  if (!is_pattern(o.texture_from))
    still = std::make_shared<Image>(read_picture(o.texture_from, false).image);
  return [=](Frame &f) {
    Image numbered(0, 0);
    if (!still) numbered = read_picture(frame_name(o.texture_from, f.number), false).image;
    Silence silence(g.quiet);
    seqfx::shade_from_mask(*tex, stype, still ? *still : numbered, o.texture_threshold);
  };
}

}  // namespace

int cmd_render(const Global &g, const RenderOptions &o) {
  if (o.inputs.empty()) throw HostError("render needs an input: -i FILE");
  if (o.output.empty()) throw HostError("render needs an output: -o FILE");
  std::unique_ptr<seqfx::Plugin> plugin = load_module(g, o.module);
  for (const std::string &s : o.sets) seqfx::apply_assignment(*plugin, s);

  Staging staging;
  Sink sink(o.output, false, staging);
  std::unique_ptr<Sink> depth_sink;
  if (!o.depth_out.empty()) depth_sink = std::make_unique<Sink>(o.depth_out, true, staging);

  std::vector<std::unique_ptr<Source>> sources;
  for (const std::string &in : o.inputs) sources.push_back(open_source(in, o.use_float));
  if (!o.depth_file.empty()) {
    if (is_pattern(o.depth_file)) {
      SequenceSource probe(o.depth_file, false);  // reports a pattern without frames
    } else if (access(o.depth_file.c_str(), R_OK) != 0) {
      throw HostError("cannot read " + o.depth_file + ": " + std::strerror(errno));
    }
  }

  // The frames: --frames, else those of the first sequence or video, else 1.
  std::vector<int> frames;
  if (o.frames_given) {
    for (int f = o.first; f <= o.last; ++f) frames.push_back(f);
  } else {
    for (auto &s : sources) {
      frames = s->own_frames();
      if (!frames.empty()) break;
    }
    if (frames.empty()) frames.push_back(1);
  }
  sink.check_frames(frames.size());
  if (depth_sink) depth_sink->check_frames(frames.size());

  std::string rate = o.fps.empty() ? "25" : o.fps;
  if (o.fps.empty())
    for (auto &s : sources)
      if (auto *v = dynamic_cast<VideoSource *>(s.get())) {
        rate = v->info().rate;
        break;
      }

  // Per-frame work before the effect call goes into effect.before.
  Effect effect;
  effect.plugin = plugin.get();
  effect.quiet = g.quiet;
  if (!o.texture_from.empty()) effect.before.push_back(texture_from_mask(g, *plugin, o));
  bool have_range = o.depth_range_given;
  seqfx::DepthRange range = o.depth_range;

  Progress progress((long)frames.size(), frames.size() > 1);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    const int number = frames[k];
    std::vector<Image> strips;
    std::vector<std::vector<float>> depths;
    for (std::size_t s = 0; s < sources.size(); ++s) {
      Picture p = sources[s]->get(number);
      if (s == 0 && !o.depth_file.empty())
        p.depth = read_depth(frame_name(o.depth_file, number), p.image.width(), p.image.height());
      if (s > 0 && (p.image.width() != strips[0].width() || p.image.height() != strips[0].height()))
        throw HostError("inputs of different sizes: " + o.inputs[0] + " is " +
                        size_text(strips[0].width(), strips[0].height()) + ", " + o.inputs[s] + " is " +
                        size_text(p.image.width(), p.image.height()));
      if (o.use_float) add_float_plane(p.image);
      strips.push_back(std::move(p.image));
      depths.push_back(std::move(p.depth));
    }
    // Depth: camera distances onto the zbuf, by one range for the whole run.
    for (std::size_t s = 0; s < strips.size(); ++s) {
      if (depths[s].empty()) continue;
      if (!have_range) {
        range = seqfx::DepthRange::of(depths[s].data(), depths[s].size());
        have_range = true;
      }
      int *z = strips[s].add_zbuf();
      for (std::size_t i = 0; i < depths[s].size(); ++i) z[i] = range.to_z(depths[s][i]);
    }

    Image out(strips[0].width(), strips[0].height());
    if (o.use_float) out.add_floatbuf();
    Frame frame;
    frame.number = number;
    const double t = frames.size() > 1 ? (double)k / (double)(frames.size() - 1) : 0.0;
    frame.factor0 = o.factor0_at(t);
    frame.factor1 = o.factor1_at(t);
    frame.strips = &strips;
    frame.out = &out;
    effect.run(frame);
    settle_float_output(out);

    sink.put(number, out, o.use_float, rate);
    if (depth_sink) {
      if (!out.zbuf())
        throw HostError(plugin->module_name() + " attached no depth plane to its output (frame " +
                        std::to_string(number) + "), so --depth-out has nothing to write");
      std::vector<float> d(out.pixels());
      for (std::size_t i = 0; i < d.size(); ++i) d[i] = (float)range.to_distance(out.zbuf()[i]);
      depth_sink->put_depth(number, d, out.width(), out.height());
    }
    progress.step();
  }
  progress.finish();
  sink.finish();
  if (depth_sink) depth_sink->finish();
  staging.commit();
  return 0;
}

}  // namespace seqfx_cli
