// afterglow: the cancel picture, shown when no glow can be made.

#include "afterglow.h"

#include <cstring>
#include <initializer_list>

namespace afterglow_impl {

void cancel_pict(int width, int height, unsigned char *pixels) {
  if (!pixels || width <= 0 || height <= 0) return;
  std::memset(pixels, 16, (std::size_t)width * (std::size_t)height * 4);
  const int n = width < height ? width : height;
  const int r0 = (height - n) >> 1;
  const int c0 = (width - n) >> 1;
  for (int i = 0; i < n; ++i) {
    const std::size_t row = (std::size_t)(r0 + i) * (std::size_t)width;
    for (int col : {c0 + i, c0 + n - 1 - i}) {
      unsigned char *p = pixels + 4 * (row + (std::size_t)col);
      p[0] = (unsigned char)(255 - 2 * i);
      p[1] = (unsigned char)(5 * i);
      p[2] = (unsigned char)(3 * i);
      p[3] = 255;
    }
  }
}

}  // namespace afterglow_impl
