// The pixels of an input image as a module that moves pixels around may
// read them while it writes the output. A host may hand the same image (or
// overlapping planes) as input and output; reading positions other than the
// one being written would then see pixels already moved. In that case the
// input is first copied into a private buffer, freed by the destructor.
#ifndef SEQFX_COMMON_STABLE_SOURCE_H
#define SEQFX_COMMON_STABLE_SOURCE_H

#include "seqfx_plugin.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace seqfx_common {

class StableSource {
 public:
  // `who` names the module in the line printed when the copy cannot be made.
  StableSource(const ImageBuffer *in, const ImageBuffer *out, const char *who) {
    const unsigned char *src = in->rect;
    const std::size_t n = bytes(in);
    if (!src || !out->rect || !n || !overlaps(src, n, out->rect, bytes(out))) {
      pixels_ = src;
      return;
    }
    copy_ = static_cast<unsigned char *>(std::malloc(n));
    if (!copy_) {
      std::printf("%s: not enough memory to copy the input\n", who);
      return;
    }
    std::memcpy(copy_, src, n);
    pixels_ = copy_;
  }
  ~StableSource() { std::free(copy_); }
  StableSource(const StableSource &) = delete;
  StableSource &operator=(const StableSource &) = delete;

  // Null when the input has no pixels or its copy could not be made.
  const unsigned char *pixels() const { return pixels_; }

  static std::size_t bytes(const ImageBuffer *img) {
    if (img->xsize <= 0 || img->ysize <= 0) return 0;
    return (std::size_t)img->xsize * (std::size_t)img->ysize * 4;
  }

 private:
  static bool overlaps(const unsigned char *a, std::size_t na, const unsigned char *b,
                       std::size_t nb) {
    const std::uintptr_t a0 = (std::uintptr_t)a, b0 = (std::uintptr_t)b;
    return a0 < b0 + nb && b0 < a0 + na;
  }

  const unsigned char *pixels_ = nullptr;
  unsigned char *copy_ = nullptr;
};

}  // namespace seqfx_common

#endif
