// depthkit: a toolbox for a frame's depth plane. Seven modes turn the depth
// into a grey gradient, a three-colour depth view, a depth-of-field mask or
// a raw 32-bit snapshot, or mask the picture inside or outside a depth range.
// Depth values are shown and entered in millions (z / 1000000).

#include "seqfx_module.h"
#include "clamps.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using seqfx_common::low_byte;

// One 4-byte slot per table row.
struct Params {
  int depth_dump;           // tri-toggle "Depth/dumpZ"
  int view_dof;             // tri-toggle "viewZ/DOFmask"
  int mask_inv;             // tri-toggle "maskZ/invmask"
  int setup_done;           // label: set once the first-call set-up has run
  unsigned char colour[4];  // mask colour
  int alpha;                // mask alpha (low byte used)
  int auto_select;
  float start_z, end_z;     // selected range in millions
  int dof_clip;
  int front, rear;
  int prev_mode;            // label: mode of the last call
  int output_zbuf;
  int use_ibuf2;
  int inv_gradient;
  int verbose;              // tri-toggle: 0 quiet, 1 info, other TMI
};

const float kLowest = -2147.4836f;   // nearest float to -2147.483648
const float kHighest = 2147.4836f;

const char *const kModeNames[7] = {
    "lurking",         "view Z",          "DOF mask", "8bit gray depth Z", "dump Z to image buffer",
    "mask outside selected Z", "mask selected Z"};
const char kBanner[] = "\n**********Depthkit WARNING**********\n";

// Name of the label row that keeps the mode of the last call, printed in
// each call's header line.
const char *butstr;

void print_range_note() {
  std::printf("\nThe zbuffer has 32 bits with a range of 4 gig [-2147483648 -> +2147483647]\n");
  std::printf("            The z-values shown  are\n    divided by 1 million to make adjustment easier\n");
}

// Prints an image's name followed by "...", or the hint for a nameless one.
void print_name(const ImageBuffer *ib) {
  const size_t len = strnlen(ib->name, sizeof(ib->name));
  if (len == 0)
    std::printf("must be scene strip...");
  else
    std::printf("%.*s...", (int)len, ib->name);
}

void invcol(unsigned char *px, long count) {
  for (long i = 0; i < count; ++i, px += 4) {
    px[0] = (unsigned char)(255 - px[0]);
    px[1] = (unsigned char)(255 - px[1]);
    px[2] = (unsigned char)(255 - px[2]);
  }
}

// A pixel carries a depth value most significant byte first (red) to least
// significant byte last (alpha), whatever the processor's byte order.
inline int pixel_to_depth(const unsigned char *p) {
  const std::uint32_t u = (std::uint32_t)p[0] << 24 | (std::uint32_t)p[1] << 16 |
                          (std::uint32_t)p[2] << 8 | (std::uint32_t)p[3];
  return (int)u;
}

inline void depth_to_pixel(int z, unsigned char *p) {
  const std::uint32_t u = (std::uint32_t)z;
  p[0] = (unsigned char)(u >> 24);
  p[1] = (unsigned char)(u >> 16);
  p[2] = (unsigned char)(u >> 8);
  p[3] = (unsigned char)u;
}

// Number of significant bits of v (0 for 0).
int bit_length(std::uint32_t v) {
  int n = 0;
  while (v) {
    ++n;
    v >>= 1;
  }
  return n;
}

// (highest - lowest) x 1000000 as an unsigned 32-bit integer. The full span
// of the depth range gives 4294967296, one past the type: it is held at the
// largest value, and a negative span cannot occur on a non-empty frame.
std::uint32_t span_units(float span) {
  const float u = span * 1000000.0f;
  if (!(u > 0.0f)) return 0;
  if (u >= 4294967296.0f) return 0xFFFFFFFFu;
  return (std::uint32_t)u;
}

int arbitrate(Params *p) {
  const int prev = p->prev_mode;
  if (p->view_dof != 0 && prev > 2) {
    p->depth_dump = 0;
    p->mask_inv = 0;
  } else if (p->depth_dump != 0 && prev != 3 && prev != 4) {
    p->view_dof = 0;
    p->mask_inv = 0;
  } else if (p->mask_inv != 0 && prev < 5) {
    p->view_dof = 0;
    p->depth_dump = 0;
  }
  int mode = 0;
  if (p->view_dof != 0)
    mode = p->view_dof == 1 ? 1 : 2;
  else if (p->depth_dump != 0)
    mode = p->depth_dump == 1 ? 3 : 4;
  else if (p->mask_inv != 0)
    mode = p->mask_inv == 1 ? 5 : 6;
  p->prev_mode = mode;
  return mode;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "Depthkit v.2a";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(depth_dump, PLUGIN_CODE_TRITOGGLE, "Depth/dumpZ", 0, 0, 1,
                "grayscale from start-z to end-z, mask outside selection || dump Z to rgba image"),
    SEQFX_FIELD(view_dof, PLUGIN_CODE_TRITOGGLE, "viewZ/DOFmask", 1, 0, 1,
                "show z as 3 gradients: Red<start-z, Gray=select z, Blue>end-z || DOF mask"),
    SEQFX_FIELD(mask_inv, PLUGIN_CODE_TRITOGGLE, "maskZ/invmask", 0, 0, 1,
                "mask outside || inside selection"),
    SEQFX_FIELD(setup_done, PLUGIN_CODE_LABEL, "maskcol+alpha", 0, 0, 0,
                "color and alpha used for masking output"),
    SEQFX_FIELD(colour, PLUGIN_CODE_COLOUR, "color", 0, 0, 255, "mask color"),
    SEQFX_FIELD(alpha, PLUGIN_CODE_NUMBER_INT, "Alpha: ", 0, 0, 255,
                "alpha component of mask color"),
    SEQFX_FIELD(auto_select, PLUGIN_CODE_TOGGLE, "auto select", 1, 0, 1,
                "set start-z to closest and end-z to farthest nontransparent pixel in frame"),
    SEQFX_FIELD(start_z, PLUGIN_CODE_NUMBER_FLOAT, ">Z ", -2147.4836f, -2147.4836f, 2147.4829f,
                "start-z value of selection (in millions) -auto range must be off to change"),
    SEQFX_FIELD(end_z, PLUGIN_CODE_NUMBER_FLOAT, "<Z ", 2147.4836f, -2147.4836f, 2147.4836f,
                "end-z value of selection (in millions) -auto range must be off to change"),
    SEQFX_FIELD(dof_clip, PLUGIN_CODE_TOGGLE, "DOF clip", 0, 0, 1,
                "clip near/far gradients for DOF mask"),
    SEQFX_FIELD(front, PLUGIN_CODE_NUMBER_INT, "front", 255, 0, 255,
                "clipping value for near DOF mask"),
    SEQFX_FIELD(rear, PLUGIN_CODE_NUMBER_INT, "rear", 255, 0, 255,
                "clipping value for far DOF mask"),
    SEQFX_FIELD(prev_mode, PLUGIN_CODE_LABEL, "Depthkit v.2a", 0, 0, 0,
                "if attached to only one strip, it must be either scene or IRIZ"),
    SEQFX_FIELD(output_zbuf, PLUGIN_CODE_TOGGLE, "output zbuf", 0, 0, 1,
                "insert zbuf into output image for composting"),
    SEQFX_FIELD(use_ibuf2, PLUGIN_CODE_TOGGLE, "use ibuf2", 0, 0, 1,
                "use ibuf2 (if present) for zbuf(only if no zbuf in ibuf1)"),
    SEQFX_FIELD(inv_gradient, PLUGIN_CODE_TOGGLE, "inv gradient", 0, 0, 1,
                "invert to white closest for gradient"),
    SEQFX_FIELD(verbose, PLUGIN_CODE_TRITOGGLE, "verbose / TMI", 1, 0, 256,
                "output info to the console or (probably)Too Much Info"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out,
                                  ImageBuffer *) {
  Params *p = static_cast<Params *>(params);
  butstr = varstr[offsetof(Params, prev_mode) / 4].name;
  // Without the first strip's pixels or the output's there is nothing to
  // read or write: the frame is left as it is.
  if (!ibuf1 || !ibuf1->rect || !out || !out->rect) return;
  // Records holding fewer pixels than the frame limit the walk.
  long n = width > 0 && height > 0 ? (long)width * height : 0;
  n = std::min({n, seqfx_module::pixel_count(ibuf1), seqfx_module::pixel_count(out)});

  int front = 255, rear = 255;
  if (p->dof_clip) {
    front = p->front;
    rear = p->rear;
  }

  if (p->setup_done == 0) {
    if (!p->colour[0] && !p->colour[1] && !p->colour[2] && !p->colour[3]) p->colour[1] = 255;
    p->verbose = 1;
    p->view_dof = 1;
    p->setup_done = 1;
    print_range_note();
  }

  std::printf("\n%s...frame #%d...(%dx%d)...\nibuf1: ", butstr, (int)cfra, width, height);
  if (p->verbose) print_name(ibuf1);

  // The working depth plane: ibuf1's, else ibuf2's, else ibuf2's pixels
  // decoded into a plane of our own.
  const int *zbuf = nullptr;
  int *decoded = nullptr;
  if (ibuf1->zbuf) {
    zbuf = ibuf1->zbuf;
    p->use_ibuf2 = 0;
  } else {
    if (out->rect != ibuf1->rect) std::memcpy(out->rect, ibuf1->rect, (size_t)n * 4);
    std::printf("No zbuf...\n");
    // A second strip without pixels or depth has nothing to import either.
    if (!ibuf2 || ibuf2 == ibuf1 || (!ibuf2->zbuf && !ibuf2->rect)) {
      std::printf("\n     ->and no second strip to use for one\n...you need to add a rgba depth image or\n"
                  "...the origional scene strip to plugin\n");
      invcol(out->rect, n);
      p->output_zbuf = 0;
      return;
    }
    std::printf("ibuf2: ");
    if (p->verbose) print_name(ibuf2);
    const bool has_z = ibuf2->zbuf != nullptr;
    if (has_z)
      std::printf("with zbuf...\n...strip 2 zbuffer(ibuf2->zbuf) is avalable for import to zbuf...\n");
    else
      std::printf("no zbuf...\n...strip 2 image(ibuf2->rect) is avalable for import to zbuf...\n");
    if (!p->use_ibuf2) {
      std::printf("\n     ->toggle [use ibuf2] to use ibuf2->%s for working zbuffer\n", has_z ? "zbuf" : "rect");
      p->output_zbuf = 0;
      invcol(out->rect, n);
      return;
    }
    n = std::min(n, seqfx_module::pixel_count(ibuf2));
    if (has_z) {
      zbuf = ibuf2->zbuf;
    } else {
      // The pixels hold big-endian depth values; reading them as ints in
      // place would give the processor's byte order. The decoded plane is
      // handed to the output image when "output zbuf" is on, else freed.
      decoded = static_cast<int *>(std::malloc((size_t)(n ? n : 1) * sizeof(int)));
      if (!decoded) {
        std::printf("\n     ->not enough memory to import ibuf2->rect\n");
        p->output_zbuf = 0;
        invcol(out->rect, n);
        return;
      }
      for (long i = 0; i < n; ++i) decoded[i] = pixel_to_depth(ibuf2->rect + 4 * i);
      zbuf = decoded;
    }
    std::printf("Z-buffer imported from ibuf2->%s...", has_z ? "zbuf" : "rect");
  }

  if (p->verbose) std::printf("working zbuf detected...\n");
  if (p->output_zbuf) {
    out->zbuf = const_cast<int *>(zbuf);
    decoded = nullptr;  // belongs to the output image now
    if (p->verbose) std::printf("zbuf exported to output image(out->zbuf linked to working zbuf) ...\n");
  }

  float lowest = kHighest, highest = kLowest, far = kLowest;
  const unsigned char *src = ibuf1->rect;
  for (long i = 0; i < n; ++i) {
    const float d = (float)zbuf[i] / 1000000.0f;
    if (d < lowest) lowest = d;
    if (d > highest) highest = d;
    if (src[4 * i + 3] == 255 && d > far) far = d;
  }

  const int mode = arbitrate(p);

  if (p->auto_select) {
    p->start_z = lowest;
    p->end_z = far;
  }
  float start = p->start_z, end = p->end_z;
  if (start > end) {
    p->start_z = end;
    p->end_z = start;
    const float t = start;
    start = end;
    end = t;
    std::printf("\n%s\n* start z must be smaller than end z\n* start z and end z have been switched\n%s\n",
                kBanner, kBanner);
  }
  if ((mode == 2 || mode == 5 || mode == 6) && p->auto_select)
    std::printf("\n%s\n* Turn off autoselect\n* Then adjust start-z and end-Z for proper effect\n%s\n",
                kBanner, kBanner);

  const unsigned char mask[4] = {p->colour[0], p->colour[1], p->colour[2], (unsigned char)p->alpha};

  if (p->verbose) {
    if (p->verbose != 1) {
      print_range_note();
      std::printf("This frame's closest and farthest pixels are %f million Z units apart\n",
                  (double)(highest - lowest));
      std::printf("     and uses %d of the available 32 bits\n", bit_length(span_units(highest - lowest)));
    }
    std::printf("\nDepthkit mode: %s", kModeNames[mode]);
  }

  unsigned char *dst = out->rect;
  if (mode == 4) {
    for (long i = 0; i < n; ++i) depth_to_pixel(zbuf[i], dst + 4 * i);
    if (p->verbose) {
      std::printf("\n\nibuf1->zbuf dumped into out->rect...\n");
      std::printf("     output is now 32bit RGBA snapshot of zbuffer\n"
                  "     save this z-buffer image as a rgba for depth file\n");
    }
    std::free(decoded);
    return;
  }

  if (p->verbose) {
    if (mode >= 1 && mode <= 3) std::printf(", %s gradient", p->inv_gradient ? "inverted" : "normal");
    std::printf("\n");
    if (p->dof_clip) std::printf("DOF gradient clip active: near clip=%d, far clip=%d\n", front, rear);
    if (mode != 0 && mode != 2)
      std::printf("    mask color: red %u; green %u; blue %u; alpha %u\n", (unsigned)mask[0],
                  (unsigned)mask[1], (unsigned)mask[2], (unsigned)mask[3]);
    if (p->auto_select) std::printf("auto select on [toggle off to change selected z-values]\n");
    std::printf("   Selected range start Z: %12.6f;     end Z: %12.6f\n", (double)start, (double)end);
    std::printf("    This frame's lowest Z: %12.6f; highest Z: %12.6f\n", (double)lowest, (double)highest);
  }

  const bool inv = p->inv_gradient != 0;
  for (long i = 0; i < n; ++i) {
    const unsigned char *s = src + 4 * i;
    unsigned char *o = dst + 4 * i;
    const float d = (float)zbuf[i] / 1000000.0f;
    const unsigned char *from = s;  // ibuf1 pixel, the mask colour, or o itself
    unsigned char px[4];
    if (mode == 0) {
      from = s;
    } else if (d >= start && d <= end) {
      if (mode == 5) {
        from = s;
      } else if (mode == 6) {
        from = mask;
      } else {
        // A range of one depth value has no gradient: its pixels count as
        // lying at its start.
        unsigned char g = 0;
        if (mode != 2 && end > start) g = low_byte((d - start) / (end - start) * 255.0f);
        if (inv) g = (unsigned char)(255 - g);
        px[0] = px[1] = px[2] = g;
        px[3] = 255;
        from = px;
      }
    } else if (mode == 1 || mode == 2) {
      const bool below = d < start;
      unsigned char c = below ? low_byte((start - d) / (start - lowest) * (float)front)
                              : low_byte((d - end) / (highest - end) * (float)rear);
      if (inv) c = (unsigned char)(255 - c);
      if (mode == 2) {
        px[0] = px[1] = px[2] = c;
        px[3] = 255;
      } else if (below) {
        px[0] = 255;
        px[1] = (unsigned char)(255 - c);
        px[2] = 0;
        px[3] = mask[3];
      } else {
        px[0] = 0;
        px[1] = c;
        px[2] = 255;
        px[3] = mask[3];
      }
      from = px;
    } else {
      from = mode == 6 ? s : mask;
    }
    o[0] = from[0];
    o[1] = from[1];
    o[2] = from[2];
    o[3] = from[3];
  }
  std::free(decoded);
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
