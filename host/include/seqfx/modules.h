// Finding modules in folders and reading what their tables say about them.
#pragma once

#include "seqfx/plugin.h"

#include <string>
#include <vector>

namespace seqfx {

// The modules (*.so files) in the given folders, by module name; a name in
// an earlier folder hides the same name in a later one. Missing folders are
// skipped. Sorted by module name.
struct ModuleFile {
  std::string name;  // file name without ".so"
  std::string path;
};
std::vector<ModuleFile> find_modules(const std::vector<std::string> &dirs);

// The file of a module given by name (or by a path to a .so file). Throws
// HostError for an unknown name, naming the folders searched.
std::string locate_module(const std::vector<std::string> &dirs, const std::string &name);

// What a module's first label row says about its inputs ("Input: 2 strips",
// "In: >= 1 strip"). known is false when the row says nothing of it.
struct StripCount {
  bool known = false;
  int count = 1;
  bool at_least = false;  // ">=N"
  std::string text() const;  // "2", ">=1" or "?"
};
StripCount strips_from_table(const Plugin &plugin);
// The same for one label's text ("Input: 2 strips", "In: >= 1 strip").
StripCount strips_from_label(const std::string &label);

}  // namespace seqfx
