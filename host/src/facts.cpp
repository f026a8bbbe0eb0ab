#include "seqfx/facts.h"

#include "seqfx/modules.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace seqfx {

std::string manifest_path(const std::string &module_path) {
  std::string base = module_path;
  if (base.size() > 3 && base.compare(base.size() - 3, 3, ".so") == 0) base.resize(base.size() - 3);
  return base + ".json";
}

const char *entry_style_name(EntryStyle e) {
  switch (e) {
    case EntryStyle::Reduced: return "reduced";
    case EntryStyle::Texture: return "texture";
    default: return "standard";
  }
}

ModuleFacts parse_manifest(const std::string &text, const std::string &where) {
  using nlohmann::json;
  auto bad = [&](const std::string &why) { return HostError(where + ": " + why); };
  json j;
  try {
    j = json::parse(text);
  } catch (const json::exception &e) {
    throw bad(std::string("not a module manifest (") + e.what() + ")");
  }
  try {
    ModuleFacts f;
    f.declared = true;
    const json &s = j.at("strips");
    f.strips_needed = s.at("needs").get<int>();
    f.strips_accepted = s.at("accepts").get<int>();
    if (f.strips_needed < 0 || f.strips_needed > 3 || f.strips_accepted < 1 || f.strips_accepted > 3 ||
        f.strips_accepted < f.strips_needed)
      throw bad("strips needed 0..3 and accepted needed..3");
    f.keeps_state = j.value("keeps_state", false);
    f.needs_depth = j.value("needs_depth", false);
    f.uses_float = j.value("uses_float", false);
    const std::string entry = j.value("entry", std::string("standard"));
    if (entry == "standard") f.entry = EntryStyle::Standard;
    else if (entry == "reduced") f.entry = EntryStyle::Reduced;
    else if (entry == "texture") f.entry = EntryStyle::Texture;
    else throw bad("unknown entry style \"" + entry + "\"");
    f.description = j.value("description", std::string());
    f.demo = j.value("demo", std::string());
    return f;
  } catch (const json::exception &e) {
    throw bad(std::string("malformed module manifest (") + e.what() + ")");
  }
}

std::optional<ModuleFacts> read_manifest(const std::string &module_path) {
  const std::string path = manifest_path(module_path);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) throw HostError(path + ": cannot be read");
  return parse_manifest(text.str(), path);
}

ModuleFacts module_facts(const Plugin &plugin) {
  if (auto f = read_manifest(plugin.path())) return *f;
  ModuleFacts f;
  const StripCount sc = strips_from_table(plugin);
  f.strips_needed = sc.known ? sc.count : 1;
  f.strips_accepted = sc.known && !sc.at_least ? sc.count : 3;
  if (f.strips_accepted < f.strips_needed) f.strips_accepted = f.strips_needed;
  f.keeps_state = true;
  if (plugin.symbol("plugin_tex_getversion")) f.entry = EntryStyle::Texture;
  else if (!plugin.symbol("plugin_seq_doit")) f.entry = EntryStyle::Reduced;
  return f;
}

}  // namespace seqfx
