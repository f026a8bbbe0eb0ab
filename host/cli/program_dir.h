// Where the running program lies, for the files installed beside it.
#pragma once

#include <string>

namespace seqfx_cli {

// The folder of the running program (its bin folder); "." when unknown.
std::string program_dir();

// True for an existing folder.
bool is_folder(const std::string &path);

// The page of module `name` shipped with the program
// (share/doc/seqfx/modules/NAME.md beside its bin folder, once installed
// or in a build folder); empty when there is none.
std::string module_page(const std::string &name);

}  // namespace seqfx_cli
