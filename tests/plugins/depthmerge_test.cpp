// depthmerge: nearest (or farthest) of two or three strips per pixel, ties
// to the earlier strip, signed depths; the messages for missing depth.

#include "seqfx_test.h"

#include <climits>
#include <cstring>
#include <random>
#include <vector>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

const Pixel kOne{10, 11, 12, 13}, kTwo{20, 21, 22, 23}, kThree{30, 31, 32, 33};

// One row of pixels all `px`, with the given depths.
Image strip(Pixel px, const std::vector<int> &z) {
  Image img = seqfx_test::solid((int)z.size(), 1, px);
  int *d = img.add_zbuf();
  for (size_t i = 0; i < z.size(); ++i) d[i] = z[i];
  return img;
}

class Depthmerge : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("depthmerge"); }
  // Calls the effect on a frame of the first strip's size; returns what it printed.
  std::string run(Image *a, Image *b, Image &out, Image *c = nullptr) {
    seqfx_test::Console con;
    p->call(1, 0, 0, out.width(), out.height(), a ? a->record() : nullptr,
            b ? b->record() : nullptr, out.record(), c ? c->record() : nullptr);
    con.finish();
    return con.out();
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Depthmerge, Table) {
  EXPECT_EQ(p->display_name(), "depthmerge");
  ASSERT_EQ(p->row_count(), 2);
  EXPECT_EQ(p->row(0).code, PLUGIN_CODE_LABEL);
  EXPECT_EQ(seqfx::row_label(p->row(0)), "2or3 strips");
  EXPECT_EQ(seqfx::row_tip(p->row(0)), "");
  EXPECT_EQ(p->row(1).code, PLUGIN_CODE_TOGGLE);
  EXPECT_EQ(seqfx::row_label(p->row(1)), "Invert");
  EXPECT_EQ(seqfx::row_tip(p->row(1)), "Invert zbuffer");
  EXPECT_EQ(p->row(1).max, 1.0f);
  EXPECT_EQ(p->int_slot(1), 0);
}

TEST_F(Depthmerge, NearestOfThreeWithTiesToTheEarlierStrip) {
  // Columns: all equal; z2 = z3 < z1; z3 nearest; z1 = z3 < z2; z2 nearest;
  // the extremes compared as signed values.
  Image a = strip(kOne, {5, 9, 9, 1, 9, INT_MAX, -1, INT_MIN});
  Image b = strip(kTwo, {5, 2, 9, 4, 1, INT_MIN, 0, INT_MIN});
  Image c = strip(kThree, {5, 2, 3, 1, 7, 0, INT_MAX, INT_MIN});
  Image out(8, 1);
  EXPECT_EQ(run(&a, &b, out, &c), "");
  const Pixel want[8] = {kOne, kTwo, kThree, kOne, kTwo, kTwo, kOne, kOne};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(at(out, x, 0), want[x]) << x;
}

TEST_F(Depthmerge, InvertTakesTheFarthestWithTiesToTheEarlierStrip) {
  p->set_value("Invert", 1);
  Image a = strip(kOne, {5, 1, 1, 9, 1, INT_MIN, -1, INT_MAX});
  Image b = strip(kTwo, {5, 8, 1, 4, 9, INT_MAX, 0, INT_MAX});
  Image c = strip(kThree, {5, 8, 3, 9, 7, 0, INT_MIN, INT_MAX});
  Image out(8, 1);
  run(&a, &b, out, &c);
  const Pixel want[8] = {kOne, kTwo, kThree, kOne, kTwo, kTwo, kTwo, kOne};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(at(out, x, 0), want[x]) << x;

  // Only a slot of exactly 1 inverts.
  const int two = 2;
  std::memcpy(p->slot(1), &two, 4);
  run(&a, &b, out, &c);
  EXPECT_EQ(at(out, 1, 0), kOne);
}

TEST_F(Depthmerge, TwoStripsAndAThirdWithoutDepth) {
  Image a = strip(kOne, {3, 3, 7});
  Image b = strip(kTwo, {3, 2, 8});
  Image out(3, 1);
  run(&a, &b, out);
  EXPECT_EQ(at(out, 0, 0), kOne);
  EXPECT_EQ(at(out, 1, 0), kTwo);
  EXPECT_EQ(at(out, 2, 0), kOne);
  // A third strip without a depth plane takes no part, however near.
  Image c = seqfx_test::solid(3, 1, kThree);
  run(&a, &b, out, &c);
  EXPECT_EQ(at(out, 0, 0), kOne);
  EXPECT_EQ(at(out, 1, 0), kTwo);
  p->set_value("Invert", 1);
  run(&a, &b, out);
  EXPECT_EQ(at(out, 0, 0), kOne);
  EXPECT_EQ(at(out, 2, 0), kTwo);
}

TEST_F(Depthmerge, MissingDepthIsReportedAndOutIsLeftAlone) {
  Image a = strip(kOne, {1, 2});
  Image b = strip(kTwo, {2, 1});
  Image plain1 = seqfx_test::solid(2, 1, kOne), plain2 = seqfx_test::solid(2, 1, kTwo);
  const Pixel mark{1, 2, 3, 4};
  Image out = seqfx_test::solid(2, 1, mark);
  EXPECT_EQ(run(&plain1, &b, out), "Error: input 1 has no z-buffer\n");
  EXPECT_EQ(run(nullptr, &b, out), "Error: input 1 has no z-buffer\n");
  EXPECT_EQ(run(&plain1, nullptr, out), "Error: input 1 has no z-buffer\n");
  EXPECT_EQ(run(&a, &plain2, out), "Error: input 2 has no z-buffer\n");
  EXPECT_EQ(run(&a, nullptr, out), "Error: input 2 has no z-buffer\n");
  EXPECT_EQ(at(out, 0, 0), mark);
  EXPECT_EQ(at(out, 1, 0), mark);
}

TEST_F(Depthmerge, AliasedInputsAndOutput) {
  Image a = strip(kOne, {4, 1});
  Image b = strip(kTwo, {2, 3});
  Image out(2, 1);
  run(&a, &a, out, &a);
  EXPECT_EQ(at(out, 0, 0), kOne);
  EXPECT_EQ(at(out, 1, 0), kOne);
  // out is the first strip itself.
  run(&a, &b, a, &b);
  EXPECT_EQ(at(a, 0, 0), kTwo);
  EXPECT_EQ(at(a, 1, 0), kOne);
}

TEST_F(Depthmerge, ImagesSmallerThanTheFrame) {
  Image a = strip(kOne, {5, 5, 5, 5});
  Image b = strip(kTwo, {6, 6, 6, 6});
  Image c = strip(kThree, {1, 1});  // holds only the first two pixels
  const Pixel mark{1, 2, 3, 4};
  Image out = seqfx_test::solid(4, 1, mark);
  p->call(1, 0, 0, 4, 1, a.record(), b.record(), out.record(), c.record());
  EXPECT_EQ(at(out, 1, 0), kThree);
  EXPECT_EQ(at(out, 2, 0), kOne);
  EXPECT_EQ(at(out, 3, 0), kOne);

  // A second strip or an output smaller than the frame bounds the pixels.
  Image small_b = strip(kTwo, {0, 0, 0});
  Image out2 = seqfx_test::solid(4, 1, mark);
  p->call(1, 0, 0, 4, 1, a.record(), small_b.record(), out2.record(), nullptr);
  EXPECT_EQ(at(out2, 2, 0), kTwo);
  EXPECT_EQ(at(out2, 3, 0), mark);
  Image tiny_out = seqfx_test::solid(1, 1, mark);
  p->call(1, 0, 0, 4000, 4000, a.record(), b.record(), tiny_out.record(), c.record());
  EXPECT_EQ(at(tiny_out, 0, 0), kThree);
  // An empty or negative frame writes nothing.
  Image out3 = seqfx_test::solid(4, 1, mark);
  p->call(1, 0, 0, -4, 1, a.record(), b.record(), out3.record(), nullptr);
  p->call(1, 0, 0, 4, 0, a.record(), b.record(), out3.record(), nullptr);
  EXPECT_EQ(at(out3, 0, 0), mark);
  // Strips without pixels cannot be copied from.
  a.drop_rect();
  p->call(1, 0, 0, 4, 1, a.record(), b.record(), out3.record(), nullptr);
  EXPECT_EQ(at(out3, 0, 0), mark);
}

TEST_F(Depthmerge, FrameSizesAgainstAPerPixelChoice) {
  std::mt19937 rng(7);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}})
    for (int invert : {0, 1})
      for (bool three : {false, true}) {
        p->set_value("Invert", invert);
        Image in[3] = {seqfx_test::test_picture(w, h, 1), seqfx_test::test_picture(w, h, 2),
                       seqfx_test::test_picture(w, h, 3)};
        for (Image &img : in) {
          int *z = img.add_zbuf();
          // Few distinct depths, so that ties occur often.
          const int levels[4] = {INT_MIN, -1, 0, INT_MAX};
          for (size_t i = 0; i < img.pixels(); ++i) z[i] = levels[rng() % 4];
        }
        Image out(w, h);
        p->render(1, 0, 0, in[0], &in[1], out, three ? &in[2] : nullptr);
        for (size_t i = 0; i < out.pixels(); ++i) {
          int best = 0;
          for (int k = 1; k < (three ? 3 : 2); ++k) {
            const int zk = in[k].zbuf()[i], zb = in[best].zbuf()[i];
            if (invert ? zk > zb : zk < zb) best = k;
          }
          ASSERT_EQ(std::memcmp(out.rect() + 4 * i, in[best].rect() + 4 * i, 4), 0)
              << w << "x" << h << " pixel " << i << " invert " << invert << " three " << three;
        }
        EXPECT_EQ(out.zbuf(), nullptr);
      }
}

}  // namespace
