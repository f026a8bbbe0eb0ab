/*
 * seqfx plug-in interface: the records and entry points shared by the host
 * and every sequence-effect module.
 *
 * Usable from C and C++. All records use the natural layout of their field
 * order; on a 32-bit (ILP32) build that layout is exactly the host's binary
 * layout, which the static assertions at the end of this file check.
 */
#ifndef SEQFX_PLUGIN_H
#define SEQFX_PLUGIN_H

#ifdef __cplusplus
extern "C" {
#endif

/* The interface version every version entry returns. */
#define SEQFX_PLUGIN_VERSION 3

/* Widget kinds (high byte of a row's code). */
#define PLUGIN_LABEL      0x1400
#define PLUGIN_SLIDER     0x1C00
#define PLUGIN_NUMBER     0x0A00
#define PLUGIN_TOGGLE     0x0600
#define PLUGIN_TRITOGGLE  0x0E00
#define PLUGIN_COLOUR     0x1E00
#define PLUGIN_TEXT       0x0C00
#define PLUGIN_KIND_MASK  0xFF00

/* Value types (low byte of a row's code). */
#define PLUGIN_CHAR       0x20
#define PLUGIN_SHORT      0x40
#define PLUGIN_INT        0x60
#define PLUGIN_FLOAT      0x80
#define PLUGIN_TYPE_MASK  0x00FF

/* The nine codes that occur in parameter tables. */
#define PLUGIN_CODE_LABEL        (PLUGIN_LABEL)
#define PLUGIN_CODE_SLIDER_INT   (PLUGIN_SLIDER | PLUGIN_INT)
#define PLUGIN_CODE_SLIDER_FLOAT (PLUGIN_SLIDER | PLUGIN_FLOAT)
#define PLUGIN_CODE_NUMBER_INT   (PLUGIN_NUMBER | PLUGIN_INT)
#define PLUGIN_CODE_NUMBER_FLOAT (PLUGIN_NUMBER | PLUGIN_FLOAT)
#define PLUGIN_CODE_TOGGLE       (PLUGIN_TOGGLE | PLUGIN_INT)
#define PLUGIN_CODE_TRITOGGLE    (PLUGIN_TRITOGGLE | PLUGIN_SHORT)
#define PLUGIN_CODE_COLOUR       (PLUGIN_COLOUR | PLUGIN_CHAR)
#define PLUGIN_CODE_TEXT         (PLUGIN_TEXT | PLUGIN_CHAR)

#define PLUGIN_NAME_LEN 16   /* row label field; 16 characters leave no NUL */
#define PLUGIN_TIP_LEN  80
#define PLUGIN_STNAME_LEN 16 /* one texture sub-type name field */
#define PLUGIN_IMAGE_NAME_LEN 1028

/* One row of a parameter table: 112 bytes. */
typedef struct ParamDescriptor {
  int code;                    /* widget kind | value type */
  char name[PLUGIN_NAME_LEN];  /* NUL-padded label */
  float def;                   /* initial slot value */
  float min;                   /* lower bound */
  float max;                   /* upper bound; text rows: character count */
  char tip[PLUGIN_TIP_LEN];    /* NUL-padded help text */
} ParamDescriptor;

/* The image record. Only the named fields are used; the reserved words keep
 * the host's offsets and stay zero. */
typedef struct ImageBuffer {
  short xsize;                 /* width in pixels */
  short ysize;                 /* height in pixels */
  int reserved0[5];
  unsigned char *rect;         /* xsize*ysize pixels of R,G,B,A bytes, bottom row first */
  int reserved1[4];
  char name[PLUGIN_IMAGE_NAME_LEN]; /* NUL-terminated; "" when unknown */
  int *zbuf;                   /* xsize*ysize signed depth values, smaller is nearer */
  int reserved2[5];
  float *floatbuf;             /* xsize*ysize*4 floats R,G,B,A in 0..1 */
  int reserved3[1];
} ImageBuffer;

/* Entry-point signatures. The ParamBlock is passed as an untyped pointer:
 * each module reads it through a record that mirrors its own table, one
 * 4-byte slot per row. */
typedef int (*PluginGetVersionFn)(void);
typedef void (*PluginInitFn)(void);
typedef void (*PluginButChangedFn)(int row);
typedef void (*PluginSeqDoitFn)(void *params, float factor0, float factor1,
                                int width, int height, ImageBuffer *ibuf1,
                                ImageBuffer *ibuf2, ImageBuffer *out,
                                ImageBuffer *ibuf3);
typedef int (*PluginTexDoitFn)(int stype, void *params, float *texvec);

/* The description record a module fills in plugin_getinfo: 44 bytes on a
 * 32-bit build. */
typedef struct PluginDescription {
  const char *name;            /* display name */
  const char *stnames;         /* stype_count fields of 16 bytes (textures) */
  int stype_count;
  int varstr_count;            /* rows in varstr */
  const ParamDescriptor *varstr;
  float *result;               /* texture result record: 8 floats */
  float *cfra;                 /* the module's frame-number cell */
  PluginInitFn init;
  PluginButChangedFn but_changed;
  PluginTexDoitFn tex_doit;
  PluginSeqDoitFn seq_doit;
} PluginDescription;

typedef void (*PluginGetInfoFn)(PluginDescription *info);

#ifdef __cplusplus
} /* extern "C" */
#define SEQFX_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define SEQFX_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif

#include <stddef.h>

SEQFX_STATIC_ASSERT(sizeof(ParamDescriptor) == 112, "ParamDescriptor is 112 bytes");
SEQFX_STATIC_ASSERT(offsetof(ParamDescriptor, name) == 4, "row name at 4");
SEQFX_STATIC_ASSERT(offsetof(ParamDescriptor, def) == 20, "row default at 20");
SEQFX_STATIC_ASSERT(offsetof(ParamDescriptor, min) == 24, "row min at 24");
SEQFX_STATIC_ASSERT(offsetof(ParamDescriptor, max) == 28, "row max at 28");
SEQFX_STATIC_ASSERT(offsetof(ParamDescriptor, tip) == 32, "row tip at 32");
SEQFX_STATIC_ASSERT(offsetof(ImageBuffer, xsize) == 0, "xsize at 0");
SEQFX_STATIC_ASSERT(offsetof(ImageBuffer, ysize) == 2, "ysize at 2");

#if defined(__ILP32__) || (defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4)
/* The host's binary layout. */
SEQFX_STATIC_ASSERT(sizeof(PluginDescription) == 44, "PluginDescription is 44 bytes");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, stnames) == 4, "stnames at 4");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, stype_count) == 8, "stype_count at 8");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, varstr_count) == 12, "varstr_count at 12");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, varstr) == 16, "varstr at 16");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, result) == 20, "result at 20");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, cfra) == 24, "cfra at 24");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, init) == 28, "init at 28");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, but_changed) == 32, "but_changed at 32");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, tex_doit) == 36, "tex_doit at 36");
SEQFX_STATIC_ASSERT(offsetof(PluginDescription, seq_doit) == 40, "seq_doit at 40");
SEQFX_STATIC_ASSERT(offsetof(ImageBuffer, rect) == 24, "rect at 24");
SEQFX_STATIC_ASSERT(offsetof(ImageBuffer, name) == 44, "name at 44");
SEQFX_STATIC_ASSERT(offsetof(ImageBuffer, zbuf) == 1072, "zbuf at 1072");
SEQFX_STATIC_ASSERT(offsetof(ImageBuffer, floatbuf) == 1096, "floatbuf at 1096");
SEQFX_STATIC_ASSERT(sizeof(ImageBuffer) >= 1100, "ImageBuffer holds at least 1100 bytes");
#endif

#endif /* SEQFX_PLUGIN_H */
