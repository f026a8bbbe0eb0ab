// depthview: bits 18..25 of the depth as grey, 64 bands over the range.

#include "seqfx_test.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

Image depths(int w, int h, const std::vector<int> &z) {
  Image img = seqfx_test::solid(w, h, {9, 9, 9, 9});
  int *d = img.add_zbuf();
  for (size_t i = 0; i < img.pixels(); ++i) d[i] = z[i % z.size()];
  return img;
}

Pixel grey(int g) { return {(unsigned char)g, (unsigned char)g, (unsigned char)g, 255}; }

class Depthview : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("depthview"); }
  std::string run(ImageBuffer *in, Image &out, int w = 1, int h = 1) {
    seqfx_test::Console con;
    p->call(1, 0, 0, w, h, in, nullptr, out.record(), nullptr);
    con.finish();
    return con.out();
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Depthview, Table) {
  EXPECT_EQ(p->display_name(), "depthview");
  ASSERT_EQ(p->row_count(), 1);
  EXPECT_EQ(p->row(0).code, PLUGIN_CODE_SLIDER_FLOAT);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "width ");
  EXPECT_EQ(seqfx::row_tip(p->row(0)), "This button is obsolete!");
  EXPECT_EQ(p->float_slot(0), 1.0f);
  EXPECT_EQ(p->row(0).max, 10.0f);
}

TEST_F(Depthview, BandsOfTwoToThe26) {
  const std::vector<int> z = {0, -1, 1 << 18, (1 << 18) - 1, (1 << 26) - 1, 1 << 26,
                              INT_MIN, INT_MAX, -(1 << 18), -(1 << 18) - 1, 0x12345678};
  const int want[] = {0, 255, 1, 0, 255, 0, 0, 255, 255, 254, 0x8D};
  Image in = depths((int)z.size(), 1, z);
  Image out((int)z.size(), 1);
  EXPECT_EQ(run(in.record(), out), "");
  for (size_t i = 0; i < z.size(); ++i) EXPECT_EQ(at(out, (int)i, 0), grey(want[i])) << z[i];
  EXPECT_EQ(out.zbuf(), nullptr);
}

TEST_F(Depthview, TheWidthSlotIsNeverRead) {
  Image in = depths(37, 23, {123456789, -987654321, 5});
  Image a(37, 23), b(37, 23);
  run(in.record(), a);
  for (float v : {0.0f, 10.0f, NAN, -INFINITY, 1e30f}) {
    std::memcpy(p->slot(0), &v, 4);
    run(in.record(), b);
    EXPECT_TRUE(seqfx_test::same_pixels(a, b)) << v;
  }
}

TEST_F(Depthview, MissingInputOrDepth) {
  const Pixel mark{1, 2, 3, 4};
  Image out = seqfx_test::solid(2, 2, mark);
  EXPECT_EQ(run(nullptr, out), "");
  Image flat = seqfx_test::solid(2, 2, mark);
  EXPECT_EQ(run(flat.record(), out), "no zbuf\n");
  EXPECT_EQ(at(out, 1, 1), mark);
  Image in = depths(2, 2, {0});
  Image no_rect(2, 2, false);
  EXPECT_EQ(run(in.record(), no_rect), "");
}

TEST_F(Depthview, WalksTheInputsOwnPixelsNeverPastOut) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    Image in = depths(w, h, {-1, 1 << 20, INT_MAX});
    Image out(w, h);
    // The frame arguments play no part.
    run(in.record(), out, 3, 999);
    EXPECT_EQ(at(out, w - 1, h - 1), grey(((w * h - 1) % 3 == 1) ? 4 : 255));
    // out smaller than the input: only what out holds is written.
    Image small(1, 1);
    run(in.record(), small, w, h);
    EXPECT_EQ(at(small, 0, 0), grey(255));
    // out is the input itself.
    run(in.record(), in, w, h);
    EXPECT_EQ(at(in, 0, 0), grey(255));
  }
}

}  // namespace
