// Tells the frei0r host test how to drive one bridged module, one line each:
//   type filter|mixer2|mixer3
//   ffmpeg <filter_params: every parameter at its default, time in ms>
//   ffmpeg_set <filter_params with the test settings, time in ms>
//   host_set <name>=<value>        (one line per set parameter, for melt)
//   cli_set <row>=<value>          (the same settings for seqfx render)
// ffmpeg sets frei0r parameters by position only, so every parameter is
// spelled out. The test settings put every number at 0.7 of its range, every
// three-state button in its third state, colours at 0.2/0.4/0.6 and text to
// "seqfx"; toggles keep their defaults.
#include "bridge.h"

#include <cstdio>
#include <string>

using namespace seqfx::frei0r;

namespace {

std::string num(double v, int digits) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*g", digits, v);
  return b;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: frei0r_probe MODULE MODULE_DIR\n");
    return 2;
  }
  Bridge bridge(argv[1], {argv[2]});
  if (!bridge.init()) return 1;
  std::printf("type %s\n", bridge.inputs() == 3 ? "mixer3" : bridge.inputs() == 2 ? "mixer2" : "filter");
  Instance *inst = bridge.construct(8, 8);
  if (!inst) return 1;
  seqfx::Plugin &plugin = inst->plugin();
  std::string defaults, settings, host, cli;
  for (int i = 0; i < (int)bridge.params().size(); ++i) {
    const ParamSpec &s = bridge.params()[(std::size_t)i];
    std::string def, set;
    if (s.type == F0R_PARAM_BOOL) {
      double v = 0;
      bridge.get_param(inst, &v, i);
      def = set = (s.extra == Extra::TimeInMs || v >= 0.5) ? "y" : "n";
    } else if (s.type == F0R_PARAM_DOUBLE) {
      double v = 0;
      bridge.get_param(inst, &v, i);
      def = set = num(v, 17);
      if (s.row >= 0) {
        const ParamDescriptor &r = plugin.row(s.row);
        set = "0.7";
        host += "host_set " + s.name + "=0.7\n";
        const int kind = seqfx::row_kind(r);
        const std::string value = kind == PLUGIN_TRITOGGLE ? std::to_string(tri_state(0.7))
                                  : seqfx::row_type(r) == PLUGIN_FLOAT ? num(float_value(r, 0.7), 9)
                                                                       : std::to_string(int_value(r, 0.7));
        cli += "cli_set " + std::to_string(s.row) + "=" + value + "\n";
      }
    } else if (s.type == F0R_PARAM_COLOR) {
      f0r_param_color_t c{};
      bridge.get_param(inst, &c, i);
      def = num(c.r, 9) + "/" + num(c.g, 9) + "/" + num(c.b, 9);
      set = "0.2/0.4/0.6";
      host += "host_set " + s.name + "=0.2/0.4/0.6\n";
      unsigned char b[3];
      colour_bytes({0.2f, 0.4f, 0.6f}, b);
      cli += "cli_set " + std::to_string(s.row) + "=" + std::to_string(b[0]) + "," +
             std::to_string(b[1]) + "," + std::to_string(b[2]) + "\n";
    } else {
      const char *text = nullptr;
      bridge.get_param(inst, &text, i);
      def = text ? text : "";
      set = "seqfx";
      host += "host_set " + s.name + "=seqfx\n";
      cli += "cli_set " + std::to_string(s.row) + "=seqfx\n";
    }
    defaults += (i ? "|" : "") + def;
    settings += (i ? "|" : "") + set;
  }
  std::printf("ffmpeg %s\nffmpeg_set %s\n%s%s", defaults.c_str(), settings.c_str(), host.c_str(),
              cli.c_str());
  bridge.destruct(inst);
  bridge.deinit();
  return 0;
}
