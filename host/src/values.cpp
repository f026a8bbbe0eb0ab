#include "seqfx/values.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace seqfx {

namespace {

std::string lower(std::string s) {
  for (char &c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

bool all_digits(const std::string &s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit((unsigned char)c)) return false;
  return true;
}

std::string who(const Plugin &p, int row) {
  return p.module_name() + " row " + std::to_string(row) + " \"" + row_label(p.row(row)) + "\"";
}

std::string number(double v) {
  std::ostringstream os;
  os << v;
  return os.str();
}

// A whole string as a number; false when anything is left over.
bool parse_number(const std::string &text, double &v) {
  if (text.empty() || std::isspace((unsigned char)text[0])) return false;
  char *end = nullptr;
  v = std::strtod(text.c_str(), &end);
  return *end == '\0';
}

bool parse_byte(const std::string &t, unsigned char &out) {
  if (!all_digits(t) || t.size() > 3) return false;
  const int v = std::atoi(t.c_str());
  if (v > 255) return false;
  out = (unsigned char)v;
  return true;
}

}  // namespace

int resolve_row(const Plugin &plugin, const std::string &key) {
  if (all_digits(key) && key.size() < 6) {
    const int row = std::atoi(key.c_str());
    plugin.row(row);  // throws for a row that is not there
    return row;
  }
  return plugin.find_row(key);
}

std::array<unsigned char, 4> parse_colour(const std::string &text) {
  const std::string bad =
      "\"" + text + "\" is not a colour: give #rrggbb, #rrggbbaa, r,g,b or r,g,b,a (0..255)";
  std::array<unsigned char, 4> c{0, 0, 0, 255};
  if (!text.empty() && text[0] == '#') {
    const std::string hex = text.substr(1);
    if (hex.size() != 6 && hex.size() != 8) throw HostError(bad);
    for (char ch : hex)
      if (!std::isxdigit((unsigned char)ch)) throw HostError(bad);
    for (std::size_t i = 0; i < hex.size() / 2; ++i)
      c[i] = (unsigned char)std::strtol(hex.substr(2 * i, 2).c_str(), nullptr, 16);
    return c;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (parts.size() != 3 && parts.size() != 4) throw HostError(bad);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string t = parts[i];
    while (!t.empty() && t.front() == ' ') t.erase(0, 1);
    while (!t.empty() && t.back() == ' ') t.pop_back();
    if (!parse_byte(t, c[i])) throw HostError(bad);
  }
  return c;
}

void set_value_text(Plugin &plugin, int row, const std::string &text) {
  const ParamDescriptor &r = plugin.row(row);
  switch (row_kind(r)) {
    case PLUGIN_LABEL:
      throw HostError(who(plugin, row) + " is a label and holds no value");
    case PLUGIN_TEXT:
      plugin.set_text(row, text);
      return;
    case PLUGIN_COLOUR: {
      std::array<unsigned char, 4> c;
      try {
        c = parse_colour(text);
      } catch (const HostError &e) {
        throw HostError(who(plugin, row) + ": " + e.what());
      }
      plugin.set_colour(row, c[0], c[1], c[2], c[3]);
      return;
    }
    case PLUGIN_TOGGLE: {
      const std::string t = lower(text);
      if (t == "on" || t == "1" || t == "yes" || t == "true") return plugin.set_value(row, 1);
      if (t == "off" || t == "0" || t == "no" || t == "false") return plugin.set_value(row, 0);
      throw HostError(who(plugin, row) + " is a toggle: give on or off, not \"" + text + "\"");
    }
    case PLUGIN_TRITOGGLE:
      if (text == "0" || text == "1" || text == "2") return plugin.set_value(row, text[0] - '0');
      throw HostError(who(plugin, row) + " is a three-state button: give 0, 1 or 2, not \"" + text +
                      "\"");
    default: {
      double v;
      if (!parse_number(text, v) || !std::isfinite(v))
        throw HostError(who(plugin, row) + " takes a number, not \"" + text + "\"");
      plugin.set_value(row, v);
    }
  }
}

int apply_assignment(Plugin &plugin, const std::string &a) {
  const std::size_t first = a.find('=');
  if (first == std::string::npos || first == 0)
    throw HostError("--set wants ROW_OR_NAME=VALUE, not \"" + a + "\"");
  // Any '=' may end the name: "Txt:=x=y" sets x=y, "q==0.1" sets the row
  // named "q=". A split that gives a row's own name (or number) goes
  // before one found by the looser readings of a name ("q" finds "q="),
  // and the first whose value its row takes wins.
  for (int pass = 0; pass < 2; ++pass)
    for (std::size_t eq = first; eq != std::string::npos; eq = a.find('=', eq + 1)) {
      const std::string name = a.substr(0, eq);
      int row;
      try {
        row = resolve_row(plugin, name);
      } catch (const HostError &) {
        continue;
      }
      if (row_kind(plugin.row(row)) == PLUGIN_LABEL) continue;
      std::string key = name;
      while (!key.empty() && key.back() == ' ') key.pop_back();
      const bool own = all_digits(name) || lower(row_key(plugin.row(row))) == lower(key);
      if (own != (pass == 0)) continue;
      try {
        set_value_text(plugin, row, a.substr(eq + 1));
        return row;
      } catch (const HostError &) {
        // Another split may still fit; failing all, the plain reading's
        // fault is told below.
      }
    }
  // No split names a value row that takes its value: report the plain reading.
  const int row = resolve_row(plugin, a.substr(0, first));
  set_value_text(plugin, row, a.substr(first + 1));
  return row;
}

std::string default_text(const ParamDescriptor &r) {
  switch (row_kind(r)) {
    case PLUGIN_LABEL:
      return "";
    case PLUGIN_TEXT:
      return "\"\"";
    case PLUGIN_COLOUR:
      return "#00000000";
    case PLUGIN_TOGGLE:
      return r.def != 0 ? "on" : "off";
    case PLUGIN_TRITOGGLE:
      return std::to_string(std::isfinite(r.def) ? std::max(0, std::min(2, (int)r.def)) : 0);
    default:
      return number(row_type(r) == PLUGIN_FLOAT ? (double)r.def : std::trunc((double)r.def));
  }
}

std::string value_text(const Plugin &p, int row) {
  const ParamDescriptor &r = p.row(row);
  switch (row_kind(r)) {
    case PLUGIN_LABEL:
      return "";
    case PLUGIN_TEXT:
      return "\"" + p.text_slot(row) + "\"";
    case PLUGIN_COLOUR: {
      const unsigned char *s = p.slot(row);
      char buf[16];
      std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", s[0], s[1], s[2], s[3]);
      return buf;
    }
    case PLUGIN_TOGGLE:
      return p.int_slot(row) != 0 ? "on" : "off";
    case PLUGIN_TRITOGGLE:
      return std::to_string(p.tri_state(row));
    default:
      return row_type(r) == PLUGIN_FLOAT ? number(p.float_slot(row)) : std::to_string(p.int_slot(row));
  }
}

std::string kind_text(const ParamDescriptor &r) {
  const std::string type = row_type(r) == PLUGIN_FLOAT ? "float " : "int ";
  switch (row_kind(r)) {
    case PLUGIN_LABEL: return "label";
    case PLUGIN_SLIDER: return type + "slider";
    case PLUGIN_NUMBER: return type + "number";
    case PLUGIN_TOGGLE: return "toggle";
    case PLUGIN_TRITOGGLE: return "tri-toggle";
    case PLUGIN_COLOUR: return "colour";
    case PLUGIN_TEXT: return "text";
    default: return "?";
  }
}

}  // namespace seqfx
