#include "bridge.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>

namespace seqfx::frei0r {

namespace {

// frei0r frames run top row first, module images bottom row first.
void flip_rows(const void *src, unsigned char *dst, unsigned width, unsigned height) {
  const std::size_t row = (std::size_t)width * 4;
  const unsigned char *s = static_cast<const unsigned char *>(src);
  for (unsigned y = 0; y < height; ++y)
    std::memcpy(dst + (std::size_t)(height - 1 - y) * row, s + (std::size_t)y * row, row);
}

double limit01(double d) { return d >= 0 ? (d > 1 ? 1 : d) : 0; }

}  // namespace

Bridge::Bridge(std::string module, std::vector<std::string> dirs)
    : module_(std::move(module)), dirs_(std::move(dirs)), frei0r_name_("seqfx_" + module_) {}

void Bridge::report(const std::string &line) const {
  std::fprintf(stderr, "%s: %s\n", frei0r_name_.c_str(), line.c_str());
  std::fflush(stderr);
}

// Called with registry_ held.
std::unique_ptr<Plugin> Bridge::load(bool private_copy) {
  LoadOptions opts;
  opts.independent = private_copy;
  if (private_copy) return Plugin::load(path_, opts);
  std::lock_guard<std::mutex> module(shared_lock_);  // getinfo and init run in the shared copy
  return Plugin::load(path_, opts);
}

bool Bridge::metadata() {
  std::lock_guard<std::mutex> reg(registry_);
  if (have_metadata_) return error_.empty();
  have_metadata_ = true;
  for (const std::string &d : dirs_) {
    const std::string p = d + "/" + module_ + ".so";
    if (access(p.c_str(), R_OK) == 0) {
      path_ = p;
      break;
    }
  }
  if (path_.empty()) {
    error_ = "cannot find the seqfx module " + module_ + ".so (looked in";
    for (const std::string &d : dirs_) error_ += " " + d;
    error_ += ")";
    return false;
  }
  try {
    std::unique_ptr<Plugin> p = load(false);
    facts_ = module_facts(*p);
    specs_ = describe(*p);
    explanation_ = facts_.description.empty() ? p->display_name() : facts_.description;
    std::lock_guard<std::mutex> module(shared_lock_);
    p.reset();
  } catch (const std::exception &e) {
    error_ = e.what();
    return false;
  }
  if (facts_.needs_depth)
    error_ = module_ + " needs a depth plane, which frei0r hosts do not give";
  else if (facts_.uses_float)
    error_ = module_ + " works on float pixels, which this bridge does not give";
  else if (facts_.strips_needed > 3)
    error_ = module_ + " needs more than three inputs";
  inputs_ = facts_.strips_needed < 1 ? 1 : facts_.strips_needed;
  return error_.empty();
}

int Bridge::init() {
  if (!metadata()) {
    report(error_);
    return 0;
  }
  std::lock_guard<std::mutex> reg(registry_);
  if (refs_ == 0) {
    try {
      shared_ = load(false);
    } catch (const std::exception &e) {
      report(e.what());
      return 0;
    }
  }
  ++refs_;
  return 1;
}

void Bridge::deinit() {
  std::lock_guard<std::mutex> reg(registry_);
  if (refs_ == 0) return;
  if (--refs_ == 0) {
    std::lock_guard<std::mutex> module(shared_lock_);
    shared_.reset();
  }
}

void Bridge::plugin_info(f0r_plugin_info_t *info) {
  if (!info) return;
  const bool ok = metadata();
  info->name = frei0r_name_.c_str();
  info->author = "seqfx";
  info->plugin_type = inputs_ == 3   ? F0R_PLUGIN_TYPE_MIXER3
                      : inputs_ == 2 ? F0R_PLUGIN_TYPE_MIXER2
                                     : F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 0;
  info->minor_version = 1;
  info->num_params = ok ? (int)specs_.size() : 0;
  info->explanation = ok ? explanation_.c_str() : error_.c_str();
}

void Bridge::param_info(f0r_param_info_t *info, int index) {
  if (!info || !metadata() || index < 0 || index >= (int)specs_.size()) return;
  const ParamSpec &s = specs_[(std::size_t)index];
  info->name = s.name.c_str();
  info->type = s.type;
  info->explanation = s.explanation.c_str();
}

Instance *Bridge::construct(unsigned width, unsigned height) {
  if (!metadata()) {
    report(error_);
    return nullptr;
  }
  if (width < 1 || height < 1 || width > 32767 || height > 32767) {
    report("frame size " + std::to_string(width) + "x" + std::to_string(height) +
           " is outside 1x1 to 32767x32767");
    return nullptr;
  }
  std::unique_ptr<Instance> inst(new Instance());
  inst->width_ = width;
  inst->height_ = height;
  try {
    std::lock_guard<std::mutex> reg(registry_);
    // A module that keeps state gets a copy of its own, so that two clips
    // never share it; the others share one copy, called under one lock.
    inst->plugin_ = load(facts_.keeps_state);
    if (facts_.keeps_state) inst->own_lock_.reset(new std::mutex());
    inst->module_lock_ = facts_.keeps_state ? inst->own_lock_.get() : &shared_lock_;
    for (int k = 0; k < inputs_; ++k) inst->inputs_.emplace_back((int)width, (int)height);
    inst->out_.reset(new Image((int)width, (int)height));
    for (const ParamSpec &s : specs_) inst->values_.push_back(default_value(*inst->plugin_, s));
    inst->applied_ = inst->values_;
  } catch (const std::exception &e) {
    report(e.what());
    destruct(inst.release());
    return nullptr;
  }
  return inst.release();
}

void Bridge::destruct(Instance *inst) {
  if (!inst) return;
  std::lock_guard<std::mutex> reg(registry_);
  if (inst->private_copy()) {
    inst->plugin_.reset();
  } else {
    std::lock_guard<std::mutex> module(shared_lock_);
    inst->plugin_.reset();
  }
  delete inst;
}

void Bridge::set_param(Instance *inst, f0r_param_t param, int index) {
  if (!inst || !param || index < 0 || index >= (int)specs_.size()) return;
  const ParamSpec &s = specs_[(std::size_t)index];
  std::lock_guard<std::mutex> lock(inst->values_lock_);
  ParamValue &v = inst->values_[(std::size_t)index];
  switch (s.type) {
    case F0R_PARAM_BOOL:
    case F0R_PARAM_DOUBLE: v.number = *static_cast<const double *>(param); break;
    case F0R_PARAM_COLOR: v.colour = *static_cast<const f0r_param_color_t *>(param); break;
    case F0R_PARAM_STRING: {
      const char *text = *static_cast<char *const *>(param);
      v.text = text ? text : "";
      break;
    }
    default: return;
  }
  if (s.extra == Extra::Factor2) inst->factor2_set_ = true;
}

void Bridge::get_param(Instance *inst, f0r_param_t param, int index) {
  if (!inst || !param || index < 0 || index >= (int)specs_.size()) return;
  const ParamSpec &s = specs_[(std::size_t)index];
  std::lock_guard<std::mutex> lock(inst->values_lock_);
  const ParamValue *v = &inst->values_[(std::size_t)index];
  if (s.extra == Extra::Factor2 && !inst->factor2_set_)
    for (std::size_t i = 0; i < specs_.size(); ++i)
      if (specs_[i].extra == Extra::Factor) v = &inst->values_[i];
  switch (s.type) {
    case F0R_PARAM_BOOL:
    case F0R_PARAM_DOUBLE: *static_cast<double *>(param) = v->number; break;
    case F0R_PARAM_COLOR: *static_cast<f0r_param_color_t *>(param) = v->colour; break;
    case F0R_PARAM_STRING: *static_cast<const char **>(param) = v->text.c_str(); break;
    default: break;
  }
}

void Bridge::pass_through(Instance *inst, const std::uint32_t *in1, std::uint32_t *out) {
  if (in1 && out && in1 != out)
    std::memmove(out, in1, (std::size_t)inst->width_ * inst->height_ * 4);
}

void Bridge::update(Instance *inst, double time, const std::uint32_t *in1, const std::uint32_t *in2,
                    const std::uint32_t *in3, std::uint32_t *out) {
  if (!inst || !out) return;
  if (inst->sliced_) return pass_through(inst, in1, out);
  if (inst->busy_.exchange(true)) {
    // Another thread is inside this very instance: the host slices frames.
    if (!inst->sliced_.exchange(true))
      report("one instance is called from several threads at once (sliced rendering); this "
             "effect cannot be sliced, so its frames pass through unchanged: render it "
             "without slice threads");
    return pass_through(inst, in1, out);
  }
  struct Idle {
    std::atomic<bool> &busy;
    ~Idle() { busy = false; }
  } idle{inst->busy_};

  if (!in1) {
    report("no input frame");
    return;
  }
  const unsigned w = inst->width_, h = inst->height_;
  const std::uint32_t *ins[3] = {in1, in2, in3};
  Image *strips[3] = {nullptr, nullptr, nullptr};
  for (std::size_t k = 0; k < inst->inputs_.size(); ++k) {
    if (!ins[k]) continue;  // the module sees that strip missing
    flip_rows(ins[k], inst->inputs_[k].rect(), w, h);
    strips[k] = &inst->inputs_[k];
  }

  std::vector<ParamValue> values;
  bool factor2_set;
  {
    std::lock_guard<std::mutex> lock(inst->values_lock_);
    values = inst->values_;
    factor2_set = inst->factor2_set_;
  }
  double factor = 0, factor2 = 0, rate = 0.025;
  bool in_ms = false;
  for (std::size_t i = 0; i < specs_.size(); ++i) {
    switch (specs_[i].extra) {
      case Extra::Factor: factor = limit01(values[i].number); break;
      case Extra::Factor2: factor2 = limit01(values[i].number); break;
      case Extra::FrameRate: rate = values[i].number; break;
      case Extra::TimeInMs: in_ms = values[i].number >= 0.5; break;
      case Extra::None: break;
    }
  }
  if (!factor2_set) factor2 = factor;
  const float frame = inst->clock_.next(time, frames_per_second(rate), in_ms);

  Image &result = *inst->out_;
  try {
    std::lock_guard<std::mutex> module(*inst->module_lock_);
    // Only values the host changed reach the module, so that what a module
    // writes back into its own slots stays until the host sets them anew.
    for (std::size_t i = 0; i < specs_.size(); ++i) {
      if (specs_[i].row < 0 || values[i] == inst->applied_[i]) continue;
      inst->applied_[i] = values[i];
      try {
        apply(*inst->plugin_, specs_[i], values[i]);
      } catch (const std::exception &e) {
        report(specs_[i].name + ": " + e.what());
      }
    }
    result.drop_zbuf();
    std::memset(result.rect(), 0, result.pixels() * 4);
    inst->plugin_->render(frame, (float)factor, (float)factor2, *strips[0], strips[1], result,
                          strips[2]);
  } catch (const std::exception &e) {
    report(e.what());
    return pass_through(inst, in1, out);
  }
  flip_rows(result.rect(), reinterpret_cast<unsigned char *>(out), w, h);
}

}  // namespace seqfx::frei0r
