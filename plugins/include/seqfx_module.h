/*
 * Compile-time helpers for writing a seqfx sequence-effect module.
 *
 * A typical module states its display name, its parameter table (with
 * SEQFX_ROW) and its effect, then expands SEQFX_STANDARD_ENTRIES to get the
 * version, description, init and parameter-changed entries. Nothing here is
 * shared at run time: every module compiles its own copy.
 */
#ifndef SEQFX_MODULE_H
#define SEQFX_MODULE_H

#include "seqfx_plugin.h"

#include <cstddef>

/* Marks a function the host looks up by its plain name. */
#define SEQFX_EXPORT extern "C" __attribute__((visibility("default")))
/* Marks exported data; define it inside an extern "C" { } block:
 *   extern "C" { SEQFX_DATA float cfra; } */
#define SEQFX_DATA __attribute__((visibility("default")))

namespace seqfx_module {

/* Builds one table row at compile time. The label may fill its 16-byte
 * field completely (no terminator), as the row format allows. */
template <std::size_t N, std::size_t M>
constexpr ParamDescriptor row(int code, const char (&name)[N], float def,
                              float min, float max, const char (&tip)[M]) {
  static_assert(N - 1 <= PLUGIN_NAME_LEN, "row label longer than 16 characters");
  static_assert(M <= PLUGIN_TIP_LEN, "row tip does not fit its 80-byte field");
  ParamDescriptor r{};
  r.code = code;
  for (std::size_t i = 0; i + 1 < N; ++i) r.name[i] = name[i];
  r.def = def;
  r.min = min;
  r.max = max;
  for (std::size_t i = 0; i + 1 < M; ++i) r.tip[i] = tip[i];
  return r;
}

/* Pixels an image record holds (0 for a negative size). */
inline long pixel_count(const ImageBuffer *img) {
  return (long)(img->xsize > 0 ? img->xsize : 0) * (img->ysize > 0 ? img->ysize : 0);
}

/* Pixels a module that counts from its input may walk: the input's own
 * count, but never more than the output holds. */
inline long pixels_to_walk(const ImageBuffer *in, const ImageBuffer *out) {
  const long n = pixel_count(in), n_out = pixel_count(out);
  return n_out < n ? n_out : n;
}

/* A factor or slider limited to 0..1; a value that is not a number counts
 * as 0, so that whatever the host passes every byte computed stays defined. */
inline float unit(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v > 1.0f ? 1.0f : v;
}

}  // namespace seqfx_module

#define SEQFX_ROW(code, name, def, min, max, tip) \
  seqfx_module::row((code), name, (def), (min), (max), tip)

/* The version, description, init and parameter-changed entries of a
 * standard module. NAME, VARSTR and CFRA are the module's exported display
 * name, table and frame cell; DOIT its exported effect entry. The
 * description fills exactly the seven fields a sequence effect provides and
 * leaves the rest as the host passed them. */
#define SEQFX_STANDARD_ENTRIES(NAME, VARSTR, CFRA, DOIT)                      \
  SEQFX_EXPORT int plugin_seq_getversion(void) { return SEQFX_PLUGIN_VERSION; } \
  SEQFX_EXPORT void plugin_init(void) {}                                      \
  SEQFX_EXPORT void plugin_but_changed(int) {}                                \
  SEQFX_EXPORT void plugin_getinfo(PluginDescription *info) {                 \
    info->name = (NAME);                                                      \
    info->varstr_count = (int)(sizeof(VARSTR) / sizeof((VARSTR)[0]));         \
    info->varstr = (VARSTR);                                                  \
    info->cfra = &(CFRA);                                                     \
    info->init = plugin_init;                                                 \
    info->but_changed = plugin_but_changed;                                   \
    info->seq_doit = (DOIT);                                                  \
  }

#endif /* SEQFX_MODULE_H */
