// A module's demo settings: <name>.demo.cfg beside the module when there
// is one, else the settings its manifest carries (its folder's demo.cfg),
// one render a line:
//
//   # a comment: from a '#' at the start of a line or after a blank
//   title | --set NAME_OR_ROW=VALUE --factor A:B --frames 1-4 --strips 2 --scene green
#pragma once

#include "options.h"

#include <string>
#include <vector>

namespace seqfx_cli {

struct DemoRender {
  std::string title;
  std::string options;  // as written
  RenderOptions opts;
  std::string error;    // a line that cannot be used: why
};

// The settings file beside a module, or "" when there is none.
std::string find_demo_config(const std::string &module, const std::string &module_dir);

// The renders of a settings file; unusable lines come back with an error
// ("file:line: ..."). Throws HostError when the file cannot be read.
std::vector<DemoRender> read_demo_config(const std::string &path);
// The same from settings text; `where` names it in errors.
std::vector<DemoRender> parse_demo_config(const std::string &text, const std::string &where);
// One line's render; false for blank and comment lines.
bool parse_demo_line(const std::string &line, DemoRender &r);

}  // namespace seqfx_cli
