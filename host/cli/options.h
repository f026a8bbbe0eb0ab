// The options of `seqfx render` (and the subset a demo.cfg line uses).
#pragma once

#include "colour.h"

#include "seqfx/depth.h"
#include "video_encode.h"

#include <string>
#include <vector>

namespace seqfx_cli {

// A factor held constant ("F") or ramped linearly over the frames ("A:B").
struct Ramp {
  bool given = false;
  double from = 0.0, to = 0.0;
  // The value at position t (0 first frame, 1 last frame).
  double at(double t) const { return from + (to - from) * t; }
  static Ramp parse(const std::string &option, const std::string &text);
};

struct RenderOptions {
  std::string module;
  std::vector<std::string> inputs;   // -i, up to three strips
  std::string output;                // -o
  std::vector<std::string> sets;     // --set ROW_OR_NAME=VALUE, in order
  Ramp factor0, factor1;             // factor1 follows factor0 unless given
  bool frames_given = false;
  int first = 1, last = 1;           // --frames S-E
  bool shot_given = false;
  int shot_first = 1, shot_last = 1; // --shot S-E: the whole shot the factor ramp spans
  int jobs = 0;                      // -j N: workers (0: every usable core)
  std::string depth_file;            // --depth FILE (or pattern)
  std::string depth_out;             // --depth-out FILE (or pattern)
  bool depth_range_given = false;
  seqfx::DepthRange depth_range;     // --depth-range NEAR:FAR
  bool use_float = false;            // --float
  std::string fps;                   // --fps, for video made from pictures: "25", "29.97" or "30000/1001"
  VideoOptions video;                // --codec, --crf/--quality, --pix-fmt, --no-audio
  bool overwrite = false;            // -y: replace outputs that exist
  std::string texture_from;          // --texture-from MASK (or pattern): shade the texture role
  bool texture_threshold_given = false;
  float texture_threshold = 0.0f;    // --texture-threshold T: mask alpha above T (0..1)
  // --colorspace SPACE after an -i or the -o: the space that file holds
  // (Guess: from its label or kind).
  std::vector<Space> input_spaces;   // one per input, up to the last chosen
  Space output_space = Space::Guess;
  int colour_target = -1;            // what --colorspace describes: input index, 3 the output
  bool alpha_opaque = false;         // --alpha opaque: outputs written with alpha 1 (also in demo.cfg)

  Space input_space(std::size_t s) const { return s < input_spaces.size() ? input_spaces[s] : Space::Guess; }

  // Only in demo.cfg lines.
  int strips = 0;                    // --strips N (0: from the module's table)
  std::string scene;                 // --scene scene|green|clean|cutout (the first strip)
  std::string scene2, scene3;        // --scene2/--scene3: the other strips' pictures

  // factor0 and factor1 at position t of the frame range.
  float factor0_at(double t) const { return (float)factor0.at(t); }
  float factor1_at(double t) const { return (float)(factor1.given ? factor1 : factor0).at(t); }
};

enum class OptionSet { Render, Demo };

// Takes the option at args[i] (and its value, moving i past it) into opts.
// Returns false when args[i] is no option of this set; throws HostError
// for a bad value or a missing one.
bool take_option(const std::vector<std::string> &args, std::size_t &i, RenderOptions &opts, OptionSet set);

// A frame rate as ffmpeg takes it: a number ("25", "29.97") or a ratio of
// whole numbers ("24000/1001"), above 0 and at most 1000 frames a second.
// Throws HostError naming the text.
std::string parse_rate(const std::string &text);

// Splits a line into words: blanks separate, "double" or 'single' quotes
// group, a backslash escapes the next character. Throws for an open quote.
std::vector<std::string> split_words(const std::string &line);

}  // namespace seqfx_cli
