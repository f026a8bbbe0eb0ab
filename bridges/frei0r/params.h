// The frei0r face of a module's parameter table: which frei0r parameters a
// table gives, what their explanations say, and how the host's values are
// written into the module's ParamBlock.
#pragma once

#include "seqfx/plugin.h"

#include "frei0r_api.h"

#include <string>
#include <vector>

namespace seqfx::frei0r {

// The parameters the bridge adds after the table's rows.
enum class Extra { None, Factor, Factor2, FrameRate, TimeInMs };

struct ParamSpec {
  std::string name;
  int type = F0R_PARAM_DOUBLE;  // F0R_PARAM_*
  std::string explanation;
  int row = -1;  // the table row it sets; -1 for the bridge's own
  Extra extra = Extra::None;
};

// A value as the host gave it, kept so that reading it back returns it
// unchanged: bool and double in `number`, colours in `colour`, text in
// `text`.
struct ParamValue {
  double number = 0;
  f0r_param_color_t colour{0, 0, 0};
  std::string text;
  bool operator==(const ParamValue &o) const {
    return number == o.number && colour.r == o.colour.r && colour.g == o.colour.g &&
           colour.b == o.colour.b && text == o.text;
  }
  bool operator!=(const ParamValue &o) const { return !(*this == o); }
};

// The frei0r parameters of a loaded module: every row but labels in table
// order (labels folded into the explanation of the row after them), then
// factor, factor2, frame_rate and time_in_ms.
std::vector<ParamSpec> describe(const Plugin &plugin);

// The value that stands for a row's table default (the bridge's own
// parameters: their defaults).
ParamValue default_value(const Plugin &plugin, const ParamSpec &spec);

// Writes a host value into its row's slot through the module's change
// entry. Values outside the row's range are brought into it.
void apply(Plugin &plugin, const ParamSpec &spec, const ParamValue &value);

// The mappings, one per row kind (d is limited to 0..1 first).
float float_value(const ParamDescriptor &row, double d);  // min + d * (max - min)
int int_value(const ParamDescriptor &row, double d);      // nearest whole number of the range
int tri_state(double d);                                  // thirds: 0, 1, 2
void colour_bytes(const f0r_param_color_t &c, unsigned char rgb[3]);
// At most max bytes of text, never ending inside a UTF-8 character, and
// nothing from a NUL on.
std::string cut_text(const std::string &text, std::size_t max);

// frame_rate as a number of frames per second: values above 1 stand as
// they are, values up to 1 are thousandths (for hosts limiting to 0..1);
// 0 and below, or not a number, fall back to 25.
double frames_per_second(double value);

}  // namespace seqfx::frei0r
