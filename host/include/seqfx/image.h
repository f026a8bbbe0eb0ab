// Host-side images: an ImageBuffer record together with the planes it owns.
#pragma once

#include "seqfx_plugin.h"

#include <cstddef>
#include <string>

namespace seqfx {

// An image record and its planes, owned by the host. The record is zeroed
// except for the fields the host sets; planes are allocated on request and
// freed with the image. A depth plane that a module attaches to an output
// image is adopted with adopt_module_zbuf() and freed with the image too.
class Image {
 public:
  // A width x height image with a zeroed rect plane (no rect when with_rect
  // is false). Sizes must be 0..32767, the range of the record's fields.
  Image(int width, int height, bool with_rect = true);
  // A width x height image whose rect plane is not cleared, for a reader
  // that fills every byte of it (a frame read whole from a stream).
  static Image unfilled(int width, int height);
  ~Image();
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;
  Image(Image &&other) noexcept;
  Image &operator=(Image &&other) noexcept;

  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t pixels() const { return (std::size_t)width_ * (std::size_t)height_; }

  ImageBuffer *record() { return record_; }
  const ImageBuffer *record() const { return record_; }

  // Planes (null when absent). Pixel (x, y) is at y * width + x, row 0 at
  // the bottom of the picture.
  unsigned char *rect() { return record_->rect; }
  const unsigned char *rect() const { return record_->rect; }
  int *zbuf() { return record_->zbuf; }
  const int *zbuf() const { return record_->zbuf; }
  float *floatbuf() { return record_->floatbuf; }
  const float *floatbuf() const { return record_->floatbuf; }

  unsigned char *pixel(int x, int y) { return record_->rect + 4 * ((std::size_t)y * width_ + x); }
  const unsigned char *pixel(int x, int y) const {
    return record_->rect + 4 * ((std::size_t)y * width_ + x);
  }

  // Allocate (zeroed) or free planes. Allocating an existing plane keeps it.
  unsigned char *add_rect();
  int *add_zbuf();
  float *add_floatbuf();
  void drop_rect();
  void drop_zbuf();
  void drop_floatbuf();

  // Sets the record's name (cut to fit its field); "" means unknown.
  void set_name(const std::string &name);
  std::string name() const { return record_->name; }

  // Takes over a depth plane a module stored in the record's zbuf field
  // (allocated with malloc); it is freed with free() together with the image.
  void adopt_module_zbuf();
  // True when the record's zbuf is a plane this image owns.
  bool owns_zbuf() const;

  // Fills every pixel with one colour.
  void fill(unsigned char r, unsigned char g, unsigned char b, unsigned char a);

 private:
  void release();
  int width_ = 0, height_ = 0;
  ImageBuffer *record_ = nullptr;
  unsigned char *own_rect_ = nullptr;
  int *own_zbuf_ = nullptr;
  float *own_float_ = nullptr;
};

}  // namespace seqfx
