// opacitymask: the alpha channel as a grey picture.

#include "seqfx_test.h"

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

TEST(Opacitymask, Table) {
  auto p = seqfx_test::load("opacitymask");
  EXPECT_EQ(p->display_name(), "Matte Maker");
  ASSERT_EQ(p->row_count(), 1);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "Input: 1 strip");
}

TEST(Opacitymask, EveryByteBecomesTheAlpha) {
  auto p = seqfx_test::load("opacitymask");
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image a = seqfx_test::test_picture(w, h);
    a.pixel(0, 0)[0] = 10, a.pixel(0, 0)[1] = 20, a.pixel(0, 0)[2] = 30, a.pixel(0, 0)[3] = 128;
    Image out(w, h);
    p->render(1, 0, 0, a, nullptr, out);
    EXPECT_EQ(at(out, 0, 0), (Pixel{128, 128, 128, 128}));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const unsigned char v = at(a, x, y)[3];
        ASSERT_EQ(at(out, x, y), (Pixel{v, v, v, v}));
      }
  }
}

TEST(Opacitymask, PixelCountComesFromTheImageAndMissingImagesAreSafe) {
  auto p = seqfx_test::load("opacitymask");
  Image a = seqfx_test::solid(7, 5, {1, 2, 3, 44});
  Image out = seqfx_test::solid(7, 5, {9, 9, 9, 9});
  seqfx_test::Console con;
  p->call(1, 0, 0, 7, 5, nullptr, nullptr, out.record(), nullptr);
  EXPECT_EQ(at(out, 0, 0), (Pixel{9, 9, 9, 9}));
  p->call(1, 0, 0, 7, 5, a.record(), nullptr, nullptr, nullptr);
  p->call(1, 0, 0, 1, 1, a.record(), nullptr, out.record(), nullptr);
  con.finish();
  EXPECT_EQ(con.out(), "opacitymask: no output image!\n");
  EXPECT_EQ(at(out, 6, 4), (Pixel{44, 44, 44, 44}));
}

}  // namespace
