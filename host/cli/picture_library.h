// The picture library: reading and writing picture files through
// OpenImageIO, built as a shared library of its own (libseqfx_pictures.so
// in the lib folder beside the program's bin folder) and loaded by seqfx
// the first time it reads or writes a still or converts colours. Runs that
// touch no picture (video in and out, list, info) never load it, and so
// never pay for the hundreds of libraries OpenImageIO brings with it.
//
// Program and library come from one build: the table passes C++ values
// and HostError exceptions as they are, and its version guards against a
// library left over from another build.
#pragma once

#include "colour.h"
#include "picture.h"

#include "seqfx/image.h"

#include <string>
#include <vector>

namespace seqfx_cli {

// Raised whenever the table below changes.
constexpr int kPictureLibraryVersion = 1;

struct PictureLibrary {
  int version;
  Picture (*read_picture)(const std::string &path, bool want_float, Space chosen);
  std::vector<float> (*read_depth)(const std::string &path, int width, int height);
  void (*write_picture)(const std::string &path, const std::string &final_name, const seqfx::Image &img,
                        bool with_float, OutputColour colour);
  void (*write_depth)(const std::string &path, const std::string &final_name, const float *distances, int width,
                      int height);
  bool (*is_picture_name)(const std::string &path);
  void (*convert)(float *rgba, int width, int height, Space from, Space to);
};

// The file name of the library, and the name of its one entry point.
constexpr const char *kPictureLibraryFile = "libseqfx_pictures.so";
constexpr const char *kPictureLibraryEntry = "seqfx_picture_library";

}  // namespace seqfx_cli

// The library's entry point: its table of functions.
extern "C" const seqfx_cli::PictureLibrary *seqfx_picture_library();
