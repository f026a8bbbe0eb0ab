// strobe: passes the first strip through, except on every n-th frame (by
// the host's frame number), which flashes white, inverted, or to the second
// strip.

#include "frame_extent.h"
#include "seqfx_module.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

using seqfx_extent::row;

// One 4-byte slot per table row.
struct Params {
  int note;
  int white;   // row 1: flash white
  int alpha;   // row 2: flash to the second strip
  int frames;  // row 3: a flash every this many frames
};

// A frame flashes when frame / n, in single precision, has no fractional
// part: frame 0 and the negative multiples included, fractional frame
// numbers excluded. n below the widget's minimum 2 counts as 2, so that a
// zero or negative slot never divides by zero.
bool flash_frame(float frame, int n) {
  const float q = frame / (float)(n < 2 ? 2 : n);
  return q - std::trunc(q) == 0.0f;
}

enum class Flash { none, white, invert, second };

// 255 - b for every byte (alpha included), eight bytes at a time; each
// word is read before it is written, so src may be dst.
void invert_bytes(const unsigned char *src, unsigned char *dst, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, src + i, 8);
    w = ~w;
    std::memcpy(dst + i, &w, 8);
  }
  for (; i < n; ++i) dst[i] = (unsigned char)(255 - src[i]);
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Stroboscope";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("Input: >=1 strip"),
    SEQFX_FIELD(white, PLUGIN_CODE_TOGGLE, "White Flash", 0, 0, 1, ""),
    SEQFX_FIELD(alpha, PLUGIN_CODE_TOGGLE, "Alpha Flash", 0, 0, 1, "Use Alpha or 2nd Strip"),
    SEQFX_FIELD(frames, PLUGIN_CODE_SLIDER_INT, "Frames:", 2, 2, 25, "Which Frames?"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                  ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  const bool flash = flash_frame(cfra, p->frames);
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) return;

  // The second strip counts only when it is another image with pixels.
  const bool second = ibuf2 && ibuf2 != ibuf1 && ibuf2->rect;
  if (!second) {
    std::printf("no ibuf2!\n");
    std::fflush(stdout);
  }

  const Flash kind = !flash ? Flash::none
                     : p->white ? Flash::white
                     : !p->alpha ? Flash::invert
                                 : Flash::second;

  // The frame is ibuf1's size, cut to out; rows are addressed with each
  // image's own length. memmove throughout: out may be an input.
  const seqfx_extent::Extent e =
      seqfx_extent::common_extent(ibuf1->xsize, ibuf1->ysize, {ibuf1, out});
  // The part of the frame the second strip covers; the rest of a flash to
  // it is transparent black.
  const seqfx_extent::Extent e2 =
      second ? seqfx_extent::common_extent(e.cols, e.rows, {ibuf2}) : seqfx_extent::Extent{};
  const std::size_t row_bytes = (std::size_t)4 * (e.empty() ? 0 : e.cols);
  for (int y = 0; y < e.rows; ++y) {
    unsigned char *dst = row(out, y);
    const unsigned char *src = row(ibuf1, y);
    switch (kind) {
      case Flash::none:
        std::memmove(dst, src, row_bytes);
        break;
      case Flash::white:
        std::memset(dst, 255, row_bytes);
        break;
      case Flash::invert:
        invert_bytes(src, dst, row_bytes);
        break;
      case Flash::second: {
        const std::size_t covered = y < e2.rows ? (std::size_t)4 * e2.cols : 0;
        if (covered) std::memmove(dst, row(ibuf2, y), covered);
        std::memset(dst + covered, 0, row_bytes - covered);
        break;
      }
    }
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
