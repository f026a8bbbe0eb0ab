/*
 * Compile-time helpers for writing a seqfx sequence-effect module.
 *
 * A typical module states its display name, its parameter table bound to
 * its Params struct (SEQFX_TABLE with SEQFX_FIELD and SEQFX_LABEL rows) and
 * its effect, then expands SEQFX_STANDARD_ENTRIES to get the version,
 * description, init and parameter-changed entries. Nothing here is
 * shared at run time: every module compiles its own copy.
 */
#ifndef SEQFX_MODULE_H
#define SEQFX_MODULE_H

#include "seqfx_plugin.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <utility>

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

/* A row together with the offset of the Params field it fills (-1 for a
 * label, which fills none). Tables are written as lists of these so that a
 * row moved against its field is a compile error, not a silent mix-up. */
struct BoundRow {
  long offset;
  ParamDescriptor row;
};

/* The first row whose field does not sit at 4 x row, N when the table and
 * P are one slot per row, N + 1 when P's size does not match the count. */
template <class P, std::size_t N>
constexpr std::size_t first_unbound_row(const BoundRow (&rows)[N]) {
  for (std::size_t i = 0; i < N; ++i)
    if (rows[i].offset >= 0 && rows[i].offset != (long)(4 * i)) return i;
  return sizeof(P) == 4 * N ? N : N + 1;
}

template <std::size_t N, std::size_t... I>
constexpr std::array<ParamDescriptor, N> descriptors(const BoundRow (&rows)[N],
                                                     std::index_sequence<I...>) {
  return {{rows[I].row...}};
}
template <std::size_t N>
constexpr std::array<ParamDescriptor, N> descriptors(const BoundRow (&rows)[N]) {
  return descriptors(rows, std::make_index_sequence<N>{});
}

/* The address and row count of a table, whether it is a plain array or one
 * made by SEQFX_TABLE. */
template <std::size_t N>
constexpr ParamDescriptor *table_data(ParamDescriptor (&t)[N]) { return t; }
template <std::size_t N>
constexpr ParamDescriptor *table_data(std::array<ParamDescriptor, N> &t) { return t.data(); }
template <std::size_t N>
constexpr int table_rows(const ParamDescriptor (&)[N]) { return (int)N; }
template <std::size_t N>
constexpr int table_rows(const std::array<ParamDescriptor, N> &) { return (int)N; }

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

/* Parameter tables bound to their Params struct:
 *
 *   struct Params { int note; float pivot; };
 *   SEQFX_TABLE(varstr,
 *       SEQFX_LABEL("Note:"),
 *       SEQFX_FIELD(pivot, PLUGIN_CODE_SLIDER_FLOAT, "tpivot ", 0, 0, 1, "tip"));
 *
 * defines the exported table `varstr` and fails to compile unless every
 * field row's member of `Params` sits at 4 x its row and Params has one slot
 * per row. A label row's slot is never read; its member may have any name.
 * SEQFX_TABLE_OF(table, Struct, ...) and SEQFX_FIELD_OF(Struct, field, ...)
 * do the same for a struct of another name (a module with two tables). */
#define SEQFX_FIELD_OF(PARAMS, field, code, name, def, min, max, tip) \
  seqfx_module::BoundRow{(long)offsetof(PARAMS, field), SEQFX_ROW(code, name, def, min, max, tip)}
#define SEQFX_FIELD(field, code, name, def, min, max, tip) \
  SEQFX_FIELD_OF(Params, field, code, name, def, min, max, tip)
#define SEQFX_LABEL(name) \
  seqfx_module::BoundRow{-1, SEQFX_ROW(PLUGIN_CODE_LABEL, name, 0, 0, 0, "")}
/* A label row with the tip, default or bounds some tables give their labels. */
#define SEQFX_LABEL_ROW(name, def, min, max, tip) \
  seqfx_module::BoundRow{-1, SEQFX_ROW(PLUGIN_CODE_LABEL, name, def, min, max, tip)}

#define SEQFX_TABLE_OF(TABLE, PARAMS, ...)                                            \
  static constexpr seqfx_module::BoundRow seqfx_rows_##TABLE[] = {__VA_ARGS__};        \
  static_assert(seqfx_module::first_unbound_row<PARAMS>(seqfx_rows_##TABLE) ==         \
                    std::size(seqfx_rows_##TABLE),                                     \
                "a Params field is not at 4 x its row, or Params is not one slot per row"); \
  extern "C" {                                                                         \
  SEQFX_DATA std::array<ParamDescriptor, std::size(seqfx_rows_##TABLE)> TABLE =        \
      seqfx_module::descriptors(seqfx_rows_##TABLE);                                   \
  }                                                                                    \
  static_assert(sizeof(TABLE) == sizeof(ParamDescriptor) * std::size(seqfx_rows_##TABLE), \
                "the exported table is a plain array of rows")
#define SEQFX_TABLE(TABLE, ...) SEQFX_TABLE_OF(TABLE, Params, __VA_ARGS__)

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
    info->varstr_count = seqfx_module::table_rows(VARSTR);                    \
    info->varstr = seqfx_module::table_data(VARSTR);                          \
    info->cfra = &(CFRA);                                                     \
    info->init = plugin_init;                                                 \
    info->but_changed = plugin_but_changed;                                   \
    info->seq_doit = (DOIT);                                                  \
  }

#endif /* SEQFX_MODULE_H */
