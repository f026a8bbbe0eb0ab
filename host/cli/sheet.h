// The demo's contact sheet (one PNG) and its index.html gallery.
#pragma once

#include "seqfx/image.h"

#include <string>
#include <vector>

namespace seqfx_cli {

struct DemoEntry {
  std::string module;        // file name without .so
  std::string display_name;  // as the module gives it
  std::string title;         // the setting's title
  std::string options;       // its options as written
  std::string picture;       // file name in the demo folder ("" when it failed)
  std::string error;         // why it failed
  std::string console;       // what the module printed
  seqfx::Image thumb{0, 0};  // the last frame, for the sheet
};

// Draws the sheet: a grid of the entries' last frames at half size, each
// with its effect's display name and the setting's title below it.
seqfx::Image contact_sheet(const std::vector<DemoEntry> &entries);

// The gallery page.
std::string index_html(const std::vector<DemoEntry> &entries, const std::string &sheet_name);

}  // namespace seqfx_cli
