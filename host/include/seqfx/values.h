// Parameter values written as text, as a person types them on a command
// line or in a settings file.
#pragma once

#include "seqfx/plugin.h"

#include <array>
#include <string>

namespace seqfx {

// The row a person means by "ROW_OR_NAME": a row number (0..rows-1) or a
// parameter name as Plugin::find_row compares it. Throws HostError.
int resolve_row(const Plugin &plugin, const std::string &row_or_name);

// "#rrggbb", "#rrggbbaa", "r,g,b" or "r,g,b,a" (each 0..255); alpha
// defaults to 255. Throws HostError naming the text.
std::array<unsigned char, 4> parse_colour(const std::string &text);

// Stores a value given as text in a row, by the row's kind:
//  - slider and number rows: a number (whole for int rows), within range;
//  - toggles: on/off (also 1/0, yes/no, true/false);
//  - tri-toggles: 0, 1 or 2;
//  - colours: as parse_colour;
//  - the text row: the text itself.
// Throws HostError with a one-line reason.
void set_value_text(Plugin &plugin, int row, const std::string &text);

// Applies "ROW_OR_NAME=VALUE". Labels may contain '=' themselves, so the
// first split whose left side names a row wins. Returns the row set.
int apply_assignment(Plugin &plugin, const std::string &assignment);

// A row's default, and a slot's current value, in the same notation
// (empty for label rows).
std::string default_text(const ParamDescriptor &row);
std::string value_text(const Plugin &plugin, int row);

// A row's widget kind in words: "label", "int slider", "toggle", ...
std::string kind_text(const ParamDescriptor &row);

}  // namespace seqfx
