// alphascale: undoes premultiplied alpha by dividing the colour of every
// partly transparent pixel by its alpha, or shows the alpha as grey.
//
// This module has the reduced entry set: a version entry, the description
// and the effect `plugin_doit`; no init or parameter-changed entries.

#include "seqfx_module.h"

#include <emmintrin.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using seqfx_module::pixel_count;

// One 4-byte slot per table row.
struct Params {
  int label_input;
  int show_alpha;
};

const char *const kChannel[3] = {"red", "green", "blue"};

}  // namespace

extern "C" {
SEQFX_DATA float cfra = 0.0f;
}
SEQFX_TABLE(varstr,
    SEQFX_LABEL("In: 1 Strip"),
    SEQFX_FIELD(show_alpha, PLUGIN_CODE_TOGGLE, "Show alpha", 0, 0, 1,
                "Show the alpha channel as a greyscale image"));

SEQFX_EXPORT int plugin_seq_getversion(void) { return SEQFX_PLUGIN_VERSION; }

SEQFX_EXPORT void plugin_doit(void *params, float, float, int, int, ImageBuffer *ibuf1,
                                   ImageBuffer *, ImageBuffer *out, ImageBuffer *) {
  const Params *p = static_cast<const Params *>(params);
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect) {
    std::fprintf(stderr, "NULL passed to plugin!\n");
    return;
  }
  // The pixel count is ibuf1's own size; never walk past a smaller output.
  long n = pixel_count(ibuf1);
  if (pixel_count(out) < n) n = pixel_count(out);
  const unsigned char *src = ibuf1->rect;
  unsigned char *dst = out->rect;

  if (p->show_alpha) {
    for (long i = 0; i < n; ++i, src += 4, dst += 4) {
      dst[0] = dst[1] = dst[2] = src[3];
      dst[3] = 255;
    }
    return;
  }

  // c * 255 / a in double precision, rounded up when it has a fraction and
  // limited to 255, for every alpha 1..254 and colour 0..alpha: a table
  // row per alpha, filled when the frame first needs it.
  unsigned char scaled[255][256];
  bool filled[255] = {};
  const int xsize = ibuf1->xsize;
  const __m128i amask = _mm_set1_epi32((int)0xFF000000u), none = _mm_setzero_si128();
  for (long i = 0; i < n; ++i, src += 4, dst += 4) {
    // Four pixels that are all opaque or all fully transparent pass as
    // they are, in one store.
    if ((i & 3) == 0 && i + 4 <= n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
      const __m128i alpha = _mm_and_si128(v, amask);
      const __m128i pass = _mm_or_si128(_mm_cmpeq_epi32(alpha, amask), _mm_cmpeq_epi32(alpha, none));
      if (_mm_movemask_epi8(pass) == 0xFFFF) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), v);
        i += 3;
        src += 12;
        dst += 12;
        continue;
      }
    }
    const int a = src[3];
    if (a == 0 || a == 255) {
      std::memcpy(dst, src, 4);
      continue;
    }
    if (!filled[a]) {
      for (int c = 0; c <= a; ++c) {
        const double v = std::ceil((double)c * 255 / a);
        scaled[a][c] = (unsigned char)(v > 255.0 ? 255 : (int)v);
      }
      filled[a] = true;
    }
    for (int k = 0; k < 3; ++k) {
      int c = src[k];
      if (c > a) {
        std::fprintf(stderr, "%s > alpha at %d,%d - really premul?", kChannel[k], (int)(i % xsize),
                     (int)(i / xsize));
        c = a;
      }
      dst[k] = scaled[a][c];
    }
    dst[3] = (unsigned char)a;
  }
}

SEQFX_EXPORT void plugin_getinfo(PluginDescription *info) {
  std::memset(info, 0, sizeof *info);
  info->name = "AlphaScale";
  info->varstr_count = seqfx_module::table_rows(varstr);
  info->varstr = seqfx_module::table_data(varstr);
  info->cfra = &cfra;
  info->seq_doit = plugin_doit;
}
