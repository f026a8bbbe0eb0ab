// Prints what a frei0r host test needs to know about a bridge plug-in:
//   type filter|mixer2|mixer3
//   ffmpeg <filter_params: every parameter at its default, time in ms>
// ffmpeg's frei0r filter sets parameters by position only, so a test that
// sets time_in_ms must spell out every parameter before it.
#include <dlfcn.h>
extern "C" {
#include <frei0r.h>
}

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: frei0r_probe PLUGIN.so\n");
    return 2;
  }
  void *h = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    std::fprintf(stderr, "frei0r_probe: %s\n", dlerror());
    return 1;
  }
  auto init = reinterpret_cast<int (*)()>(dlsym(h, "f0r_init"));
  auto deinit = reinterpret_cast<void (*)()>(dlsym(h, "f0r_deinit"));
  auto info = reinterpret_cast<void (*)(f0r_plugin_info_t *)>(dlsym(h, "f0r_get_plugin_info"));
  auto pinfo = reinterpret_cast<void (*)(f0r_param_info_t *, int)>(dlsym(h, "f0r_get_param_info"));
  auto construct = reinterpret_cast<f0r_instance_t (*)(unsigned, unsigned)>(dlsym(h, "f0r_construct"));
  auto destruct = reinterpret_cast<void (*)(f0r_instance_t)>(dlsym(h, "f0r_destruct"));
  auto get = reinterpret_cast<void (*)(f0r_instance_t, f0r_param_t, int)>(dlsym(h, "f0r_get_param_value"));
  if (!init || !info || !pinfo || !construct || !get || !init()) return 1;
  f0r_plugin_info_t pi{};
  info(&pi);
  std::printf("type %s\n", pi.plugin_type == F0R_PLUGIN_TYPE_MIXER3   ? "mixer3"
                           : pi.plugin_type == F0R_PLUGIN_TYPE_MIXER2 ? "mixer2"
                                                                      : "filter");
  f0r_instance_t inst = construct(8, 8);
  if (!inst) return 1;
  std::string params;
  for (int i = 0; i < pi.num_params; ++i) {
    f0r_param_info_t p{};
    pinfo(&p, i);
    char buf[128];
    const std::string name = p.name;
    if (p.type == F0R_PARAM_BOOL) {
      double v = 0;
      get(inst, &v, i);
      std::snprintf(buf, sizeof buf, "%s", (name == "time_in_ms" || v >= 0.5) ? "y" : "n");
    } else if (p.type == F0R_PARAM_DOUBLE) {
      double v = 0;
      get(inst, &v, i);
      std::snprintf(buf, sizeof buf, "%.17g", v);
    } else if (p.type == F0R_PARAM_COLOR) {
      f0r_param_color_t c{};
      get(inst, &c, i);
      std::snprintf(buf, sizeof buf, "%.9g/%.9g/%.9g", c.r, c.g, c.b);
    } else {
      const char *s = nullptr;
      get(inst, &s, i);
      std::snprintf(buf, sizeof buf, "%s", s ? s : "");
    }
    params += (i ? "|" : "") + std::string(buf);
  }
  std::printf("ffmpeg %s\n", params.c_str());
  destruct(inst);
  deinit();
  return 0;
}
