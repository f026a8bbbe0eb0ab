// afterglow: the two version entries, the two descriptions and the traces
// of the init and parameter-changed entries of both roles.

#include "afterglow.h"

#include <cstdio>

using namespace afterglow_impl;

extern "C" {
SEQFX_DATA float cfra;
}

// The effect rewrites the name of the width row with the glow width it
// computed.
SEQFX_TABLE_OF(seq_varstr, SeqParams,
    SEQFX_LABEL_ROW("After Glow", 0, 0, 0, "Hier wird's heisz!"),
    SEQFX_FIELD_OF(SeqParams, width, PLUGIN_CODE_LABEL, "width", 0, 0, 0,
                   "Width of the glow effect"),
    SEQFX_FIELD_OF(SeqParams, q, PLUGIN_CODE_SLIDER_FLOAT, "q=", 0.1f, 0, 1,
                   "Width of the glow effect"),
    SEQFX_FIELD_OF(SeqParams, outside, PLUGIN_CODE_SLIDER_FLOAT, "extern=", 0.5f, 0, 1,
                   "Influence of the glow effect (outside)"),
    SEQFX_FIELD_OF(SeqParams, inside, PLUGIN_CODE_SLIDER_FLOAT, "intern=", 0.2f, 0, 1,
                   "Influence of the glow effect (inside)"),
    SEQFX_FIELD_OF(SeqParams, intensity, PLUGIN_CODE_SLIDER_FLOAT, "i=", 2, 0, 25,
                   "Glow intensity"),
    SEQFX_FIELD_OF(SeqParams, red, PLUGIN_CODE_SLIDER_FLOAT, "r=", 1, 0, 1, "Red"),
    SEQFX_FIELD_OF(SeqParams, green, PLUGIN_CODE_SLIDER_FLOAT, "g=", 1, 0, 1, "Green"),
    SEQFX_FIELD_OF(SeqParams, blue, PLUGIN_CODE_SLIDER_FLOAT, "b=", 1, 0, 1, "Blue"),
    SEQFX_FIELD_OF(SeqParams, texture, PLUGIN_CODE_SLIDER_INT, "TexturNr.=", -1, -1, 31,
                   "Num of the texture which can be used."),
    SEQFX_FIELD_OF(SeqParams, animated, PLUGIN_CODE_TOGGLE, "Animated", 0, 0, 1,
                   "For (Ipo) animated glowing"),
    SEQFX_FIELD_OF(SeqParams, show_weights, PLUGIN_CODE_TOGGLE, "Show weights", 0, 0, 1,
                   "Show weights"),
    SEQFX_FIELD_OF(SeqParams, use_background, PLUGIN_CODE_TOGGLE, "Use Background", 0, 0, 1,
                   "Use background pixels (alpha=0)"));

SEQFX_TABLE_OF(tex_varstr, TexParams,
    SEQFX_LABEL_ROW("Save Coords", 0, 0, 0, "Save the visible object coordinates for later use"),
    SEQFX_FIELD_OF(TexParams, texture, PLUGIN_CODE_SLIDER_INT, "TexturNr.", 0, 0, 31,
                   "Num of the texture which can be used."),
    SEQFX_FIELD_OF(TexParams, threshold, PLUGIN_CODE_SLIDER_FLOAT, "a-threshold=", 0, 0, 1,
                   "Only pixel with alpha>threshold are saved"));

namespace afterglow_impl {

char *width_label() { return seq_varstr[offsetof(SeqParams, width) / 4].name; }

}  // namespace afterglow_impl

namespace {

// 1 after plugin_seq_getversion, 0 after plugin_tex_getversion; a host that
// asks for the description first gets the texture's.
int sequence_plugin = 0;

char seq_name[24] = "Afterglow";
char tex_name[24] = "SaveScrCoords";
char stnames[3][PLUGIN_STNAME_LEN] = {"Save all", "Alpha!=0", "Alpha Threshold"};

void trace(const char *line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void trace_row(int row) {
  std::printf("%s=%d\t(=0x%x)\n", "but", row, (unsigned)row);
  std::fflush(stdout);
}

void seq_init() { trace("\t\tAfter Glow:\tPlugin_init()"); }
void tex_init() { trace("\t\tSave Coords:\tPlugin_init()"); }

void seq_but_changed(int row) {
  trace("\t\tAfter Glow:\tPlugin_but_changed()");
  trace_row(row);
  if (row == 9) trace("JETZT!");
}

void tex_but_changed(int row) {
  trace("\t\tSave Coords:\tPlugin_but_changed()");
  trace_row(row);
}

}  // namespace

namespace afterglow_impl {
float result[8];
}

SEQFX_EXPORT int plugin_seq_getversion(void) {
  sequence_plugin = 1;
  return SEQFX_PLUGIN_VERSION;
}

SEQFX_EXPORT int plugin_tex_getversion(void) {
  sequence_plugin = 0;
  return SEQFX_PLUGIN_VERSION;
}

// Describes the role chosen by the last version entry; both descriptions
// carry both effect entries and the texture's sub-types, so all eleven
// fields are written.
SEQFX_EXPORT void plugin_getinfo(PluginDescription *info) {
  std::printf("Getinfo: %s-plugin\n", sequence_plugin ? "Sequenz" : "Texure");
  std::fflush(stdout);
  if (sequence_plugin) {
    info->name = seq_name;
    info->varstr_count = seqfx_module::table_rows(seq_varstr);
    info->varstr = seqfx_module::table_data(seq_varstr);
    info->init = seq_init;
    info->but_changed = seq_but_changed;
  } else {
    info->name = tex_name;
    info->varstr_count = seqfx_module::table_rows(tex_varstr);
    info->varstr = seqfx_module::table_data(tex_varstr);
    info->init = tex_init;
    info->but_changed = tex_but_changed;
  }
  info->stnames = &stnames[0][0];
  info->stype_count = 3;
  info->result = result;
  info->cfra = &cfra;
  info->tex_doit = save_pixel_pos;
  info->seq_doit = afterglow;
}
