#include "params.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace seqfx::frei0r {

namespace {

double limit01(double d) {
  if (!(d >= 0)) return 0;  // also NaN
  return d > 1 ? 1 : d;
}

std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%g", v);
  return b;
}

// The "(range, default)" ending of a row's explanation.
std::string range_text(const ParamDescriptor &r) {
  const int kind = row_kind(r);
  switch (kind) {
    case PLUGIN_TOGGLE:
      return "(off or on, default " + std::string(r.def != 0 ? "on" : "off") + ")";
    case PLUGIN_TRITOGGLE:
      return "(three states 0, 1, 2: below 1/3, below 2/3, from 2/3 up; default " +
             num(std::clamp(std::isfinite(r.def) ? (int)r.def : 0, 0, 2)) + ")";
    case PLUGIN_COLOUR:
      return "(red, green, blue 0..1, default black)";
    case PLUGIN_TEXT:
      return "(text of at most " + num(r.max > 0 ? std::floor(r.max) : 0) +
             " characters, default empty)";
    default:
      break;
  }
  const bool whole = row_type(r) != PLUGIN_FLOAT;
  return std::string("(") + (whole ? "whole numbers " : "") + num(r.min) + " to " + num(r.max) +
         " as 0 to 1, default " + num(r.def) + ")";
}

// A label as a parameter name: without a trailing colon, and with ':' and
// '=' turned into blanks, since melt's command line reads "name:..." as a
// clip to load and splits "name=value" at the first '='.
std::string host_name(const std::string &label) {
  std::string n = label;
  for (char &c : n)
    if (c == ':' || c == '=') c = ' ';
  while (!n.empty() && n.back() == ' ') n.pop_back();
  return n;
}

// Names as hosts compare them: GStreamer folds case and turns everything
// but letters and digits into '-'.
std::string name_key(const std::string &name) {
  std::string k;
  for (char c : name) k += std::isalnum((unsigned char)c) ? (char)std::tolower((unsigned char)c) : '-';
  return k;
}

// Tables may repeat a label ("x pos" for each of three stamps); hosts find
// parameters by name, so the second becomes "x pos 2", the third "x pos 3".
// The bridge's own names are never taken by a row.
void make_names_unique(std::vector<ParamSpec> &specs) {
  std::set<std::string> taken;
  for (const ParamSpec &s : specs)
    if (s.row < 0) taken.insert(name_key(s.name));
  for (ParamSpec &s : specs) {
    if (s.row < 0) continue;
    if (s.name.empty()) s.name = "row " + std::to_string(s.row);
    std::string name = s.name;
    for (int n = 2; taken.count(name_key(name)); ++n) name = s.name + " " + std::to_string(n);
    s.name = name;
    taken.insert(name_key(name));
  }
}

}  // namespace

float float_value(const ParamDescriptor &row, double d) {
  const double lo = row.min, hi = row.max;
  return (float)(lo + limit01(d) * (hi - lo));
}

int int_value(const ParamDescriptor &row, double d) {
  const double lo = std::max(std::ceil((double)row.min), -2147483648.0);
  const double hi = std::min(std::floor((double)row.max), 2147483647.0);
  if (!(lo <= hi)) return (int)std::clamp((double)row.def, -2147483648.0, 2147483647.0);
  double v = std::round((double)row.min + limit01(d) * ((double)row.max - (double)row.min));
  return (int)std::clamp(v, lo, hi);
}

int tri_state(double d) {
  d = limit01(d);
  return d < 1.0 / 3 ? 0 : (d < 2.0 / 3 ? 1 : 2);
}

void colour_bytes(const f0r_param_color_t &c, unsigned char rgb[3]) {
  const float v[3] = {c.r, c.g, c.b};
  for (int i = 0; i < 3; ++i) rgb[i] = (unsigned char)std::lround(limit01(v[i]) * 255.0);
}

std::string cut_text(const std::string &text, std::size_t max) {
  std::string s = text.substr(0, text.find('\0'));
  if (s.size() <= max) return s;
  std::size_t cut = max;
  // A byte 10xxxxxx continues a character: cut before the character's start.
  while (cut > 0 && ((unsigned char)s[cut] & 0xC0) == 0x80) --cut;
  return s.substr(0, cut);
}

double frames_per_second(double value) {
  if (!(value > 0) || !std::isfinite(value)) return 25;
  return value > 1 ? value : value * 1000;
}

std::vector<ParamSpec> describe(const Plugin &plugin) {
  std::vector<ParamSpec> specs;
  std::string labels;  // label rows waiting for the row after them, "[name: tip] "
  for (int i = 0; i < plugin.row_count(); ++i) {
    const ParamDescriptor &r = plugin.row(i);
    if (row_kind(r) == PLUGIN_LABEL) {
      const std::string l = row_key(r), t = row_tip(r);
      if (l.empty() && t.empty()) continue;
      const std::string sep = l.empty() || t.empty() ? "" : (l.back() == ':' ? " " : ": ");
      labels += "[" + l + sep + t + "] ";
      continue;
    }
    ParamSpec s;
    s.name = host_name(row_key(r));
    s.row = i;
    switch (row_kind(r)) {
      case PLUGIN_TOGGLE: s.type = F0R_PARAM_BOOL; break;
      case PLUGIN_COLOUR: s.type = F0R_PARAM_COLOR; break;
      case PLUGIN_TEXT: s.type = F0R_PARAM_STRING; break;
      default: s.type = F0R_PARAM_DOUBLE; break;
    }
    const std::string tip = row_tip(r);
    s.explanation = labels + tip + (tip.empty() ? "" : " ") + range_text(r);
    labels.clear();
    specs.push_back(std::move(s));
  }
  // Labels at the end of the table go to the last row, before its range.
  if (!labels.empty() && !specs.empty()) {
    ParamSpec &last = specs.back();
    const std::string range = range_text(plugin.row(last.row));
    last.explanation.insert(last.explanation.size() - range.size(), labels);
  }

  auto extra = [&](const char *name, int type, Extra e, const char *text) {
    ParamSpec s;
    s.name = name;
    s.type = type;
    s.extra = e;
    s.explanation = text;
    specs.push_back(std::move(s));
  };
  extra("factor", F0R_PARAM_DOUBLE, Extra::Factor,
        "Effect factor: a transition's progress from the first input to the second "
        "(0 to 1, default 0)");
  extra("factor2", F0R_PARAM_DOUBLE, Extra::Factor2,
        "Effect factor of the second field; follows factor until it is set "
        "(0 to 1, default: as factor)");
  extra("frame_rate", F0R_PARAM_DOUBLE, Extra::FrameRate,
        "Frames per second, to count frames from the host's time: above 1 as it stands, "
        "up to 1 in thousandths (0.025 is 25) (default 25)");
  extra("time_in_ms", F0R_PARAM_BOOL, Extra::TimeInMs,
        "On when the host gives time in milliseconds (ffmpeg), off for seconds "
        "(off or on, default off)");
  make_names_unique(specs);
  return specs;
}

ParamValue default_value(const Plugin &plugin, const ParamSpec &spec) {
  ParamValue v;
  switch (spec.extra) {
    case Extra::FrameRate: v.number = 0.025; return v;
    case Extra::None: break;
    default: return v;  // factor, factor2 and time_in_ms start at 0
  }
  const ParamDescriptor &r = plugin.row(spec.row);
  const double lo = r.min, hi = r.max, def = std::isfinite(r.def) ? r.def : 0;
  switch (row_kind(r)) {
    case PLUGIN_TOGGLE: v.number = def != 0 ? 1 : 0; break;
    case PLUGIN_TRITOGGLE: v.number = std::clamp((int)std::clamp(def, 0.0, 2.0), 0, 2) / 2.0; break;
    case PLUGIN_COLOUR: {
      const unsigned char *s = plugin.slot(spec.row);
      v.colour = {s[0] / 255.0f, s[1] / 255.0f, s[2] / 255.0f};
      break;
    }
    case PLUGIN_TEXT: v.text = plugin.text_slot(spec.row); break;
    default: v.number = hi > lo ? limit01((def - lo) / (hi - lo)) : 0; break;
  }
  return v;
}

void apply(Plugin &plugin, const ParamSpec &spec, const ParamValue &value) {
  if (spec.row < 0) return;
  const ParamDescriptor &r = plugin.row(spec.row);
  switch (row_kind(r)) {
    case PLUGIN_TOGGLE: plugin.set_value(spec.row, value.number >= 0.5 ? 1 : 0); return;
    case PLUGIN_TRITOGGLE: plugin.set_value(spec.row, tri_state(value.number)); return;
    case PLUGIN_COLOUR: {
      unsigned char c[3];
      colour_bytes(value.colour, c);
      plugin.set_colour(spec.row, c[0], c[1], c[2], 255);
      return;
    }
    case PLUGIN_TEXT:
      plugin.set_text(spec.row, cut_text(value.text, r.max > 0 ? (std::size_t)r.max : 0));
      return;
    default:
      if (row_type(r) == PLUGIN_FLOAT)
        plugin.set_value(spec.row, float_value(r, value.number));
      else
        plugin.set_value(spec.row, int_value(r, value.number));
  }
}

}  // namespace seqfx::frei0r
