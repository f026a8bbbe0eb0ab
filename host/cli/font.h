// A small built-in bitmap font (5x7 pixels a character, one column of
// spacing) for captions in pictures.
#pragma once

#include "seqfx/image.h"

#include <string>

namespace seqfx_cli {

// Glyph height in pixels at scale 1.
constexpr int kGlyphHeight = 7;

// Width in pixels of text at the scale.
int text_width(const std::string &text, int scale = 1);

// Draws text with its top-left corner at (x, y_top), y counted from the
// picture's top; clipped to the picture. Characters outside 32..126 are
// drawn as '?'.
void draw_text(seqfx::Image &img, int x, int y_top, const std::string &text, const unsigned char colour[4],
               int scale = 1);

}  // namespace seqfx_cli
