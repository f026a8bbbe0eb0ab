// The part of a frame that lies inside every image a module touches, and
// row addressing that uses each image's own width as its row length.
//
// Hosts normally pass images of the frame's size; a record that is smaller,
// or a size that is negative, must never lead a module outside a plane.
#pragma once

#include "seqfx_plugin.h"

#include <cstddef>
#include <initializer_list>

namespace seqfx_extent {

struct Extent {
  int cols = 0;
  int rows = 0;
  bool empty() const { return cols <= 0 || rows <= 0; }
};

// cols x rows of a frame of width x height, cut to every image given
// (null images are skipped; a negative size counts as 0).
inline Extent common_extent(int width, int height,
                            std::initializer_list<const ImageBuffer *> imgs) {
  Extent e{width > 0 ? width : 0, height > 0 ? height : 0};
  for (const ImageBuffer *img : imgs) {
    if (!img) continue;
    if (img->xsize < e.cols) e.cols = img->xsize > 0 ? img->xsize : 0;
    if (img->ysize < e.rows) e.rows = img->ysize > 0 ? img->ysize : 0;
  }
  return e;
}

// Row y of an image's pixel plane (4 bytes per pixel, xsize pixels a row).
inline unsigned char *row(const ImageBuffer *img, int y) {
  return img->rect + (std::size_t)4 * (std::size_t)y * (std::size_t)img->xsize;
}

}  // namespace seqfx_extent
