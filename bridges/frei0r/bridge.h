// One seqfx module served as a frei0r plug-in. Each bridge plug-in file
// holds one Bridge, made for its module's name; the f0r_* entries forward
// to it.
#pragma once

#include "frame_clock.h"
#include "params.h"
#include "seqfx/facts.h"
#include "seqfx/image.h"
#include "seqfx/plugin.h"

#include "frei0r_api.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace seqfx::frei0r {

class Bridge;

// One frei0r instance: its own ParamBlock (over the shared copy of the
// module, or over a private copy when the module keeps state), its values
// as the host set them, its images and its frame count.
class Instance {
 public:
  unsigned width() const { return width_; }
  unsigned height() const { return height_; }
  Plugin &plugin() { return *plugin_; }
  bool private_copy() const { return own_lock_ != nullptr; }
  // True once the host was found calling it from two threads at once.
  bool sliced() const { return sliced_; }

 private:
  friend class Bridge;
  unsigned width_ = 0, height_ = 0;
  std::unique_ptr<Plugin> plugin_;
  std::unique_ptr<std::mutex> own_lock_;  // the private copy's lock
  std::mutex *module_lock_ = nullptr;     // the lock of the copy plugin_ uses

  std::mutex values_lock_;
  std::vector<ParamValue> values_;   // as set (what get returns)
  std::vector<ParamValue> applied_;  // as last written into the ParamBlock
  bool factor2_set_ = false;

  std::vector<Image> inputs_;
  std::unique_ptr<Image> out_;
  FrameClock clock_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> sliced_{false};
};

class Bridge {
 public:
  // `module` is the module's name; its file <module>.so is looked for in
  // `dirs`, in order.
  Bridge(std::string module, std::vector<std::string> dirs);

  // f0r_init / f0r_deinit: counted, so that hosts calling them once per
  // filter keep the module loaded while any filter uses it. init returns 1
  // on success, 0 (with a line on standard error) when the module cannot
  // be served.
  int init();
  void deinit();

  void plugin_info(f0r_plugin_info_t *info);
  void param_info(f0r_param_info_t *info, int index);

  // Null (with a line on standard error) on failure.
  Instance *construct(unsigned width, unsigned height);
  void destruct(Instance *inst);
  void set_param(Instance *inst, f0r_param_t param, int index);
  void get_param(Instance *inst, f0r_param_t param, int index);
  void update(Instance *inst, double time, const std::uint32_t *in1, const std::uint32_t *in2,
              const std::uint32_t *in3, std::uint32_t *out);

  // What the plug-in is (valid once metadata() succeeded).
  const std::string &frei0r_name() const { return frei0r_name_; }
  const std::vector<ParamSpec> &params() const { return specs_; }
  const ModuleFacts &facts() const { return facts_; }
  int inputs() const { return inputs_; }
  // Reads the module's table and facts once; false (with the reason in
  // error()) when the module cannot be loaded or cannot be bridged.
  bool metadata();
  const std::string &error() const { return error_; }

 private:
  std::unique_ptr<Plugin> load(bool private_copy);
  void report(const std::string &line) const;
  void pass_through(Instance *inst, const std::uint32_t *in1, std::uint32_t *out);

  std::string module_, path_;
  std::vector<std::string> dirs_;
  std::mutex registry_;      // loading, unloading, the init count, metadata
  std::mutex shared_lock_;   // every call into the shared copy of the module
  int refs_ = 0;
  std::unique_ptr<Plugin> shared_;  // holds the shared copy while refs_ > 0

  bool have_metadata_ = false;
  std::string error_;
  std::string frei0r_name_, explanation_;
  ModuleFacts facts_;
  int inputs_ = 1;
  std::vector<ParamSpec> specs_;
};

}  // namespace seqfx::frei0r
