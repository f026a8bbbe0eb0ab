// Marking the lit pixels of the beam and their surroundings.
#pragma once

// Sets R, G, B of pixel (column, row) of dst; leaves its A byte.
void fill(unsigned char *dst, int width, int column, int row, unsigned char r, unsigned char g,
          unsigned char b);

// Paints in dst, with the colour r, g, b, every pixel of src whose R, G or B
// exceeds threshold and, for expand > 1, the four diagonal squares of
// (expand - 1)^2 pixels around it: offsets (+-k, +-l) for k, l = 1 ..
// expand-1, inside the image. Every pixel of dst is written: the painted
// ones as r, g, b with A 0, the others as four zero bytes, what painting
// onto a black image with A 0 gives. src and dst are different images.
void expandPixels(const unsigned char *src, unsigned char *dst, int width, int height, int expand,
                  int threshold, unsigned char r, unsigned char g, unsigned char b);
