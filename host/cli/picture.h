// Pictures in files, read into and written from image records through
// OpenImageIO. Files store rows top-down, records bottom-up: both ways the
// rows are flipped, so what stands upright in the record stands upright in
// the file. The reading and writing live in the picture library, which
// seqfx loads the first time it needs it (picture_library.h); the
// functions here that need no file are part of the program itself.
#pragma once

#include "colour.h"

#include "seqfx/image.h"

#include <string>
#include <vector>

namespace seqfx_cli {

struct Picture {
  seqfx::Image image{0, 0};
  // Camera distance per pixel (record order), from a "Z" or "depth"
  // channel; empty when the file has none.
  std::vector<float> depth;
  // True when the file holds more than 8 bits per channel.
  bool deep = false;
  // True when colour values above 1 were clipped on the way to bytes.
  bool clipped = false;
  // The space of the file's values, which the floatbuf keeps as they are.
  Space space = Space::Srgb;
};

// Reads a picture into 8-bit RGBA in sRGB (converted from the file's space,
// `chosen` or else guessed; values limited to 0..1 and rounded); with
// want_float the image also gets a floatbuf with the file's values as they
// are. A grey file fills R, G and B; a file without alpha is opaque.
// Throws HostError naming the file.
Picture read_picture(const std::string &path, bool want_float, Space chosen = Space::Guess);

// Reads a one-channel depth picture (or the Z/depth channel, else the
// first channel, of any picture) as camera distances in record order.
std::vector<float> read_depth(const std::string &path, int width, int height);

// The colour of a picture being written: the space its floatbuf holds
// (rect always holds sRGB) and the one the file is to hold (Guess: linear
// for float formats, sRGB for the others).
struct OutputColour {
  Space floats = Space::Srgb;
  Space file = Space::Guess;
};

// Writes rect as 8-bit RGBA (RGB where the format has no alpha), or the
// floatbuf as float RGBA when with_float and the image has one, converted
// into the file's space and labelled with it. The format comes from the
// file name of final_name; the data go to path.
void write_picture(const std::string &path, const std::string &final_name, const seqfx::Image &img,
                   bool with_float, OutputColour colour = {});
// Writes distances (record order) as a one-channel float picture "Z".
void write_depth(const std::string &path, const std::string &final_name, const float *distances,
                 int width, int height);

// Sets alpha to full in rect and floatbuf, so that viewers which hide
// transparent pixels show every pixel's colour (--alpha opaque).
void make_opaque(seqfx::Image &img);

// A file name's extension in lower case; empty when it has none.
std::string picture_extension(const std::string &path);
// True for formats that keep float values (EXR, HDR, PFM).
bool is_float_format(const std::string &path);
// The space an output holds when none was chosen.
inline Space default_output_space(const std::string &path) {
  return is_float_format(path) ? Space::Linear : Space::Srgb;
}
// True for formats that keep one float channel, as depth output needs.
bool is_depth_format(const std::string &path);
// True when OpenImageIO knows a format for the file name.
bool is_picture_name(const std::string &path);

}  // namespace seqfx_cli
