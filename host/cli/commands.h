// The seqfx commands.
#pragma once

#include "options.h"

#include "seqfx/plugin.h"

#include <memory>

#include <string>
#include <vector>

namespace seqfx_cli {

// Options every command takes.
struct Global {
  std::vector<std::string> module_dirs;  // --plugins DIR first, the build's folder last
  bool quiet = false;                    // --quiet: silence the modules
  bool verbose = false;                  // --verbose: the modules' console lines as they come
};

int cmd_list(const Global &g);
int cmd_info(const Global &g, const std::string &name);
int cmd_render(const Global &g, const RenderOptions &opts);
int cmd_demo(const Global &g, const std::string &dir, const std::vector<std::string> &only);

// Loads a module by name from the module folders (its console silenced
// when quiet).
std::unique_ptr<seqfx::Plugin> load_module(const Global &g, const std::string &name);

}  // namespace seqfx_cli
