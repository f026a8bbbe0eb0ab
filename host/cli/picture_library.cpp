// The picture library's entry point (built into libseqfx_pictures.so only).
#include "picture_library.h"

namespace seqfx_cli {
namespace {

const PictureLibrary table = {
    kPictureLibraryVersion, read_picture, read_depth, write_picture, write_depth, is_picture_name, convert,
};

}  // namespace
}  // namespace seqfx_cli

extern "C" __attribute__((visibility("default"))) const seqfx_cli::PictureLibrary *seqfx_picture_library() {
  return &seqfx_cli::table;
}
