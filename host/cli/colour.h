// Colour spaces of pictures. Byte modules work on display-referred sRGB
// values; float files usually hold scene-linear light. Pictures are
// converted between the two through OpenImageIO's colour processing when
// read and written, and outputs are labelled with what they hold. The
// conversions live in the picture library (colour_files.h), which seqfx
// loads the first time it needs one.
#pragma once

#include <cstddef>
#include <string>

namespace seqfx_cli {

enum class Space {
  Guess,   // not chosen: taken from the file's label or its kind
  Srgb,    // display-referred, sRGB transfer curve
  Linear,  // scene-linear light
  Raw,     // data that is never converted (masks, normals, ...)
};

// "srgb", "linear" or "raw" (any case); throws HostError naming the option
// for anything else.
Space parse_space(const std::string &text);
const char *space_name(Space s);

// A chosen space, else the guess.
inline Space chosen_or(Space chosen, Space guessed) { return chosen == Space::Guess ? guessed : chosen; }

// True when converting from one space to the other changes values.
inline bool converts(Space from, Space to) {
  return from != to && from != Space::Raw && to != Space::Raw && from != Space::Guess && to != Space::Guess;
}

// Converts width x height RGBA floats (alpha untouched, colour not
// multiplied by it) in place. Nothing happens when from and to agree or
// either is Raw. Throws HostError when OpenImageIO cannot convert.
void convert(float *rgba, int width, int height, Space from, Space to);

// A float value 0..1 as a byte, rounded; values outside are clamped.
inline unsigned char to_byte(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return 255;
  return (unsigned char)(int)(v * 255.0f + 0.5f);
}

}  // namespace seqfx_cli
