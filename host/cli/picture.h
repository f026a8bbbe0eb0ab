// Pictures in files, read into and written from image records through
// OpenImageIO. Files store rows top-down, records bottom-up: both ways the
// rows are flipped, so what stands upright in the record stands upright in
// the file.
#pragma once

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
};

// Reads a picture into 8-bit RGBA (values limited to 0..1 and rounded);
// with want_float the image also gets a floatbuf with the file's values as
// they are. A grey file fills R, G and B; a file without alpha is opaque.
// Throws HostError naming the file.
Picture read_picture(const std::string &path, bool want_float);

// Reads a one-channel depth picture (or the Z/depth channel, else the
// first channel, of any picture) as camera distances in record order.
std::vector<float> read_depth(const std::string &path, int width, int height);

// Writes rect as 8-bit RGBA (RGB where the format has no alpha), or the
// floatbuf as float RGBA when with_float and the image has one. The format
// comes from the file name of final_name; the data go to path.
void write_picture(const std::string &path, const std::string &final_name, const seqfx::Image &img,
                   bool with_float);
// Writes distances (record order) as a one-channel float picture "Z".
void write_depth(const std::string &path, const std::string &final_name, const float *distances,
                 int width, int height);

// True for formats that keep float values (EXR, HDR, PFM, float TIFF).
bool is_float_format(const std::string &path);
// True for formats that keep one float channel, as depth output needs.
bool is_depth_format(const std::string &path);
// True when OpenImageIO knows a format for the file name.
bool is_picture_name(const std::string &path);

}  // namespace seqfx_cli
