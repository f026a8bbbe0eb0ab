// `seqfx list` and `seqfx info NAME`.

#include "commands.h"
#include "program_dir.h"
#include "quiet.h"

#include "seqfx/facts.h"
#include "seqfx/modules.h"
#include "seqfx/values.h"

#include <cstdio>
#include <sstream>

namespace seqfx_cli {

namespace {

// Strips as "N" (needed and accepted alike) or "N-M" (the ones past N
// optional).
std::string strips_text(const seqfx::ModuleFacts &f) {
  std::string t = std::to_string(f.strips_needed);
  if (f.strips_accepted != f.strips_needed) t += "-" + std::to_string(f.strips_accepted);
  return t;
}

const char *yes_no(bool v) { return v ? "yes" : "no"; }

// What a module without a manifest is shown with in place of a description.
const char kGuessed[] = "(no manifest: facts guessed from its table)";

std::string number(double v) {
  std::ostringstream os;
  os << v;
  return os.str();
}

// A label in quotes with its trailing blanks made visible.
std::string shown_label(const std::string &label) {
  std::size_t end = label.size();
  while (end > 0 && label[end - 1] == ' ') --end;
  std::string s = "\"" + label.substr(0, end);
  for (std::size_t i = end; i < label.size(); ++i) s += "\u2423";
  return s + "\"";
}

std::string range_text(const ParamDescriptor &r) {
  switch (seqfx::row_kind(r)) {
    case PLUGIN_LABEL: return "";
    case PLUGIN_TOGGLE: return "on/off";
    case PLUGIN_TRITOGGLE: return "0/1/2";
    case PLUGIN_COLOUR: return "r,g,b,a";
    case PLUGIN_TEXT: return "<=" + number(r.max) + " chars";
    default: return number(r.min) + ".." + number(r.max);
  }
}

// Pads to width counting UTF-8 characters, not bytes.
std::string pad(const std::string &s, std::size_t width) {
  std::size_t chars = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++chars;
  return chars >= width ? s + " " : s + std::string(width - chars, ' ');
}

}  // namespace

std::unique_ptr<seqfx::Plugin> load_module(const Global &g, const std::string &name) {
  const std::string path = seqfx::locate_module(g.module_dirs, name);
  Silence silence(g.quiet);
  return seqfx::Plugin::load(path);
}

int cmd_list(const Global &g) {
  const auto modules = seqfx::find_modules(g.module_dirs);
  if (modules.empty()) {
    std::string where;
    for (const std::string &d : g.module_dirs) where += (where.empty() ? "" : ", ") + d;
    std::fprintf(stderr, "seqfx: no modules (*.so) in %s\n", where.c_str());
    return 1;
  }
  std::printf("%s%s%s%s%s%s\n", pad("module", 18).c_str(), pad("name", 26).c_str(),
              pad("strips", 8).c_str(), pad("state", 7).c_str(), pad("depth", 7).c_str(), "description");
  for (const auto &m : modules) {
    std::unique_ptr<seqfx::Plugin> p;
    std::string error;
    try {
      Silence silence(true);
      p = seqfx::Plugin::load(m.path);
    } catch (const seqfx::HostError &e) {
      error = e.what();
    }
    const std::string file = m.name + ".so";
    seqfx::ModuleFacts facts;
    if (p) {
      try {
        facts = seqfx::module_facts(*p);
      } catch (const seqfx::HostError &e) {
        error = e.what();
        p.reset();
      }
    }
    if (!p) {
      std::printf("%s(cannot load: %s)\n", pad(file, 18).c_str(), error.c_str());
      continue;
    }
    std::printf("%s%s%s%s%s%s\n", pad(file, 18).c_str(), pad("\"" + p->display_name() + "\"", 26).c_str(),
                pad(strips_text(facts), 8).c_str(), pad(yes_no(facts.keeps_state), 7).c_str(),
                pad(yes_no(facts.needs_depth), 7).c_str(),
                facts.declared ? facts.description.c_str() : kGuessed);
  }
  return 0;
}

int cmd_info(const Global &g, const std::string &name) {
  Global quiet = g;
  quiet.quiet = true;
  std::unique_ptr<seqfx::Plugin> p = load_module(quiet, name);
  const seqfx::ModuleFacts facts = seqfx::module_facts(*p);
  std::printf("%s.so \"%s\": %d rows, %s strip%s, keeps state: %s, needs depth: %s, float pixels: %s, "
              "%s entries\n",
              p->module_name().c_str(), p->display_name().c_str(), p->row_count(), strips_text(facts).c_str(),
              facts.strips_accepted == 1 ? "" : "s", yes_no(facts.keeps_state), yes_no(facts.needs_depth),
              yes_no(facts.uses_float), seqfx::entry_style_name(facts.entry));
  std::printf("%s\n", facts.declared ? facts.description.c_str() : kGuessed);
  const std::string page = module_page(p->module_name());
  if (!page.empty()) std::printf("page: %s\n", page.c_str());
  std::printf("%s%s%s%s%s%s\n", pad("row", 5).c_str(), pad("label", 20).c_str(), pad("kind", 14).c_str(),
              pad("default", 10).c_str(), pad("range", 14).c_str(), "tip");
  for (int i = 0; i < p->row_count(); ++i) {
    const ParamDescriptor &r = p->row(i);
    const std::string tip = seqfx::row_tip(r);
    if (seqfx::row_kind(r) == PLUGIN_LABEL) {
      std::printf("%s-- %s --%s%s\n", pad(std::to_string(i), 5).c_str(), seqfx::row_label(r).c_str(),
                  tip.empty() ? "" : "  ", tip.c_str());
      continue;
    }
    std::printf("%s%s%s%s%s%s\n", pad(std::to_string(i), 5).c_str(), pad(shown_label(seqfx::row_label(r)), 20).c_str(),
                pad(seqfx::kind_text(r), 14).c_str(), pad(seqfx::default_text(r), 10).c_str(),
                pad(range_text(r), 14).c_str(), tip.c_str());
  }
  return 0;
}

}  // namespace seqfx_cli
