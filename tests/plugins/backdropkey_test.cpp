// backdropkey through the host: table, keying, display modes, backgrounds,
// spill, filters, the float path, console and memory.

#include "seqfx_test.h"

#include "float_toolkit.h"
#include "seqfx_alloc.h"

#include <cmath>
#include <cstring>
#include <vector>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kKeyer, kDv, kYmin, kYmax, kUclip, kVclip, kDisplay, kBack, kColour, kEdge, kBlur,
           kRadius, kInfo, kSpill, kFactor, kYadj, kUadj, kVadj };

const Pixel kGreen{0, 255, 0, 255}, kGrey{128, 128, 128, 255}, kWhite{255, 255, 255, 255};

// A byte pixel through ch2fl, both matrices and fl2ch: a kept pixel.
Pixel round_trip(Pixel px) {
  float f[4];
  ch2fl(px.data(), f, 4);
  frgb2fyuv(f, f);
  fyuv2frgb(f, f);
  Pixel o;
  fl2ch(f, o.data(), 4);
  return o;
}

Image with_floats(const Image &src) {
  Image img(src.width(), src.height(), false);
  ch2fl(src.rect(), img.add_floatbuf(), (int)src.pixels() * 4);
  return img;
}

class Backdropkey : public ::testing::Test {
 protected:
  void SetUp() override {
    p = seqfx_test::load("backdropkey");
    p->set_value(kInfo, 0);
  }
  void TearDown() override { EXPECT_EQ(mallocN_blocks_held(nullptr), 0); }
  Image run(const Image &in, Image *ibuf2 = nullptr) {
    Image out(in.width(), in.height());
    p->render(7, 0, 0, const_cast<Image &>(in), ibuf2, out);
    return out;
  }
  Pixel one(Pixel px) { return at(run(seqfx_test::solid(1, 1, px)), 0, 0); }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Backdropkey, Table) {
  EXPECT_EQ(p->display_name(), "backdropkey1.3");
  ASSERT_EQ(p->row_count(), 18);
  EXPECT_EQ(seqfx::row_label(p->row(kKeyer)), "backdropkey1.3");
  EXPECT_EQ(p->row(kKeyer).code, 0x0E40);
  EXPECT_EQ(p->row(kKeyer).max, 0.1f);
  EXPECT_EQ(seqfx::row_tip(p->row(kBack)),
            "composite background: color(off) || checker board || use ibuf2");
  EXPECT_EQ(seqfx::row_tip(p->row(kRadius)), "radius of edge blur [kernal=(2*radius)+1]");
  EXPECT_EQ(p->row(kColour).code, 0x1E20);
  EXPECT_EQ(p->row(kYadj).min, -1.0f);
  EXPECT_EQ(p->tri_state(kKeyer), 1);
  EXPECT_EQ(p->float_slot(kBlur), 0.6f);
}

TEST_F(Backdropkey, KeysTheWindowAndInvertsIt) {
  EXPECT_EQ(one(kGreen), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(one(kGrey), round_trip(kGrey));  // U = V = 0.5 reach the clips
  EXPECT_EQ(one(kWhite), round_trip(kWhite));  // Y = 1 beyond Ymax
  EXPECT_EQ(one({90, 40, 200, 200}), round_trip({90, 40, 200, 200}));  // keeps its alpha
  EXPECT_EQ(one({128, 128, 128, 0}), (Pixel{0, 0, 0, 0}));  // alpha 0 is background
  p->set_value(kKeyer, 2);
  EXPECT_EQ(one(kGreen), round_trip(kGreen));
  EXPECT_EQ(one(kGrey), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(one({128, 128, 128, 0}), (Pixel{0, 0, 0, 0}));
}

TEST_F(Backdropkey, LuminanceWindowIsOpen) {
  // Y exactly at Ymin or Ymax is kept; a hair inside is backdrop.
  p->set_value(kUclip, 1);
  p->set_value(kVclip, 1);
  const Pixel g{100, 100, 100, 255};
  float f[4];
  ch2fl(g.data(), f, 4);
  frgb2fyuv(f, f);
  for (int row : {kYmin, kYmax}) {
    p->set_value(kYmin, 0);
    p->set_value(kYmax, 1);
    p->set_value(row, f[0]);
    EXPECT_EQ(one(g), round_trip(g)) << row;
    p->set_value(row, std::nextafter(f[0], row == kYmin ? 0.0f : 1.0f));
    EXPECT_EQ(one(g), (Pixel{0, 0, 0, 0})) << row;
  }
}

TEST_F(Backdropkey, SelectionAndPlaneDisplays) {
  p->set_value(kDisplay, 1);
  EXPECT_EQ(one(kGreen), (Pixel{0, 0, 0, 0}));
  EXPECT_EQ(one(kWhite), (Pixel{0, 255, 0, 0}));
  EXPECT_EQ(one({255, 0, 0, 255}), (Pixel{255, 0, 0, 0}));
  EXPECT_EQ(one({0, 0, 255, 255}), (Pixel{0, 0, 255, 0}));
  EXPECT_EQ(one({10, 10, 10, 255}), (Pixel{0, 128, 0, 0}));  // Y below Ymin
  const Pixel px{90, 40, 200, 77};
  float f[4];
  ch2fl(px.data(), f, 4);
  frgb2fyuv(f, f);
  for (int mode : {3, 4, 5}) {
    p->set_value(kDisplay, mode);
    unsigned char v;
    fl2ch(&f[mode - 3], &v, 1);
    EXPECT_EQ(one(px), (Pixel{v, v, v, v})) << mode;
  }
  p->set_value(kDisplay, 2);
  EXPECT_EQ(one(px), (Pixel{77, 77, 77, 77}));
  EXPECT_EQ(one(kGreen), (Pixel{0, 0, 0, 0}));
}

TEST_F(Backdropkey, Backgrounds) {
  p->set_colour(kColour, 10, 20, 30, 99);
  EXPECT_EQ(one(kGreen), (Pixel{10, 20, 30, 0}));  // alpha 0 whatever the colour's
  p->set_value(kBack, 1);
  Image checker = run(seqfx_test::solid(16, 9, kGreen));
  EXPECT_EQ(at(checker, 0, 0), (Pixel{85, 85, 85, 0}));
  EXPECT_EQ(at(checker, 8, 0), (Pixel{170, 170, 170, 0}));
  EXPECT_EQ(at(checker, 8, 8), (Pixel{85, 85, 85, 0}));

  p->set_value(kBack, 2);
  Image in = seqfx_test::painted(2, 1, [](int x, int) { return x ? kGreen : kWhite; });
  Image second = seqfx_test::solid(2, 1, {1, 2, 3, 4});
  Image out = run(in, &second);
  EXPECT_EQ(at(out, 0, 0), round_trip(kWhite));
  EXPECT_EQ(at(out, 1, 0), (Pixel{1, 2, 3, 0}));
  // The second strip's float plane wins over its bytes.
  float *f = second.add_floatbuf();
  for (int i = 0; i < 8; ++i) f[i] = 0.5f;
  EXPECT_EQ(at(run(in, &second), 1, 0), (Pixel{128, 128, 128, 0}));
  EXPECT_EQ(p->tri_state(kBack), 2);

  // Missing, identical or empty second strips fall back to the colour and
  // put the widget back to colour.
  Image empty(2, 1, false);
  for (Image *b : {(Image *)nullptr, &in, &empty}) {
    p->set_value(kBack, 2);
    Image o(2, 1);
    p->render(1, 0, 0, in, b, o);
    EXPECT_EQ(at(o, 1, 0), (Pixel{10, 20, 30, 0}));
    EXPECT_EQ(p->tri_state(kBack), 0);
    EXPECT_EQ(p->int_slot(kBack), 0);
  }
}

TEST_F(Backdropkey, SpillReductionAndRespill) {
  p->set_value(kKeyer, 2);  // keep the greenish pixel
  p->set_value(kSpill, 1);
  const Pixel px{51, 204, 102, 255};
  EXPECT_EQ(one(px), round_trip(px));  // factor 0
  p->set_value(kFactor, 1);
  // s = 0.8 - (0.2 + 0.4) / 2 = 0.5: the chroma of (0.2, 0.3, 0.4) at the
  // input's luminance.
  EXPECT_EQ(one(px), (Pixel{126, 151, 177, 255}));
  p->set_value(kYadj, 1);
  p->set_value(kUadj, -1);
  p->set_value(kVadj, 0.5);
  const Pixel adj = one(px);
  EXPECT_GT(adj[0] + adj[1] + adj[2], 126 + 151 + 177);  // Y + 0.5
  // spill+: luminance and chroma move towards the background by s.
  p->set_value(kSpill, 2);
  p->set_colour(kColour, 255, 255, 255);
  p->set_value(kFactor, 0.5);
  const Pixel auto_white = one(px);
  p->set_colour(kColour, 0, 0, 0);
  const Pixel auto_black = one(px);
  EXPECT_GT(auto_white[0], auto_black[0] + 40);
}

TEST_F(Backdropkey, FloatPathWritesOnlyTheFloatPlane) {
  p->set_colour(kColour, 51, 0, 0);
  Image src = seqfx_test::painted(3, 1, [](int x, int) { return x == 0 ? kGreen : x == 1 ? kWhite : kGrey; });
  for (bool float_in : {true, false}) {
    Image in = float_in ? with_floats(src) : seqfx_test::painted(3, 1, [&](int x, int) { return at(src, x, 0); });
    Image out = seqfx_test::solid(3, 1, {9, 9, 9, 9});
    float *o = out.add_floatbuf();
    p->render(1, 0, 0, in, nullptr, out);
    EXPECT_EQ(at(out, 1, 0), (Pixel{9, 9, 9, 9}));
    EXPECT_EQ(std::vector<float>(o, o + 4), (std::vector<float>{0.2f, 0, 0, 0}));
    float want[4];
    ch2fl(kWhite.data(), want, 4);
    frgb2fyuv(want, want);
    fyuv2frgb(want, want);
    EXPECT_EQ(std::vector<float>(o + 4, o + 8), std::vector<float>(want, want + 4));
  }
  // Switched off, floats are copied through.
  p->set_value(kKeyer, 0);
  Image in = with_floats(src);
  in.floatbuf()[0] = 7.5f;
  Image out(3, 1, false);
  out.add_floatbuf();
  p->render(1, 0, 0, in, nullptr, out);
  EXPECT_EQ(0, std::memcmp(in.floatbuf(), out.floatbuf(), 48));
  EXPECT_TRUE(seqfx_test::same_pixels(run(src), src));
}

// The composite before any edge blur, in floats.
std::vector<float> composite(seqfx::Plugin &p, Image &in) {
  Image out(in.width(), in.height(), false);
  out.add_floatbuf();
  p.render(1, 0, 0, in, nullptr, out);
  return std::vector<float>(out.floatbuf(), out.floatbuf() + out.pixels() * 4);
}

TEST_F(Backdropkey, EdgeBlurBlendsTheBand) {
  Image in = with_floats(seqfx_test::painted(37, 23, [](int x, int y) {
    return (x - 18) * (x - 18) + (y - 11) * (y - 11) < 60 ? kWhite : kGreen;
  }));
  const std::vector<float> sharp = composite(*p, in);
  p->set_value(kEdge, 1);
  p->set_value(kBlur, 2.5);
  p->set_value(kRadius, 5);
  std::vector<float> blurred = sharp;
  gaussianBlur(blurred.data(), blurred.data(), 37, 23, 2.5f, 5, 0, -1);
  const std::vector<float> got = composite(*p, in);
  int band = 0;
  for (std::size_t k = 0; k < got.size() / 4; ++k) {
    const double a = blurred[4 * k + 3];
    const bool in_band = a > 0.05 && a < 0.95;
    band += in_band;
    for (int c = 0; c < 4; ++c) ASSERT_EQ(got[4 * k + c], (in_band ? blurred : sharp)[4 * k + c]) << k;
  }
  EXPECT_GT(band, 20);
  p->set_value(kDisplay, 2);
  const std::vector<float> mask = composite(*p, in);
  for (std::size_t k = 0; k < mask.size(); ++k) ASSERT_EQ(mask[k], blurred[k / 4 * 4 + 3]);
}

TEST_F(Backdropkey, DvFilterBlursChromaOnly) {
  Image in = seqfx_test::test_picture(37, 23);
  Image fin = with_floats(in);
  std::vector<float> yuv(fin.floatbuf(), fin.floatbuf() + fin.pixels() * 4);
  for (std::size_t k = 0; k < fin.pixels(); ++k) frgb2fyuv(&yuv[4 * k], &yuv[4 * k]);
  std::vector<float> filtered = yuv;
  gaussianBlur(filtered.data(), filtered.data(), 37, 23, 1.0f, 2, 0, -2);
  gaussianBlur(filtered.data(), filtered.data(), 37, 23, 1.0f, 2, 0, -3);
  p->set_value(kDv, 1);
  for (int mode : {3, 4, 5}) {
    p->set_value(kDisplay, mode);
    const std::vector<float> got = composite(*p, fin);
    for (std::size_t k = 0; k < fin.pixels(); ++k)
      ASSERT_EQ(got[4 * k], filtered[4 * k + mode - 3]) << mode << " at " << k;
  }
}

TEST_F(Backdropkey, ConsoleLevels) {
  Image in = seqfx_test::solid(2, 2, kGreen);
  auto transcript = [&](int info) {
    p->set_value(kInfo, info);
    seqfx_test::Console con;
    run(in);
    con.finish();
    return con.out();
  };
  EXPECT_EQ(transcript(0), "");
  EXPECT_EQ(transcript(1),
            "\nbackdropkey...frame 7...setting up\n"
            "\nno floatbuffer...this plugin uses float values->converting...\n"
            "-> background color  R:0.000 G:0.000 B:0.000 A:0.000 ...\n"
            "show: 0) normal output \nprocessing image...key mask set..."
            "\nconverting back to char values...done\n");
  p->set_value(kKeyer, 2);
  p->set_value(kSpill, 2);
  p->set_value(kFactor, 0.25);
  p->set_value(kBack, 2);
  p->set_value(kDv, 1);
  p->set_value(kEdge, 1);
  const std::string tmi = transcript(2);
  for (const char *part :
       {"...no ibuf2...defaulting...-> background color  R:", "dv 4:1:1 filter U & V blur...\nstart blur...malloc ok...filter -2: ",
        "blur channel 1 only...horiz pass 5x ok...vert pass 5x ok\n\nstart blur...",
        "blur channel 2 only...", "dv filter done\nshow: 0) normal output \nprocessing image...",
        "key mask set...inverting mask...\nspill+ control at 0.250%...auto respill to background color\n"
        "R:0.000 G:0.000 B:0.000 A:0.000 ...\nedge blur...\nstart blur...malloc ok...filter -1: ",
        "horiz pass 3x ok...vert pass 3x ok\n\nconverting back"})
    EXPECT_NE(tmi.find(part), std::string::npos) << part << "\nin:\n" << tmi;
  p->set_value(kSpill, 1);
  p->set_value(kDv, 0);
  p->set_value(kEdge, 0);
  p->set_value(kBack, 1);
  EXPECT_NE(transcript(1).find("-> background: checkerboard...\nshow: 0) normal output \nprocessing "
                               "image...key mask set...inverting mask...\nspill control at "
                               "0.250%...manual respill\n\nconverting"),
            std::string::npos);
  p->set_value(kBack, 2);
  Image second = seqfx_test::solid(2, 2, kGrey);
  p->set_value(kInfo, 1);
  seqfx_test::Console con;
  run(in, &second);
  con.finish();
  EXPECT_NE(con.out().find("-> background: ibuf2...\nshow: 0)"), std::string::npos) << con.out();
  p->set_value(kDisplay, 1);
  const std::string sel = transcript(1);
  EXPECT_EQ(sel.find("background"), std::string::npos);
  EXPECT_NE(sel.find("show: 1) selection channels...\nconverting"), std::string::npos) << sel;
  p->set_value(kDisplay, 4);
  EXPECT_NE(transcript(1).find("show: 4) chrominance(u) (yuv[1])..."), std::string::npos);
  p->set_value(kKeyer, 0);
  EXPECT_EQ(transcript(1), "\nbackdropkey...frame 7...setting up\njust lurking...\n");
}

TEST_F(Backdropkey, AllocationFailuresHoldNothing) {
  // Calls in order: workbuf, malfback, then tempbuf and filterbuf for the
  // edge blur.
  p->set_value(kEdge, 1);
  Image in = seqfx_test::test_picture(7, 5);
  const Image whole = run(in);
  p->set_value(kEdge, 0);
  const Image unblurred = run(in);
  p->set_value(kEdge, 1);
  for (int fail = 1; fail <= 5; ++fail) {
    seqfx_test::Console con;
    mallocN_fail_from(fail);
    const Image out = run(in);
    mallocN_fail_from(0);
    con.finish();
    EXPECT_EQ(mallocN_blocks_held(nullptr), 0) << fail;
    const Image &want = fail <= 2 ? in : fail <= 4 ? unblurred : whole;
    EXPECT_TRUE(seqfx_test::same_pixels(out, want)) << fail;
    EXPECT_EQ(con.out(), fail <= 2   ? "buffer allocation failure\n"
                         : fail <= 4 ? "memory allocation falure...blur aborted\n"
                                     : "") << fail;
  }
}

TEST_F(Backdropkey, ExtremesSizesAndMissingPlanes) {
  p->set_value(kDv, 1);
  p->set_value(kEdge, 1);
  p->set_value(kBlur, 10);
  p->set_value(kRadius, 5);
  p->set_value(kSpill, 2);
  p->set_value(kFactor, 1);
  p->set_value(kYadj, -1);
  p->set_value(kVadj, 1);
  p->set_value(kYmin, 0);
  p->set_value(kYmax, 1);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}})
    for (int mode = 0; mode <= 5; ++mode)
      for (int back = 0; back <= 2; ++back) {
        p->set_value(kDisplay, mode);
        p->set_value(kBack, back);
        Image in = seqfx_test::test_picture(w, h), second = seqfx_test::test_picture(w, h, 2);
        run(in, &second);
        Image fin = with_floats(in);
        composite(*p, fin);
      }
  // No plane to read from or to write to: nothing is written.
  Image no_rect(3, 2, false), out = seqfx_test::solid(3, 2, {5, 5, 5, 5}), bare(3, 2, false);
  Image in = seqfx_test::test_picture(3, 2);
  p->render(1, 0, 0, no_rect, nullptr, out);
  p->render(1, 0, 0, in, nullptr, bare);
  p->set_value(kKeyer, 0);
  p->render(1, 0, 0, no_rect, nullptr, out);
  p->render(1, 0, 0, in, nullptr, bare);
  EXPECT_EQ(at(out, 2, 1), (Pixel{5, 5, 5, 5}));
}

}  // namespace
