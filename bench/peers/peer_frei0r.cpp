#include "peer_frei0r.h"

#include <frei0r.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace peers {

std::string frei0r_dir() {
  if (const char *env = std::getenv("FREI0R_PATH")) {
    std::string p = env;
    return p.substr(0, p.find(':'));
  }
  for (const char *d : {"/usr/lib/x86_64-linux-gnu/frei0r-1", "/usr/lib/frei0r-1",
                        "/usr/local/lib/frei0r-1"}) {
    const std::string probe = std::string(d) + "/invert0r.so";
    if (void *h = dlopen(probe.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
      dlclose(h);
      return d;
    }
  }
  return "/usr/lib/frei0r-1";
}

namespace {

class Frei0rPeer : public Peer {
 public:
  ~Frei0rPeer() override {
    if (inst_) destruct_(inst_);
    if (deinit_) deinit_();
    if (handle_) dlclose(handle_);
  }
  void run() override {
    time_ += 1.0 / 25;
    if (type_ == F0R_PLUGIN_TYPE_FILTER)
      update_(inst_, time_, in_[0], out_.data());
    else
      update2_(inst_, time_, in_[0], in_[1], in_[2], out_.data());
  }
  std::string name() const override { return "frei0r " + name_; }

  std::string name_;
  void *handle_ = nullptr;
  void (*deinit_)() = nullptr;
  void (*destruct_)(f0r_instance_t) = nullptr;
  void (*update_)(f0r_instance_t, double, const uint32_t *, uint32_t *) = nullptr;
  void (*update2_)(f0r_instance_t, double, const uint32_t *, const uint32_t *, const uint32_t *,
                   uint32_t *) = nullptr;
  f0r_instance_t inst_ = nullptr;
  int type_ = 0;
  double time_ = 0;
  const uint32_t *in_[3] = {};
  std::vector<uint32_t> out_;
};

template <typename F>
bool resolve(void *h, const char *sym, F &f) {
  f = reinterpret_cast<F>(dlsym(h, sym));
  return f != nullptr;
}

}  // namespace

std::unique_ptr<Peer> make_frei0r(const std::string &name, int width, int height,
                                  const unsigned char *const inputs[3],
                                  const std::vector<std::pair<int, double>> &params,
                                  std::string &why) {
  const std::string path = frei0r_dir() + "/" + name + ".so";
  auto p = std::make_unique<Frei0rPeer>();
  p->name_ = name;
  p->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!p->handle_) {
    why = "frei0r plug-in not found: " + path;
    return nullptr;
  }
  int (*init)() = nullptr;
  void (*info)(f0r_plugin_info_t *) = nullptr;
  f0r_instance_t (*construct)(unsigned, unsigned) = nullptr;
  void (*set_param)(f0r_instance_t, f0r_param_t, int) = nullptr;
  if (!resolve(p->handle_, "f0r_init", init) || !resolve(p->handle_, "f0r_get_plugin_info", info) ||
      !resolve(p->handle_, "f0r_construct", construct) ||
      !resolve(p->handle_, "f0r_destruct", p->destruct_) ||
      !resolve(p->handle_, "f0r_deinit", p->deinit_)) {
    why = path + " lacks a frei0r entry point";
    p->deinit_ = nullptr;
    return nullptr;
  }
  resolve(p->handle_, "f0r_set_param_value", set_param);
  resolve(p->handle_, "f0r_update", p->update_);
  resolve(p->handle_, "f0r_update2", p->update2_);
  if (!init()) {
    why = path + ": f0r_init failed";
    p->deinit_ = nullptr;
    return nullptr;
  }
  f0r_plugin_info_t pi{};
  info(&pi);
  p->type_ = pi.plugin_type;
  if ((p->type_ == F0R_PLUGIN_TYPE_FILTER && !p->update_) ||
      (p->type_ != F0R_PLUGIN_TYPE_FILTER && !p->update2_) || p->type_ == F0R_PLUGIN_TYPE_SOURCE) {
    why = path + ": not a filter or mixer";
    return nullptr;
  }
  p->inst_ = construct((unsigned)width, (unsigned)height);
  if (!p->inst_) {
    why = path + ": f0r_construct failed";
    return nullptr;
  }
  for (const auto &kv : params) {
    double v = kv.second;
    if (set_param) set_param(p->inst_, &v, kv.first);
  }
  for (int i = 0; i < 3; ++i) p->in_[i] = reinterpret_cast<const uint32_t *>(inputs[i]);
  p->out_.resize((size_t)width * height);
  return p;
}

}  // namespace peers
