// `seqfx render`: inputs from files, sequences or video, through one
// module frame by frame, into staged outputs.

#include "colour_notes.h"
#include "commands.h"
#include "effect.h"
#include "fit.h"
#include "frames.h"
#include "module_console.h"
#include "parallel.h"
#include "picture.h"
#include "progress.h"
#include "quiet.h"
#include "staging.h"
#include "video.h"

#include "seqfx/depth.h"
#include "seqfx/error.h"
#include "seqfx/facts.h"
#include "seqfx/modules.h"
#include "seqfx/texture.h"
#include "seqfx/values.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

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
  // True when frames must be got one after another from one thread (a
  // video); the others may be got in any order, from any thread.
  virtual bool ordered() const { return false; }
};

class StillSource : public Source {
 public:
  StillSource(const std::string &path, bool want_float, Space space)
      : pic_(read_picture(path, want_float, space)) {}
  Picture get(int) override {
    Picture p;
    p.image = copy_of(pic_.image);
    p.depth = pic_.depth;
    p.deep = pic_.deep;
    p.clipped = pic_.clipped;
    p.space = pic_.space;
    return p;
  }

 private:
  Picture pic_;
};

class SequenceSource : public Source {
 public:
  SequenceSource(const std::string &pattern, bool want_float, Space space = Space::Guess)
      : pattern_(pattern), want_float_(want_float), space_(space) {
    frame_name(pattern, 0);  // reports a malformed pattern
    frames_ = matching_frames(pattern);
    if (frames_.empty()) throw HostError("\"" + pattern + "\" matches no frame");
  }
  Picture get(int frame) override {
    const std::string path = frame_name(pattern_, frame);
    if (access(path.c_str(), F_OK) != 0)
      throw HostError("frame " + std::to_string(frame) + " of \"" + pattern_ + "\" is missing: no " + path);
    return read_picture(path, want_float_, space_);
  }
  std::vector<int> own_frames() override { return frames_; }

 private:
  std::string pattern_;
  bool want_float_;
  Space space_;
  std::vector<int> frames_;
};

class VideoSource : public Source {
 public:
  // The decoder starts before the probe and is told its answer after.
  explicit VideoSource(const std::string &path) : path_(path), reader_(path), info_(probe_video(path)) {
    reader_.expect(info_);
  }
  Picture get(int frame) override {
    Picture p;
    // Every byte comes from the stream; a frame cut short is never used.
    p.image = Image::unfilled(info_.width, info_.height);
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
  bool ordered() const override { return true; }
  const VideoInfo &info() const { return info_; }

 private:
  std::string path_;
  VideoReader reader_;
  VideoInfo info_;
};

// Float planes for strips read from 8-bit sources (video): value / 255,
// converted from sRGB into the run's float space.
void add_float_plane(Image &img, Space floats) {
  if (img.floatbuf()) return;
  float *f = img.add_floatbuf();
  for (std::size_t i = 0, n = img.pixels() * 4; i < n; ++i) f[i] = img.rect()[i] / 255.0f;
  convert(f, img.width(), img.height(), Space::Srgb, floats);
}

// After the effect: a float plane the module left untouched (all zero) is
// dropped, so that the output comes from rect; a module that wrote only
// floats gets rect filled from them (in sRGB) for 8-bit outputs.
void settle_float_output(Image &out, Space floats) {
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
  std::vector<float> shown(f, f + n);
  convert(shown.data(), out.width(), out.height(), floats, Space::Srgb);
  for (std::size_t i = 0; i < n; ++i) out.rect()[i] = to_byte(shown[i]);
}

std::unique_ptr<Source> open_source(const std::string &in, bool want_float, Space space) {
  if (is_video_name(in)) return std::make_unique<VideoSource>(in);
  if (is_pattern(in)) return std::make_unique<SequenceSource>(in, want_float, space);
  return std::make_unique<StillSource>(in, want_float, space);
}


// Where results go: a picture, a numbered picture per frame, or a video.
class Sink {
 public:
  Sink(const std::string &name, bool depth, bool overwrite, Staging &staging, const VideoOptions &video = {})
      : name_(name), depth_(depth), overwrite_(overwrite), staging_(staging), options_(video) {
    video_ = !depth && is_video_name(name);
    pattern_ = is_pattern(name);
    if (pattern_) frame_name(name, 0);
    if (!video_ && video.any())
      throw HostError("--codec, --crf, --quality, --pix-fmt and --no-audio are for video outputs, not " + name);
    if (video_) {
      check_encoding(name, video);
    } else if (depth ? !is_depth_format(name) : !is_picture_name(name)) {
      throw HostError("cannot write " + name + ": " +
                      (depth ? "depth is written to a float format (.exr, .tif, .pfm)"
                             : "no picture or video format by that name"));
    }
    if (!pattern_) refuse_existing(name);
    if (!video_ && !pattern_) temp_ = staging_.stage(name);  // reports a missing folder early
  }
  void check_frames(std::size_t count) const {
    if (count > 1 && !video_ && !pattern_)
      throw HostError(std::to_string(count) + " frames need a numbered output name like out_%04d.png" +
                      (depth_ ? "" : " or a video") + ", not " + name_);
  }
  bool video() const { return video_; }
  // The audio and subtitles a video output takes over from another video.
  void carry(const CarriedStreams &streams) { carried_ = carry_args(name_, streams); }
  // Stages every frame's picture before the run, so that workers can
  // write them at the same time.
  void prepare(const std::vector<int> &frames) {
    if (video_ || !pattern_) return;
    for (int f : frames) refuse_existing(frame_name(name_, f));
    for (int f : frames) paths_[f] = staging_.stage(frame_name(name_, f));
  }
  // Pictures may be put from any thread; video frames in order, from one.
  // Starts the video encoder for frames of this size; put does it on the
  // first frame otherwise. Started while the first frame is still being
  // decoded, its own start-up overlaps the reader's.
  void open(int width, int height, const std::string &rate) {
    if (!video_ || writer_) return;
    temp_ = staging_.stage(name_);
    writer_ = std::make_unique<VideoWriter>(temp_, name_, width, height, rate, options_, carried_);
  }
  void put(int frame, const Image &img, bool with_float, const std::string &rate, OutputColour colour = {}) {
    if (video_) {
      open(img.width(), img.height(), rate);
      writer_->write(img);
      return;
    }
    write_picture(path_for(frame), final_for(frame), img, with_float, colour);
  }
  void put_depth(int frame, const std::vector<float> &d, int w, int h) const {
    write_depth(path_for(frame), final_for(frame), d.data(), w, h);
  }
  void finish() {
    if (writer_) writer_->finish();
  }

 private:
  // Results replace files only when asked (-y), as ffmpeg does.
  void refuse_existing(const std::string &path) const {
    if (!overwrite_ && access(path.c_str(), F_OK) == 0)
      throw HostError(path + " exists: give -y to overwrite it");
  }
  std::string final_for(int frame) const { return pattern_ ? frame_name(name_, frame) : name_; }
  const std::string &path_for(int frame) const { return pattern_ ? paths_.at(frame) : temp_; }
  std::string name_;
  bool depth_, overwrite_, video_ = false, pattern_ = false;
  Staging &staging_;
  std::string temp_;
  std::map<int, std::string> paths_;  // a numbered output's staged files
  std::unique_ptr<VideoWriter> writer_;
  VideoOptions options_;
  std::vector<std::string> carried_;  // ffmpeg's options for them
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


// One frame on its way through the run: the inputs as read, then the
// result.
struct FrameWork {
  int number = 0;
  std::vector<Picture> in;    // one per strip
  std::vector<char> loaded;   // in[s] already read (the ordered sources)
  Image out{0, 0};
  Space floats = Space::Srgb;  // the space of the float planes (the first strip's)
};

// What every frame of a run shares; read-only while the workers run.
struct FrameSetup {
  const RenderOptions &o;
  std::vector<std::unique_ptr<Source>> &sources;
  // Camera distances onto depth values, by one range for the whole shot.
  std::optional<seqfx::DepthRange> range;

  // On the reading thread, in frame order: the strips that must be read
  // so (video).
  FrameWork read_ordered(int number) const {
    FrameWork w;
    w.number = number;
    w.in.resize(sources.size());
    w.loaded.assign(sources.size(), 0);
    for (std::size_t s = 0; s < sources.size(); ++s)
      if (sources[s]->ordered()) {
        w.in[s] = sources[s]->get(number);
        w.loaded[s] = 1;
      }
    return w;
  }
  // On a worker: the other strips.
  void read_rest(FrameWork &w) const {
    for (std::size_t s = 0; s < sources.size(); ++s)
      if (!w.loaded[s]) w.in[s] = sources[s]->get(w.number);
  }
};

// The frames of the run: --frames, else the --shot, else those of the
// first sequence or video, else 1. A shot must hold every frame rendered.
std::vector<int> frames_to_render(const RenderOptions &o, std::vector<std::unique_ptr<Source>> &sources) {
  std::vector<int> frames;
  if (o.frames_given) {
    for (int f = o.first; f <= o.last; ++f) frames.push_back(f);
  } else if (o.shot_given) {
    for (int f = o.shot_first; f <= o.shot_last; ++f) frames.push_back(f);
  } else {
    for (auto &s : sources) {
      frames = s->own_frames();
      if (!frames.empty()) break;
    }
    if (frames.empty()) frames.push_back(1);
  }
  if (o.shot_given && (frames.front() < o.shot_first || frames.back() > o.shot_last))
    throw HostError("frames " + std::to_string(frames.front()) + "-" + std::to_string(frames.back()) +
                    " reach outside the shot " + std::to_string(o.shot_first) + "-" +
                    std::to_string(o.shot_last) + " (--shot)");
  return frames;
}

// Where frame k stands in the factor ramp: 0 at the first frame of the
// shot, 1 at its last. Without --shot the frames rendered are the shot.
double frame_position(const RenderOptions &o, const std::vector<int> &frames, std::size_t k) {
  if (o.shot_given)
    return o.shot_last > o.shot_first
               ? (double)(frames[k] - o.shot_first) / (double)(o.shot_last - o.shot_first)
               : 0.0;
  return frames.size() > 1 ? (double)k / (double)(frames.size() - 1) : 0.0;
}

// The depth range: --depth-range, else that of the first strip carrying
// depth on the shot's first frame (the first frame rendered without
// --shot), so that every part of a shot maps depth alike. Nothing when
// that frame carries no depth.
std::optional<seqfx::DepthRange> depth_range_of(const RenderOptions &o,
                                                std::vector<std::unique_ptr<Source>> &sources,
                                                const std::vector<int> &frames) {
  if (o.depth_range_given) return o.depth_range;
  const int ref = o.shot_given ? o.shot_first : frames.front();
  for (std::size_t s = 0; s < sources.size(); ++s) {
    std::vector<float> d;
    if (s == 0 && !o.depth_file.empty()) {
      int w, h;
      if (auto *v = dynamic_cast<VideoSource *>(sources[s].get())) {
        w = v->info().width;
        h = v->info().height;
      } else {
        const Picture p = sources[s]->get(ref);
        w = p.image.width();
        h = p.image.height();
      }
      d = read_depth(frame_name(o.depth_file, ref), w, h);
    } else if (!sources[s]->ordered()) {
      d = sources[s]->get(ref).depth;
    }
    if (!d.empty()) return seqfx::DepthRange::of(d.data(), d.size());
  }
  return std::nullopt;
}

// Refuses inputs that do not give the module what its manifest declares it
// needs; for a module without one the needs are guesses, so a mismatch is
// only a warning.
void check_inputs(const seqfx::Plugin &plugin, const RenderOptions &o, std::vector<std::unique_ptr<Source>> &sources,
                  const std::vector<int> &frames) {
  const seqfx::ModuleFacts facts = seqfx::module_facts(plugin);
  Offer offer;
  offer.strips = (int)o.inputs.size();
  offer.float_pixels = o.use_float;
  // Reading the first frame for its depth costs a read, so only when asked.
  offer.depth = !o.depth_file.empty() ||
                (facts.needs_depth && !sources[0]->ordered() && !sources[0]->get(frames.front()).depth.empty());
  const FitReport fit = check_fit(plugin.module_name(), facts, offer);
  for (const std::string &fault : fit.faults) {
    if (facts.declared) throw HostError(fault);
    std::fprintf(stderr, "seqfx: warning: %s (a guess: the module has no manifest)\n", fault.c_str());
  }
  for (const std::string &note : fit.notes) std::fprintf(stderr, "seqfx: %s\n", note.c_str());
}

// Renders one frame whose inputs are all read.
Image render_frame(Effect &effect, const FrameSetup &setup, FrameWork &w, double position) {
  const RenderOptions &o = setup.o;
  std::vector<Image> strips;
  std::vector<std::vector<float>> depths;
  // Float planes are handed over in one space: the first strip's.
  w.floats = w.in[0].space;
  for (std::size_t s = 0; s < w.in.size(); ++s) {
    Picture &p = w.in[s];
    if (s == 0 && !o.depth_file.empty())
      p.depth = read_depth(frame_name(o.depth_file, w.number), p.image.width(), p.image.height());
    if (s > 0 && (p.image.width() != strips[0].width() || p.image.height() != strips[0].height()))
      throw HostError("inputs of different sizes: " + o.inputs[0] + " is " +
                      size_text(strips[0].width(), strips[0].height()) + ", " + o.inputs[s] + " is " +
                      size_text(p.image.width(), p.image.height()));
    if (o.use_float) {
      if (p.image.floatbuf())
        convert(p.image.floatbuf(), p.image.width(), p.image.height(), p.space, w.floats);
      add_float_plane(p.image, w.floats);
    }
    strips.push_back(std::move(p.image));
    depths.push_back(std::move(p.depth));
  }
  for (std::size_t s = 0; s < strips.size(); ++s) {
    if (depths[s].empty()) continue;
    if (!setup.range)
      throw HostError("frame " + std::to_string(w.number) +
                      " carries depth but the first frame of the shot does not, so the depth range is "
                      "unknown: give --depth-range NEAR:FAR");
    int *z = strips[s].add_zbuf();
    for (std::size_t i = 0; i < depths[s].size(); ++i) z[i] = setup.range->to_z(depths[s][i]);
  }

  Image out(strips[0].width(), strips[0].height());
  if (o.use_float) out.add_floatbuf();
  Frame frame;
  frame.number = w.number;
  frame.factor0 = o.factor0_at(position);
  frame.factor1 = o.factor1_at(position);
  frame.strips = &strips;
  frame.out = &out;
  effect.run(frame);
  settle_float_output(out, w.floats);
  return out;
}

void write_depth_out(const Sink &sink, const seqfx::Plugin &plugin, const std::optional<seqfx::DepthRange> &range,
                     const FrameWork &w) {
  if (!w.out.zbuf())
    throw HostError(plugin.module_name() + " attached no depth plane to its output (frame " +
                    std::to_string(w.number) + "), so --depth-out has nothing to write");
  const seqfx::DepthRange r = range.value_or(seqfx::DepthRange());
  std::vector<float> d(w.out.pixels());
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = (float)r.to_distance(w.out.zbuf()[i]);
  sink.put_depth(w.number, d, w.out.width(), w.out.height());
}

// How many workers render: -j, else every usable core, never more than
// frames. A module that keeps state between frames (or declares nothing,
// so may) renders in order on one worker, and the user is told once.
int worker_count(const RenderOptions &o, const seqfx::Plugin &plugin, std::size_t frames) {
  const int asked = o.jobs > 0 ? o.jobs : usable_cores();
  if (asked <= 1 || frames <= 1) return 1;
  const seqfx::ModuleFacts facts = seqfx::module_facts(plugin);
  std::string why;
  if (!facts.declared)
    why = plugin.module_name() + " declares no facts, so it may keep state between frames";
  else if (facts.keeps_state)
    why = plugin.module_name() + " keeps state between frames";
  else if (!o.texture_from.empty())
    why = "--texture-from shades the texture of one loaded module";
  if (!why.empty()) {
    std::fprintf(stderr, "seqfx: %s: its frames are rendered in order on one worker\n", why.c_str());
    return 1;
  }
  return (int)std::min<std::size_t>((std::size_t)asked, frames);
}

// A private copy of the module for another worker, set up like the first.
std::unique_ptr<seqfx::Plugin> private_copy(const Global &g, const RenderOptions &o) {
  Silence silence(true);  // the first copy has shown its start-up lines
  seqfx::LoadOptions lo;
  lo.independent = true;
  std::unique_ptr<seqfx::Plugin> p = seqfx::Plugin::load(seqfx::locate_module(g.module_dirs, o.module), lo);
  for (const std::string &s : o.sets) seqfx::apply_assignment(*p, s);
  return p;
}

// Lines a module prints while rendering a frame belong to that frame.
class FrameLines {
 public:
  FrameLines(ModuleConsole &console, int frame) : console_(console), frame_(frame) { console_.begin_frame(frame_); }
  ~FrameLines() { console_.end_frame(frame_); }
  FrameLines(const FrameLines &) = delete;
  FrameLines &operator=(const FrameLines &) = delete;

 private:
  ModuleConsole &console_;
  int frame_;
};

}  // namespace

int cmd_render(const Global &g, const RenderOptions &o) {
  if (o.inputs.empty()) throw HostError("render needs an input: -i FILE");
  if (o.output.empty()) throw HostError("render needs an output: -o FILE");
  // The modules' console is taken for the whole run, loading included
  // (workers print at any moment); the progress bar keeps the real stderr.
  // Lines are named by the module's file name, as `list` shows it.
  std::string shown = o.module.substr(o.module.find_last_of('/') + 1);
  if (shown.size() > 3 && shown.compare(shown.size() - 3, 3, ".so") == 0) shown.resize(shown.size() - 3);
  ModuleConsole console(shown, g.quiet     ? ModuleConsole::Mode::Silent
                               : g.verbose ? ModuleConsole::Mode::Live
                                           : ModuleConsole::Mode::Summary);
  std::unique_ptr<seqfx::Plugin> plugin = load_module(g, o.module);
  for (const std::string &s : o.sets) seqfx::apply_assignment(*plugin, s);

  Staging staging;
  Sink sink(o.output, false, o.overwrite, staging, o.video);
  std::unique_ptr<Sink> depth_sink;
  if (!o.depth_out.empty()) depth_sink = std::make_unique<Sink>(o.depth_out, true, o.overwrite, staging);

  std::vector<std::unique_ptr<Source>> sources;
  for (std::size_t s = 0; s < o.inputs.size(); ++s)
    sources.push_back(open_source(o.inputs[s], o.use_float, o.input_space(s)));
  if (!o.depth_file.empty()) {
    if (is_pattern(o.depth_file)) {
      SequenceSource probe(o.depth_file, false);  // reports a pattern without frames
    } else if (access(o.depth_file.c_str(), R_OK) != 0) {
      throw HostError("cannot read " + o.depth_file + ": " + std::strerror(errno));
    }
  }

  const std::vector<int> frames = frames_to_render(o, sources);
  check_inputs(*plugin, o, sources, frames);
  sink.check_frames(frames.size());
  if (depth_sink) depth_sink->check_frames(frames.size());
  sink.prepare(frames);
  if (depth_sink) depth_sink->prepare(frames);

  std::string rate = o.fps.empty() ? "25" : o.fps;
  if (o.fps.empty())
    for (auto &s : sources)
      if (auto *v = dynamic_cast<VideoSource *>(s.get())) {
        rate = v->info().rate;
        break;
      }
  // The first input's audio and subtitles, over the span of it rendered.
  if (auto *v = dynamic_cast<VideoSource *>(sources.front().get()); v && sink.video() && !o.video.no_audio)
    sink.carry({o.inputs.front(), (frames.front() - 1) / v->info().fps, (double)frames.size() / fps_of(rate),
                v->info().others});

  for (auto &s : sources)
    if (auto *v = dynamic_cast<VideoSource *>(s.get())) {
      const std::size_t pixels = (std::size_t)v->info().width * v->info().height;
      keep_frame_memory(pixels * (o.use_float ? 4 * sizeof(float) : 4));
      break;
    }

  FrameSetup setup{o, sources, depth_range_of(o, sources, frames)};
  const int workers = worker_count(o, *plugin, frames.size());
  std::vector<std::unique_ptr<seqfx::Plugin>> copies;  // workers 1.. render on private copies
  std::vector<Effect> effects(workers);
  for (int i = 0; i < workers; ++i) {
    if (i > 0) copies.push_back(private_copy(g, o));
    effects[i].plugin = i == 0 ? plugin.get() : copies.back().get();
  }
  if (!o.texture_from.empty()) effects[0].before.push_back(texture_from_mask(g, *plugin, o));

  // Notes on what the module cannot take go where the progress bar goes:
  // the real standard error, whatever the modules' console does.
  const seqfx::ModuleFacts facts = seqfx::module_facts(*plugin);
  const bool reads_float = o.use_float && (facts.uses_float || !facts.declared);
  ColourNotes notes(plugin->module_name(), o.inputs, !reads_float, console.host_stream());
  Progress progress((long)frames.size(), frames.size() > 1, console.host_stream());
  // Frames are the first strip's size, which a video tells before its first frame.
  if (auto *v = dynamic_cast<VideoSource *>(sources.front().get()))
    sink.open(v->info().width, v->info().height, rate);
  OrderedRun<FrameWork>::run(
      frames.size(), workers, 2 * (std::size_t)workers + 2,
      [&](std::size_t k) { return setup.read_ordered(frames[k]); },
      [&](int worker, std::size_t k, FrameWork &w) {
        setup.read_rest(w);
        for (std::size_t s = 0; s < w.in.size(); ++s) notes.saw(s, w.in[s].deep, w.in[s].clipped);
        FrameLines lines(console, w.number);
        w.out = render_frame(effects[worker], setup, w, frame_position(o, frames, k));
        if (o.alpha_opaque) make_opaque(w.out);
        // Pictures are written by the workers into their own files; a
        // video is written by the taker, in frame order.
        if (!sink.video()) sink.put(w.number, w.out, o.use_float, rate, {w.floats, o.output_space});
        if (depth_sink) write_depth_out(*depth_sink, *plugin, setup.range, w);
      },
      [&](std::size_t, FrameWork &w) {
        if (sink.video()) sink.put(w.number, w.out, o.use_float, rate);
        progress.step();
      });
  progress.finish();
  sink.finish();
  if (depth_sink) depth_sink->finish();
  staging.commit();
  console.finish();
  return 0;
}

}  // namespace seqfx_cli
