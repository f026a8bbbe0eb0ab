// The frei0r entry points of one bridge plug-in, seqfx_<module>.so. The
// module's name is compiled in (SEQFX_BRIDGE_MODULE); the module file is
// looked for beside this plug-in first, then in the folders the build
// compiled in (SEQFX_BRIDGE_MODULE_DIRS, colon-separated).
#include "bridge.h"

#include <dlfcn.h>

#include "frei0r_api.h"

namespace {

std::vector<std::string> module_dirs() {
  std::vector<std::string> dirs;
  Dl_info self{};
  if (dladdr(reinterpret_cast<void *>(&module_dirs), &self) && self.dli_fname) {
    std::string file = self.dli_fname;
    const std::size_t slash = file.find_last_of('/');
    dirs.push_back(slash == std::string::npos ? "." : file.substr(0, slash));
  }
  std::string list = SEQFX_BRIDGE_MODULE_DIRS;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find(':', start), list.size());
    if (end > start) dirs.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return dirs;
}

// Never destroyed: hosts may still hold instances while the process exits.
seqfx::frei0r::Bridge &bridge() {
  static seqfx::frei0r::Bridge *b = new seqfx::frei0r::Bridge(SEQFX_BRIDGE_MODULE, module_dirs());
  return *b;
}

seqfx::frei0r::Instance *as_instance(f0r_instance_t i) {
  return static_cast<seqfx::frei0r::Instance *>(i);
}

}  // namespace

// The entries are the only symbols the plug-in shows (see frei0r.map).
#define F0R_ENTRY __attribute__((visibility("default")))

extern "C" {

F0R_ENTRY int f0r_init(void) { return bridge().init(); }
F0R_ENTRY void f0r_deinit(void) { bridge().deinit(); }
F0R_ENTRY void f0r_get_plugin_info(f0r_plugin_info_t *info) { bridge().plugin_info(info); }
F0R_ENTRY void f0r_get_param_info(f0r_param_info_t *info, int index) { bridge().param_info(info, index); }
F0R_ENTRY f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  return bridge().construct(width, height);
}
F0R_ENTRY void f0r_destruct(f0r_instance_t instance) { bridge().destruct(as_instance(instance)); }
F0R_ENTRY void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  bridge().set_param(as_instance(instance), param, index);
}
F0R_ENTRY void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  bridge().get_param(as_instance(instance), param, index);
}
F0R_ENTRY void f0r_update(f0r_instance_t instance, double time, const uint32_t *in, uint32_t *out) {
  bridge().update(as_instance(instance), time, in, nullptr, nullptr, out);
}
F0R_ENTRY void f0r_update2(f0r_instance_t instance, double time, const uint32_t *in1, const uint32_t *in2,
                 const uint32_t *in3, uint32_t *out) {
  bridge().update(as_instance(instance), time, in1, in2, in3, out);
}

}  // extern "C"
