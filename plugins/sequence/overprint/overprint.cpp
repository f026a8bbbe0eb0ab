// overprint: copies one strip and prints up to three lines into it with
// the built-in 8 x 12 font: a time and/or frame-number stamp, the input
// image's name and a user text. Positions that would push a line off the
// right or top edge are pulled back and written back into the parameter
// record, so that the widgets show them.

#include "seqfx_module.h"

#include "ftdat.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// One 4-byte slot per table row; the text row's characters run on past
// the last slot.
struct Params {
  int frame_stamp;
  int digits;
  int time_stamp;
  int fps;
  int stamp_x, stamp_y;
  int stamp_name;
  int name_x, name_y;
  int stamp_text;
  int text_x, text_y;
  int label_version, label_font;
  int invert;
  unsigned char colour[4];  // R, G, B, A
  int label_input;
  char text[4];             // the start of the text
};

constexpr int kLineSize = 1024;  // the stamp line
constexpr int kTextMax = 50;     // characters of the text row
constexpr int kCell = 8;         // glyph cell width
constexpr int kGlyphHeight = 12;

// Lowers x and y so that a line of len characters fits left of the right
// edge and below the top; neither is raised (a line wider than the frame
// gets a negative x).
void fit(int *x, int *y, std::size_t len, int width, int height) {
  const long right = (long)width - (long)kCell * (long)len;
  if (*x > right) *x = (int)right;
  if (*y > height - kGlyphHeight) *y = height - kGlyphHeight;
}

void ink(unsigned char *px, const Params *p) {
  if (p->invert) {
    px[0] = (unsigned char)(255 - px[0]);
    px[1] = (unsigned char)(255 - px[1]);
    px[2] = (unsigned char)(255 - px[2]);
    px[3] = 255;
  } else {
    std::memcpy(px, p->colour, 4);
  }
}

// Draws str into the width x height frame pix with its lower-left glyph
// corner at column x, row y. A line wider than the frame keeps its last
// characters and starts at column 0. Pixels that fall outside the frame (a
// frame narrower than a cell or lower than a glyph, or a position below 0)
// are skipped, so nothing is ever written outside it.
void drawstr(const char *str, unsigned char *pix, int x, int y, int width, int height,
             const Params *p) {
  long len = (long)std::strlen(str);
  if (len == 0) {
    std::printf("drawstr:nothing here to print-> aborted\n");
    return;
  }
  const long fits = width / kCell;
  if (len > fits) {
    str += len - fits;
    len = fits;
    x = 0;
  }
  if ((long)x + kCell * len > width) x = (int)(width - kCell * len);
  if (y > height - kGlyphHeight) y = height - kGlyphHeight;
  std::printf("drawstr:\"%s\" at %d:%d\n", str, x, y);

  for (long i = 0; i < len; ++i) {
    const int code = (unsigned char)str[i];
    // Codes outside 32..126 leave a blank cell.
    if (code < overprint_font::kFirst || code >= overprint_font::kFirst + overprint_font::kGlyphs)
      continue;
    const unsigned char *glyph = ftdat + (code - overprint_font::kFirst) * overprint_font::kRows;
    const long left = (long)x + kCell * i;
    for (int r = 0; r < overprint_font::kRows; ++r) {
      const long row = (long)y + r;
      if (row < 0 || row >= height || !glyph[r]) continue;
      unsigned char *line = pix + 4 * (row * width);
      for (int b = 7; b >= 0; --b) {
        const long col = left + (7 - b);
        if ((glyph[r] >> b & 1) && col >= 0 && col < width) ink(line + 4 * col, p);
      }
    }
  }
}

// The frame number: cfra truncated toward zero, limited to the int range
// (a value that is not a number counts as 0).
int frame_number(float f) {
  if (!(f == f)) return 0;
  if (f >= 2147483647.0f) return 2147483647;
  if (f <= -2147483648.0f) return -2147483647 - 1;
  return (int)f;
}

}  // namespace

extern "C" {
SEQFX_DATA char name[24] = "overprint";
SEQFX_DATA float cfra;
}
SEQFX_TABLE(varstr,
    SEQFX_FIELD(frame_stamp, PLUGIN_CODE_TOGGLE, "frame stamp", 0, 0, 1, "print frame stamp"),
    SEQFX_FIELD(digits, PLUGIN_CODE_NUMBER_INT, "Digits", 3, 1, 10,
                "How many digits for frame stamp"),
    SEQFX_FIELD(time_stamp, PLUGIN_CODE_TOGGLE, "time stamp", 0, 0, 1, "print time stamp"),
    SEQFX_FIELD(fps, PLUGIN_CODE_NUMBER_INT, "frs/sec", 25, 1, 120,
                "frames per second- only needed for time stamp"),
    SEQFX_FIELD(stamp_x, PLUGIN_CODE_NUMBER_INT, "x pos", 4, 0, 10000,
                "x position of frame/time stamp"),
    SEQFX_FIELD(stamp_y, PLUGIN_CODE_NUMBER_INT, "y pos", 1, 0, 10000,
                "y position of frame/time stamp"),
    SEQFX_FIELD(stamp_name, PLUGIN_CODE_TOGGLE, "stamp name", 0, 0, 1, "print name (if available)"),
    SEQFX_FIELD(name_x, PLUGIN_CODE_NUMBER_INT, "x pos", 1000, 0, 10000, "x position of name"),
    SEQFX_FIELD(name_y, PLUGIN_CODE_NUMBER_INT, "y pos", 1, 0, 10000, "y position of name"),
    SEQFX_FIELD(stamp_text, PLUGIN_CODE_TOGGLE, "stamp text", 0, 0, 1,
                "print custom text to image"),
    SEQFX_FIELD(text_x, PLUGIN_CODE_NUMBER_INT, "x pos", 100, 0, 10000, "x position of text"),
    SEQFX_FIELD(text_y, PLUGIN_CODE_NUMBER_INT, "y pos", 100, 0, 10000, "y position of text"),
    SEQFX_LABEL_ROW("overprint.5", 0, 0, 0, "v.5a print information directly to the image"),
    SEQFX_LABEL_ROW("font color:", 0, 0, 0, "color of text"),
    SEQFX_FIELD(invert, PLUGIN_CODE_TOGGLE, "invert color", 1, 0, 1,
                "inverts color of input strip pixel for font color"),
    SEQFX_FIELD(colour, PLUGIN_CODE_COLOUR, "font Color", 0, 0, 255, "font color"),
    SEQFX_LABEL_ROW("input text:", 0, 0, 60, "enter text to print below"),
    SEQFX_FIELD(text, PLUGIN_CODE_TEXT, "Txt:", 0, 0, kTextMax, "text to print"));

SEQFX_EXPORT void plugin_seq_doit(void *params, float, float, int width, int height,
                                  ImageBuffer *ibuf1, ImageBuffer *, ImageBuffer *out,
                                  ImageBuffer *) {
  Params *p = static_cast<Params *>(params);
  // Ink in the font colour is always opaque.
  p->colour[3] = 255;
  char line[kLineSize];
  line[0] = '\0';

  // The frame is width x height; nothing is done without both pixel planes
  // or when an image holds fewer pixels than the frame.
  if (!ibuf1 || !out || !ibuf1->rect || !out->rect || width <= 0 || height <= 0) return;
  const long n = (long)width * height;
  if ((long)ibuf1->xsize * ibuf1->ysize < n || (long)out->xsize * out->ysize < n) return;
  if (out->rect != ibuf1->rect) std::memcpy(out->rect, ibuf1->rect, (std::size_t)n * 4);

  const int frame = frame_number(cfra);
  // A rate below 1 in the parameter record would divide by zero: it counts
  // as 1 frame per second.
  const int fps = p->fps < 1 ? 1 : p->fps;

  if (p->time_stamp) {
    const int frames = frame % fps;
    const int seconds_total = frame / fps;
    int hours = 0, minutes = 0, seconds = 0;
    if (seconds_total != 0) {
      const int minutes_total = seconds_total / 60;
      seconds = seconds_total - 60 * minutes_total;
      if (minutes_total != 0) {
        hours = minutes_total / 60;  // not wrapped at 24
        minutes = minutes_total % 60;
      }
    }
    std::snprintf(line, sizeof line, fps < 100 ? "%02d:%02d:%02d:%02d" : "%02d:%02d:%02d:%03d",
                  hours, minutes, seconds, frames);
  }

  if (p->frame_stamp) {
    char scratch[52];
    std::snprintf(scratch, sizeof scratch, "%012d", frame);
    // The last "Digits" characters; a count outside the field is limited
    // to it.
    const int len = (int)std::strlen(scratch);
    int digits = p->digits;
    if (digits < 0) digits = 0;
    if (digits > len) digits = len;
    const std::size_t used = std::strlen(line);
    std::snprintf(line + used, sizeof line - used, "[%s]", scratch + len - digits);
  }

  if (p->time_stamp || p->frame_stamp) {
    fit(&p->stamp_x, &p->stamp_y, std::strlen(line), width, height);
    drawstr(line, out->rect, p->stamp_x, p->stamp_y, width, height, p);
  }

  // The name line; a name too long for the line with its prefix keeps its
  // beginning.
  std::size_t name_len = 0;
  while (name_len < sizeof ibuf1->name && ibuf1->name[name_len]) ++name_len;
  if (name_len == 0) {
    std::snprintf(line, sizeof line, "image: %s", "name not known");
  } else {
    std::snprintf(line, sizeof line, "image: %.*s", (int)name_len, ibuf1->name);
  }
  fit(&p->name_x, &p->name_y, std::strlen(line), width, height);
  if (p->stamp_name) drawstr(line, out->rect, p->name_x, p->name_y, width, height, p);

  if (p->stamp_text) {
    // At most the row's 50 characters, whether or not the host ended them.
    const char *text = static_cast<const char *>(params) + offsetof(Params, text);
    char own[kTextMax + 1];
    std::size_t len = 0;
    while (len < (std::size_t)kTextMax && text[len]) {
      own[len] = text[len];
      ++len;
    }
    own[len] = '\0';
    fit(&p->text_x, &p->text_y, len, width, height);
    drawstr(own, out->rect, p->text_x, p->text_y, width, height, p);
  }
}

SEQFX_STANDARD_ENTRIES(name, varstr, cfra, plugin_seq_doit)
