// overprint: the stamp formats, the position corrections written back, the
// ink, the console lines, the cut of wide lines, drawing inside any frame,
// and the font against its reference picture.

#include "seqfx_test.h"

#include "ftdat.h"
#include "overprint_picture.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row {
  kFrame = 0, kDigits = 1, kTime = 2, kFps = 3, kStampX = 4, kStampY = 5, kName = 6, kNameX = 7,
  kNameY = 8, kText = 9, kTextX = 10, kTextY = 11, kInvert = 14, kColour = 15, kTxt = 17
};

const Pixel kWhite{255, 255, 255, 255};
const Pixel kPaper{0, 0, 0, 0};

class Overprint : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("overprint"); }
  // Renders frame f over src and returns what went to the console.
  std::string render(float f, Image &src, Image &out) {
    seqfx_test::Console console;
    p->render(f, 0, 0, src, nullptr, out);
    console.finish();
    return console.out();
  }
  // Renders frame f on a w x h frame of paper with white ink.
  std::string paper(float f, int w, int h, Image *keep = nullptr) {
    p->set_value(kInvert, 0);
    p->set_colour(kColour, 255, 255, 255, 0);
    Image src = seqfx_test::solid(w, h, kPaper);
    Image out(w, h);
    std::string text = render(f, src, out);
    if (keep) *keep = std::move(out);
    return text;
  }
  void text(const std::string &t, int x = 0, int y = 0) {
    p->set_value(kText, 1);
    p->set_text(kTxt, t);
    p->set_value(kTextX, x);
    p->set_value(kTextY, y);
  }
  void raw(int row, int v) { std::memcpy(p->slot(row), &v, 4); }
  std::unique_ptr<seqfx::Plugin> p;
};

bool glyph_bit(int code, int r, int col) {
  return ftdat[(code - 32) * 12 + r] >> (7 - col) & 1;
}

TEST_F(Overprint, Table) {
  EXPECT_EQ(p->display_name(), "overprint");
  ASSERT_EQ(p->row_count(), 18);
  EXPECT_EQ(seqfx::row_label(p->row(kFps)), "frs/sec");
  EXPECT_EQ(seqfx::row_tip(p->row(kFps)), "frames per second- only needed for time stamp");
  EXPECT_EQ(p->row(kFps).max, 120.0f);
  EXPECT_EQ(seqfx::row_label(p->row(12)), "overprint.5");
  EXPECT_EQ(seqfx::row_tip(p->row(12)), "v.5a print information directly to the image");
  EXPECT_EQ(p->row(16).max, 60.0f);
  EXPECT_EQ(p->row(kColour).code, PLUGIN_CODE_COLOUR);
  EXPECT_EQ(seqfx::row_label(p->row(kColour)), "font Color");
  EXPECT_EQ(p->row(kTxt).code, PLUGIN_CODE_TEXT);
  EXPECT_EQ(p->row(kTxt).max, 50.0f);
  const int defaults[][2] = {{kDigits, 3}, {kFps, 25}, {kStampX, 4}, {kStampY, 1}, {kNameX, 1000},
                             {kNameY, 1}, {kTextX, 100}, {kTextY, 100}, {kInvert, 1}, {kFrame, 0}};
  for (auto [row, v] : defaults) EXPECT_EQ(p->int_slot(row), v) << row;
}

TEST_F(Overprint, TimeStampFormats) {
  p->set_value(kTime, 1);
  EXPECT_EQ(paper(42, 720, 576), "drawstr:\"00:00:01:17\" at 4:1\n");
  EXPECT_EQ(paper(100000, 720, 576), "drawstr:\"01:06:40:00\" at 4:1\n");
  EXPECT_EQ(paper(25 * 3600 * 30 + 7, 720, 576), "drawstr:\"30:00:00:07\" at 4:1\n");  // no wrap at 24
  EXPECT_EQ(paper(42.9f, 720, 576), "drawstr:\"00:00:01:17\" at 4:1\n");  // truncated
  p->set_value(kFps, 120);
  EXPECT_EQ(paper(42, 720, 576), "drawstr:\"00:00:00:042\" at 4:1\n");
  p->set_value(kFps, 99);
  EXPECT_EQ(paper(99 * 61 + 98, 720, 576), "drawstr:\"00:01:01:98\" at 4:1\n");
  p->set_value(kFps, 100);
  EXPECT_EQ(paper(100 * 3600, 720, 576), "drawstr:\"01:00:00:000\" at 4:1\n");
}

TEST_F(Overprint, FrameStampAndBoth) {
  p->set_value(kFrame, 1);
  EXPECT_EQ(paper(42, 720, 576), "drawstr:\"[042]\" at 4:1\n");
  p->set_value(kDigits, 1);
  EXPECT_EQ(paper(1234, 720, 576), "drawstr:\"[4]\" at 4:1\n");
  p->set_value(kDigits, 10);
  EXPECT_EQ(paper(1234, 720, 576), "drawstr:\"[0000001234]\" at 4:1\n");
  p->set_value(kDigits, 4);
  p->set_value(kTime, 1);
  EXPECT_EQ(paper(42, 720, 576), "drawstr:\"00:00:01:17[0042]\" at 4:1\n");
  // Digits beyond the field and frame numbers beyond the int range.
  raw(kDigits, 99);
  p->set_value(kTime, 0);
  EXPECT_EQ(paper(3e9f, 720, 576), "drawstr:\"[002147483647]\" at 4:1\n");
  EXPECT_EQ(paper(std::nanf(""), 720, 576), "drawstr:\"[000000000000]\" at 4:1\n");
}

TEST_F(Overprint, PositionsArePulledIntoTheFrameAndWrittenBack) {
  p->set_value(kTime, 1);
  p->set_value(kFrame, 1);
  p->set_value(kDigits, 4);  // 17 characters
  p->set_value(kStampX, 1000);
  p->set_value(kStampY, 10000);
  EXPECT_EQ(paper(42, 720, 576), "drawstr:\"00:00:01:17[0042]\" at 584:564\n");
  EXPECT_EQ(p->int_slot(kStampX), 584);
  EXPECT_EQ(p->int_slot(kStampY), 564);
  // Positions inside the frame stay as they are.
  p->set_value(kStampX, 583);
  p->set_value(kStampY, 563);
  paper(42, 720, 576);
  EXPECT_EQ(p->int_slot(kStampX), 583);
  EXPECT_EQ(p->int_slot(kStampY), 563);
  // With both stamps off the stamp position is left alone.
  p->set_value(kTime, 0);
  p->set_value(kFrame, 0);
  p->set_value(kStampX, 10000);
  EXPECT_EQ(paper(42, 720, 576), "");
  EXPECT_EQ(p->int_slot(kStampX), 10000);
}

TEST_F(Overprint, NameLine) {
  // Not shown: corrected and written back all the same, nothing drawn.
  Image out(1, 1);
  EXPECT_EQ(paper(1, 200, 50, &out), "");
  EXPECT_EQ(p->int_slot(kNameX), 200 - 8 * 21);  // "image: name not known"
  EXPECT_EQ(p->int_slot(kNameY), 1);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 200; ++x) ASSERT_EQ(at(out, x, y), kPaper);

  p->set_value(kName, 1);
  EXPECT_EQ(paper(1, 200, 50), "drawstr:\"image: name not known\" at 32:1\n");
  Image src = seqfx_test::solid(400, 50, kPaper);
  src.set_name("clip_07.png");
  Image o(400, 50);
  p->set_value(kNameX, 1000);
  EXPECT_EQ(render(1, src, o), "drawstr:\"image: clip_07.png\" at 256:1\n");
  EXPECT_EQ(p->int_slot(kNameX), 256);

  // A name as long as the record holds: the line keeps its beginning and
  // the frame shows its last characters.
  std::string long_name(1027, 'n');
  long_name[0] = 'N';
  long_name.back() = 'Z';
  p->set_value(kNameX, 0);
  Image wide = seqfx_test::solid(8 * 1100, 12, kPaper);
  wide.set_name(long_name);
  Image wo(8 * 1100, 12);
  EXPECT_EQ(render(1, wide, wo), "drawstr:\"image: N" + std::string(1023 - 8, 'n') + "\" at 0:0\n");
  Image narrow = seqfx_test::solid(8 * 1000, 12, kPaper);
  narrow.set_name(long_name);
  Image no(8 * 1000, 12);
  EXPECT_EQ(render(1, narrow, no), "drawstr:\"" + std::string(1000, 'n') + "\" at 0:0\n");
  EXPECT_EQ(p->int_slot(kNameX), 8000 - 8 * 1023);
}

TEST_F(Overprint, UserTextAndItsConsoleLines) {
  text("hello", 10, 20);
  EXPECT_EQ(paper(1, 100, 50), "drawstr:\"hello\" at 10:20\n");
  text("", 10, 20);
  EXPECT_EQ(paper(1, 100, 50), "drawstr:nothing here to print-> aborted\n");
  // Lines are drawn in the order stamp, name, text.
  text("t", 10, 20);
  p->set_value(kNameX, 1000);
  p->set_value(kName, 1);
  p->set_value(kFrame, 1);
  EXPECT_EQ(paper(1, 300, 50),
            "drawstr:\"[001]\" at 4:1\ndrawstr:\"image: name not known\" at 132:1\n"
            "drawstr:\"t\" at 10:20\n");
}

TEST_F(Overprint, LinesWiderThanTheFrameKeepTheirEnd) {
  text("abcdefghijklmnopqrst", 50, 3);
  Image out(1, 1);
  EXPECT_EQ(paper(1, 100, 30, &out), "drawstr:\"ijklmnopqrst\" at 0:3\n");
  EXPECT_EQ(p->int_slot(kTextX), 100 - 160);  // negative, as corrected
  EXPECT_EQ(p->int_slot(kTextY), 3);
  // The first cell holds "i" from column 0.
  for (int r = 0; r < 12; ++r)
    for (int c = 0; c < 8; ++c) ASSERT_EQ(at(out, c, 3 + r) == kWhite, glyph_bit('i', r, c));
}

TEST_F(Overprint, GlyphsStandUprightBitSevenLeftmost) {
  // Every printable character, drawn at (8, 5): glyph row r on image row
  // 5 + r, bit b on column 8 + 7 - b; nothing else is inked.
  for (int code = 32; code <= 126; ++code) {
    const char s[3] = {' ', (char)code, 0};
    text(s, 0, 5);
    Image out(1, 1);
    paper(1, 24, 20, &out);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 24; ++x) {
        const bool want = x >= 8 && x < 16 && y >= 5 && y < 17 && glyph_bit(code, y - 5, x - 8);
        ASSERT_EQ(at(out, x, y) == kWhite, want) << "code " << code << " at " << x << "," << y;
        if (!want) {
          ASSERT_EQ(at(out, x, y), kPaper);
        }
      }
  }
}

TEST_F(Overprint, OtherCodesLeaveABlankCell) {
  Image a(1, 1), b(1, 1);
  text("A\tB\xC8!", 0, 0);
  paper(1, 64, 12, &a);
  text("A B !", 0, 0);
  paper(1, 64, 12, &b);
  EXPECT_TRUE(seqfx_test::same_pixels(a, b));
}

TEST_F(Overprint, InkInvertsOrPaintsOpaque) {
  // Inverted ink over a white and a coloured picture.
  text("||||", 0, 0);
  Image src = seqfx_test::solid(32, 12, {255, 255, 255, 255});
  Image out(32, 12);
  render(1, src, out);
  EXPECT_EQ(at(out, 3, 5), (Pixel{0, 0, 0, 255}));
  EXPECT_EQ(at(out, 4, 5), (Pixel{255, 255, 255, 255}));
  src.fill(10, 100, 200, 7);
  render(1, src, out);
  EXPECT_EQ(at(out, 3, 5), (Pixel{245, 155, 55, 255}));
  EXPECT_EQ(at(out, 4, 5), (Pixel{10, 100, 200, 7}));

  // Two lines over one another: inverted twice, alpha stays opaque.
  p->set_value(kFrame, 1);
  p->set_value(kDigits, 1);
  p->set_value(kStampX, 0);
  p->set_value(kStampY, 0);
  text("[1]", 0, 0);
  render(1, src, out);
  EXPECT_EQ(at(out, 8 + 3, 4), (Pixel{10, 100, 200, 255}));  // inside the "1"
  EXPECT_EQ(at(out, 8 + 5, 4), (Pixel{10, 100, 200, 7}));    // beside it

  // The font colour, its alpha forced to 255 and written back.
  p->set_value(kFrame, 0);
  p->set_value(kInvert, 0);
  p->set_colour(kColour, 1, 2, 3, 0);
  render(1, src, out);
  EXPECT_EQ(at(out, 8 + 3, 4), (Pixel{1, 2, 3, 255}));
  EXPECT_EQ(p->slot(kColour)[3], 255);
}

TEST_F(Overprint, DrawingStaysInsideAnyFrame) {
  // Every line on, positions at the ends of their range and beyond it, on
  // frames smaller than a glyph and larger; the sanitizers watch the
  // writes, the picture outside the text is checked here.
  auto all_on = [&](int x, int y) {
    p->set_value(kTime, 1);
    p->set_value(kFrame, 1);
    p->set_value(kName, 1);
    text("The quick brown fox jumps over the lazy dog 012345", 0, 0);
    for (int row : {kStampX, kNameX, kTextX}) raw(row, x);
    for (int row : {kStampY, kNameY, kTextY}) raw(row, y);
  };
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {8, 12}, {9, 11}, {37, 23}, {500, 13}})
    for (auto [x, y] : {std::pair{0, 0}, {10000, 10000}, {-50000, -50000}, {-2147483647 - 1, 2147483647}}) {
      all_on(x, y);
      Image src = seqfx_test::test_picture(w, h);
      Image out(w, h);
      render(1234, src, out);
      for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx) {
          const Pixel s = at(src, xx, yy), o = at(out, xx, yy);
          const bool same = o == s;
          const bool inked = o == (Pixel{(unsigned char)(255 - s[0]), (unsigned char)(255 - s[1]),
                                          (unsigned char)(255 - s[2]), 255}) ||
                             (o[3] == 255 && o[0] == s[0] && o[1] == s[1] && o[2] == s[2]);
          ASSERT_TRUE(same || inked) << w << "x" << h << " at " << xx << "," << yy;
        }
    }
}

TEST_F(Overprint, MissingOrTooSmallImages) {
  text("abc", 0, 0);
  Image out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Image src = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  seqfx_test::Console console;
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, src.record(), nullptr, nullptr, nullptr);
  p->call(1, 0, 0, 8, 5, src.record(), nullptr, out.record(), nullptr);
  console.finish();
  EXPECT_EQ(console.out(), "");
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
}

// ---- the font ----

int ink_rows(int code, int *low, int *high) {
  *low = 12;
  *high = -1;
  for (int r = 0; r < 12; ++r)
    if (ftdat[(code - 32) * 12 + r]) {
      if (r < *low) *low = r;
      *high = r;
    }
  return *high - *low + 1;
}

TEST(OverprintFont, LaidOutOnItsBaseline) {
  static_assert(sizeof ftdat == 1140, "95 glyphs of 12 bytes");
  int low, high;
  ink_rows(' ', &low, &high);
  EXPECT_EQ(high, -1) << "the blank has ink";
  for (int code = 33; code <= 126; ++code) {
    EXPECT_GT(ink_rows(code, &low, &high), 0) << (char)code;
    EXPECT_EQ(ftdat[(code - 32) * 12 + 11], 0) << (char)code << " inks the top row";
  }
  for (const char *set : {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "0123456789", "bdfhklt"}) {
    for (const char *c = set; *c; ++c) {
      ink_rows(*c, &low, &high);
      EXPECT_EQ(low, 2) << *c << " stands on the baseline";
      EXPECT_EQ(high, *c == 't' ? 9 : 10) << *c;
    }
  }
  for (const char *c = "acemnorsuvwxz"; *c; ++c) {
    ink_rows(*c, &low, &high);
    EXPECT_EQ(low, 2) << *c;
    EXPECT_EQ(high, 7) << *c << " has the x-height";
  }
  for (const char *c = "gjpqy"; *c; ++c) {
    ink_rows(*c, &low, &high);
    EXPECT_EQ(low, 0) << *c << " descends to row 0";
  }
  // No two glyphs alike.
  for (int a = 32; a <= 126; ++a)
    for (int b = a + 1; b <= 126; ++b)
      EXPECT_NE(std::memcmp(ftdat + (a - 32) * 12, ftdat + (b - 32) * 12, 12), 0) << (char)a << (char)b;
}

// The whole character set, six lines of 16, drawn by the module in black on
// white, compared with the picture kept in the test data. Setting
// SEQFX_WRITE_REFERENCE=1 writes the reference anew (and its PNG copy for
// people to look at beside the module notes).
TEST_F(Overprint, CharacterSetMatchesTheReferencePicture) {
  const int w = 16 * 8 + 8, h = 6 * 14 + 8;
  Image page = seqfx_test::solid(w, h, {255, 255, 255, 255});
  p->set_value(kInvert, 0);
  p->set_colour(kColour, 0, 0, 0);
  for (int line = 0; line < 6; ++line) {
    std::string s;
    for (int c = 32 + 16 * line; c < 32 + 16 * (line + 1) && c <= 126; ++c) s.push_back((char)c);
    if (s[0] == ' ') s[0] = '\x7f';  // a blank cell all the same: 127 has no glyph
    text(s, 4, h - 4 - 14 * (line + 1) + 1);
    Image next(w, h);
    render(1, page, next);
    page = std::move(next);
  }
  overprint_picture::Grey got{w, h, {}};
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) got.pixels.push_back(at(page, x, y)[0]);

  const std::string ref = seqfx_test::data_path("overprint_font.pgm");
  const char *update = std::getenv("SEQFX_WRITE_REFERENCE");
  if (update && std::string(update) == "1") {
    ASSERT_TRUE(overprint_picture::write_pgm(ref, got));
    ASSERT_TRUE(overprint_picture::write_png(std::string(SEQFX_TEST_DATA_DIR) +
                                                 "/../../docs/modules/overprint-font.png",
                                             got, 2));
  }
  const overprint_picture::Grey want = overprint_picture::read_pgm(ref);
  int differ = 0;
  if (want.width == w && want.height == h)
    for (size_t i = 0; i < got.pixels.size(); ++i) differ += got.pixels[i] != want.pixels[i];
  if (want.width != w || want.height != h || differ) {
    const std::string shown = ::testing::TempDir() + "overprint_font_rendered.png";
    overprint_picture::write_png(shown, got, 4);
    ADD_FAILURE() << differ << " pixels differ from " << ref << " (" << want.width << "x"
                  << want.height << "); the rendering is in " << shown;
  }
}

}  // namespace
