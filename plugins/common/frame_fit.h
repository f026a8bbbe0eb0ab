// Fitting the frame a module walks to the image records it is handed.
//
// Modules that work on rows and columns walk width x height pixels of every
// plane with a row stride of width. A host may hand records that hold fewer
// pixels than the frame; the frame is then narrowed to the smallest record,
// so that every index y * width + x stays below each record's own
// xsize * ysize. A record of the frame's size (or larger) changes nothing.
#pragma once

#include "seqfx_plugin.h"

#include <initializer_list>

namespace seqfx_common {

inline void fit_frame(int &width, int &height, std::initializer_list<const ImageBuffer *> records) {
  for (const ImageBuffer *r : records) {
    if (!r) continue;
    const int w = r->xsize > 0 ? r->xsize : 0, h = r->ysize > 0 ? r->ysize : 0;
    if (w < width) width = w;
    if (h < height) height = h;
  }
}

}  // namespace seqfx_common
