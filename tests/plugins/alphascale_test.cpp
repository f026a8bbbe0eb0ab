// alphascale: the reduced interface, un-premultiplying with rounding up and
// the per-pixel warnings.

#include "seqfx_test.h"

#include <cmath>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

class Alphascale : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("alphascale"); }
  Pixel one(Pixel in) {
    Image a = seqfx_test::solid(1, 1, in);
    Image out(1, 1);
    p->render(1, 0, 0, a, nullptr, out);
    return at(out, 0, 0);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Alphascale, ReducedInterface) {
  EXPECT_EQ(p->display_name(), "AlphaScale");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "In: 1 Strip");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Show the alpha channel as a greyscale image");
  EXPECT_EQ(p->symbol("plugin_init"), nullptr);
  EXPECT_EQ(p->symbol("plugin_but_changed"), nullptr);
  EXPECT_EQ(p->symbol("plugin_seq_doit"), nullptr);
  ASSERT_NE(p->symbol("plugin_doit"), nullptr);
  EXPECT_EQ(reinterpret_cast<void *>(p->description().seq_doit), p->symbol("plugin_doit"));

  // The whole record is cleared before it is filled.
  auto getinfo = reinterpret_cast<PluginGetInfoFn>(p->symbol("plugin_getinfo"));
  PluginDescription d;
  std::memset(&d, 0x5A, sizeof d);
  getinfo(&d);
  EXPECT_EQ(d.stnames, nullptr);
  EXPECT_EQ(d.stype_count, 0);
  EXPECT_EQ(d.result, nullptr);
  EXPECT_EQ(d.init, nullptr);
  EXPECT_EQ(d.but_changed, nullptr);
  EXPECT_EQ(d.tex_doit, nullptr);
  EXPECT_EQ(d.varstr_count, 2);
  EXPECT_EQ(d.cfra, p->symbol("cfra"));
}

TEST_F(Alphascale, DividesByAlphaRoundingUp) {
  seqfx_test::Console con;
  EXPECT_EQ(one({64, 32, 0, 128}), (Pixel{128, 64, 0, 128}));  // 127.5 and 63.75 go up
  EXPECT_EQ(one({1, 1, 1, 3}), (Pixel{85, 85, 85, 3}));        // exactly 85 stays
  EXPECT_EQ(one({254, 1, 127, 254}), (Pixel{255, 2, 128, 254}));
  EXPECT_EQ(one({1, 0, 1, 1}), (Pixel{255, 0, 255, 1}));
  con.finish();
  EXPECT_EQ(con.err(), "");
}

TEST_F(Alphascale, OpaqueAndTransparentPixelsAreCopied) {
  EXPECT_EQ(one({10, 20, 30, 255}), (Pixel{10, 20, 30, 255}));
  seqfx_test::Console con;
  EXPECT_EQ(one({10, 20, 30, 0}), (Pixel{10, 20, 30, 0}));  // no warning either
  con.finish();
  EXPECT_EQ(con.err(), "");
}

TEST_F(Alphascale, ColourAboveAlphaIsReportedWithItsPositionAndLowered) {
  // Pixel index 8 of a 3 x 4 image is at column 2, row 2.
  Image a = seqfx_test::solid(3, 4, {0, 0, 0, 255});
  unsigned char *px = a.pixel(2, 2);
  px[0] = 100, px[1] = 60, px[2] = 51, px[3] = 50;
  Image out(3, 4);
  seqfx_test::Console con;
  p->render(1, 0, 0, a, nullptr, out);
  con.finish();
  EXPECT_EQ(at(out, 2, 2), (Pixel{255, 255, 255, 50}));
  EXPECT_EQ(con.err(),
            "red > alpha at 2,2 - really premul?green > alpha at 2,2 - really premul?"
            "blue > alpha at 2,2 - really premul?");
  EXPECT_EQ(con.out(), "");
}

TEST_F(Alphascale, ShowAlpha) {
  p->set_value("Show alpha", 1);
  EXPECT_EQ(one({10, 20, 30, 77}), (Pixel{77, 77, 77, 255}));
  EXPECT_EQ(one({10, 20, 30, 0}), (Pixel{0, 0, 0, 255}));
}

TEST_F(Alphascale, EveryColourAndAlpha) {
  Image a = seqfx_test::painted(256, 256, [](int x, int y) {
    return Pixel{(unsigned char)x, (unsigned char)(x / 2), (unsigned char)(255 - x), (unsigned char)y};
  });
  Image out(256, 256);
  seqfx_test::Console con;
  p->render(1, 0, 0, a, nullptr, out);
  con.finish();
  for (int y = 1; y < 255; ++y)
    for (int x = 0; x < 256; ++x)
      for (int k = 0; k < 3; ++k) {
        const int c = std::min<int>(at(a, x, y)[k], y);
        const int want = (int)std::ceil(c * 255.0 / y);
        ASSERT_EQ(at(out, x, y)[k], want) << x << "," << y << " channel " << k;
      }
}

TEST_F(Alphascale, MissingImagesAndOddSizes) {
  Image a = seqfx_test::test_picture(7, 5);
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, nullptr, nullptr);
  con.finish();
  EXPECT_EQ(con.err(), "NULL passed to plugin!\nNULL passed to plugin!\n");
  EXPECT_EQ(at(out, 0, 0), (Pixel{9, 9, 9, 9}));
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image in = seqfx_test::test_picture(w, h, 4);
    Image o(w, h);
    seqfx_test::Console quiet;
    p->render(1, 0, 0, in, nullptr, o);
    quiet.finish();
    EXPECT_EQ(at(o, w - 1, h - 1)[3], at(in, w - 1, h - 1)[3]);
  }
}

}  // namespace

// Runs of opaque and transparent pixels broken by partly transparent ones
// at every position within a block of four: each pixel is divided or
// copied as it stands, whatever its neighbours.
TEST_F(Alphascale, MixedRunsKeepEachPixelsRule) {
  const int w = 67, h = 3;
  Image in = seqfx_test::painted(w, h, [](int x, int y) {
    const int k = x + w * y;
    const unsigned char a = k % 5 == 0 ? (unsigned char)(40 + k % 200) : (k % 3 ? 255 : 0);
    const unsigned char c = (unsigned char)(a == 0 ? k % 256 : (k * 13) % (a + 1));
    return Pixel{c, (unsigned char)(c / 2), (unsigned char)(c / 3), a};
  });
  Image out(w, h);
  p->render(1, 0, 0, in, nullptr, out);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const unsigned char *s = in.pixel(x, y), *d = out.pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        const double v = std::ceil((double)s[c] * 255 / s[3]);
        const int want = s[3] == 0 || s[3] == 255 ? s[c] : (v > 255 ? 255 : (int)v);
        ASSERT_EQ(d[c], want) << x << "," << y;
      }
      ASSERT_EQ(d[3], s[3]);
    }
}
