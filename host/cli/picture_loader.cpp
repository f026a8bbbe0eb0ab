// The program's side of the picture library: each picture function loads
// the library on first use and calls its counterpart there.
#include "picture_library.h"
#include "program_dir.h"

#include "seqfx/error.h"

#include <dlfcn.h>

#include <mutex>

namespace seqfx_cli {

namespace {

// Loaded once, by whichever thread first needs it; workers then share it.
const PictureLibrary &library() {
  static const PictureLibrary *table = nullptr;
  static std::string failure;
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string path = program_dir() + "/../lib/" + kPictureLibraryFile;
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char *why = dlerror();
      failure = "cannot load the picture library " + path + " (seqfx reads and writes pictures through it): " +
                (why ? why : "unknown error");
      return;
    }
    using Entry = const PictureLibrary *(*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, kPictureLibraryEntry));
    const PictureLibrary *t = entry ? entry() : nullptr;
    if (!t || t->version != kPictureLibraryVersion) {
      failure = "the picture library " + path + " does not belong to this seqfx (" +
                (t ? "another version" : std::string("no ") + kPictureLibraryEntry) + "); reinstall seqfx";
      return;
    }
    table = t;  // the library stays loaded until the program ends
  });
  if (!table) throw seqfx::HostError(failure);
  return *table;
}

}  // namespace

Picture read_picture(const std::string &path, bool want_float, Space chosen) {
  return library().read_picture(path, want_float, chosen);
}

std::vector<float> read_depth(const std::string &path, int width, int height) {
  return library().read_depth(path, width, height);
}

void write_picture(const std::string &path, const std::string &final_name, const seqfx::Image &img,
                   bool with_float, OutputColour colour) {
  library().write_picture(path, final_name, img, with_float, colour);
}

void write_depth(const std::string &path, const std::string &final_name, const float *distances, int width,
                 int height) {
  library().write_depth(path, final_name, distances, width, height);
}

bool is_picture_name(const std::string &path) {
  return !picture_extension(path).empty() && library().is_picture_name(path);
}

void convert(float *rgba, int width, int height, Space from, Space to) {
  if (converts(from, to) && width > 0 && height > 0) library().convert(rgba, width, height, from, to);
}

}  // namespace seqfx_cli
