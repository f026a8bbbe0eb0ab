// What a module declares about itself beyond its interface: the manifest
// <name>.json the build writes beside <name>.so.
#pragma once

#include "seqfx/plugin.h"

#include <optional>
#include <string>

namespace seqfx {

enum class EntryStyle { Standard, Reduced, Texture };

struct ModuleFacts {
  // True when read from the module's manifest; false when guessed from its
  // table for a module that has none (a foreign module).
  bool declared = false;
  int strips_needed = 1;    // inputs the module cannot do without
  int strips_accepted = 1;  // the most it reads; the ones past needed are optional
  bool keeps_state = false;  // output depends on the frames rendered before
  bool needs_depth = false;  // reads the first strip's depth plane
  bool uses_float = false;   // reads float pixels when the host gives them
  EntryStyle entry = EntryStyle::Standard;
  std::string description;  // one line for users; empty when guessed
  std::string demo;         // demo settings, one render a line (demo.cfg text)
};

// The manifest path that belongs to a module file: <dir>/<name>.json.
std::string manifest_path(const std::string &module_path);

// The facts of the manifest beside a module file, or nothing when there is
// none. Throws HostError naming the file for a manifest that cannot be
// read or parsed, or whose values are out of range.
std::optional<ModuleFacts> read_manifest(const std::string &module_path);

// The same from a manifest's text (`where` names it in errors).
ModuleFacts parse_manifest(const std::string &text, const std::string &where);

// The facts of a loaded module: its manifest, else guessed from its table
// (strip count from its first label row, entry style from its entries),
// with declared false. A guessed module is assumed to keep state, since
// nothing says it does not.
ModuleFacts module_facts(const Plugin &plugin);

const char *entry_style_name(EntryStyle e);

}  // namespace seqfx
