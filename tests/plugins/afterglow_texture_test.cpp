// afterglow's texture role through the host's texture support: the two
// roles on one loaded instance, the screen slots they share, the sub-types
// and the renderer stand-in that shades a mask.

#include "seqfx/texture.h"
#include "afterglow_rows.h"
#include "seqfx_test.h"

#include <cstring>

using seqfx::HostError;
using seqfx::Image;
using seqfx::Texture;
using seqfx_test::at;
using seqfx_test::Console;
using seqfx_test::Pixel;

namespace {

using namespace afterglow_rows;

// A cross of the cancel picture: bytes 16 around a diagonal cross.
bool is_cancel_picture(const Image &img) {
  const int w = img.width(), h = img.height(), n = std::min(w, h);
  const int r0 = (h - n) >> 1, c0 = (w - n) >> 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int i = y - r0;
      const bool cross = i >= 0 && i < n && (x == c0 + i || x == c0 + n - 1 - i);
      const Pixel want = cross ? Pixel{(unsigned char)(255 - 2 * i), (unsigned char)(5 * i),
                                       (unsigned char)(3 * i), 255}
                               : Pixel{16, 16, 16, 16};
      if (at(img, x, y) != want) return false;
    }
  return true;
}

class AfterglowTexture : public ::testing::Test {
 protected:
  void SetUp() override {
    Console quiet;
    seq = seqfx_test::load("afterglow");
    tex = Texture::beside(*seq);
  }
  // Uses screen slot `slot` for both roles. q = 0: a marked pixel has
  // weight 1 exactly, so the output alpha is 255 there and the input's
  // (0) elsewhere.
  void use_slot(int slot) {
    Console quiet;
    seq->set_value(kTexture, slot);
    seq->set_value(kQ, 0);
    tex->plugin().set_value(kTexSlot, slot);
  }
  // One sequence frame of w x h on a transparent grey picture.
  Image frame(int w, int h) {
    Image in = seqfx_test::solid(w, h, {90, 90, 90, 0}), out(w, h);
    Console quiet;
    seq->render(1, 0, 0, in, nullptr, out);
    return out;
  }
  // Starts the slot afresh at w x h: a frame at another size, then the
  // first frame at this one, which shows the cancel picture.
  void fresh(int w, int h) {
    frame(w + 1, h);
    ASSERT_TRUE(is_cancel_picture(frame(w, h)));
  }
  std::vector<std::pair<int, int>> marked(const Image &out) {
    std::vector<std::pair<int, int>> v;
    for (int y = 0; y < out.height(); ++y)
      for (int x = 0; x < out.width(); ++x)
        if (at(out, x, y)[3] == 255) v.push_back({x, y});
    return v;
  }
  void shade_pixel(int x, int y, int w, int h, int stype = 0, float alpha = 1.0f) {
    tex->shade(stype, (float)(2.0 * x / w - 1.0), (float)(2.0 * y / h - 1.0), 0.5f, alpha);
  }
  std::unique_ptr<seqfx::Plugin> seq;
  std::unique_ptr<Texture> tex;
};

using Marks = std::vector<std::pair<int, int>>;

TEST_F(AfterglowTexture, DescriptionAndTraces) {
  Console c;
  auto t = Texture::load(seqfx_test::module_path("afterglow"));
  t->plugin().set_value(kThreshold, 0.5);
  t->plugin().set_value(kTexSlot, 9);
  c.finish();
  EXPECT_EQ(c.out(),
            "Getinfo: Texure-plugin\n\t\tSave Coords:\tPlugin_init()\n"
            "\t\tSave Coords:\tPlugin_but_changed()\nbut=2\t(=0x2)\n"
            "\t\tSave Coords:\tPlugin_but_changed()\nbut=1\t(=0x1)\n");
  const seqfx::Plugin &p = t->plugin();
  EXPECT_EQ(p.display_name(), "SaveScrCoords");
  ASSERT_EQ(p.row_count(), 3);
  EXPECT_EQ(seqfx::row_label(p.row(kThreshold)), "a-threshold=");
  EXPECT_EQ(seqfx::row_tip(p.row(kThreshold)), "Only pixel with alpha>threshold are saved");
  EXPECT_EQ(p.row(kTexSlot).max, 31.0f);
  EXPECT_EQ(p.float_slot(kThreshold), 0.5f);
  ASSERT_EQ(t->subtype_count(), 3);
  EXPECT_EQ(t->subtype_name(0), "Save all");
  EXPECT_EQ(t->subtype_name(1), "Alpha!=0");
  EXPECT_EQ(t->find_subtype("alpha threshold"), 2);
  EXPECT_THROW(t->subtype_name(3), HostError);
  EXPECT_THROW(t->find_subtype("Alpha"), HostError);
  EXPECT_THROW(t->shade(-1, 0, 0, 0, 1), HostError);
  EXPECT_TRUE(t->shares_instance_with(*seq));
}

TEST_F(AfterglowTexture, BothRolesShareOneInstance) {
  EXPECT_TRUE(tex->shares_instance_with(*seq));
  EXPECT_EQ(tex->plugin().description().cfra, seq->description().cfra);
  EXPECT_EQ(tex->result(), seq->description().result);
  // The host puts the alpha at byte 16 of the module's result record.
  tex->shade(0, 5, 5, 0, 0.375f);
  float alpha;
  std::memcpy(&alpha, reinterpret_cast<const unsigned char *>(tex->result()) + 16, 4);
  EXPECT_EQ(alpha, 0.375f);

  Console quiet;
  auto own = seqfx_test::load("afterglow", true);
  EXPECT_THROW(Texture::beside(*own), HostError);
}

TEST_F(AfterglowTexture, FirstFrameCancelsThenMarksGlowOnce) {
  use_slot(4);
  fresh(7, 5);
  shade_pixel(2, 1, 7, 5);
  shade_pixel(6, 4, 7, 5);
  EXPECT_EQ(marked(frame(7, 5)), (Marks{{2, 1}, {6, 4}}));
  // The marks are used up by the frame that showed them.
  EXPECT_EQ(marked(frame(7, 5)), Marks{});
  // Only the pixel count sizes a slot: at 5 x 7 the buffer stays, and a
  // mark made for 7 x 5 (index 24) reads in rows of 5.
  shade_pixel(3, 3, 7, 5);
  EXPECT_EQ(marked(frame(5, 7)), (Marks{{4, 4}}));
  // A new count shows the cancel picture again, whatever was marked.
  shade_pixel(1, 1, 5, 7);
  EXPECT_TRUE(is_cancel_picture(frame(1, 1)));
  EXPECT_TRUE(is_cancel_picture(frame(37, 23)));
  shade_pixel(36, 22, 37, 23);
  shade_pixel(0, 0, 37, 23);
  EXPECT_EQ(marked(frame(37, 23)), (Marks{{0, 0}, {36, 22}}));
}

TEST_F(AfterglowTexture, SubtypesDecideWhatIsMarked) {
  use_slot(5);
  fresh(7, 5);
  {
    Console quiet;
    tex->plugin().set_value(kThreshold, 0.5);
  }
  shade_pixel(0, 0, 7, 5, 0, 0.0f);   // Save all: always
  shade_pixel(1, 0, 7, 5, 1, 0.1f);   // Alpha!=0
  shade_pixel(2, 0, 7, 5, 1, 0.0f);   // alpha 0 falls to the threshold: below
  shade_pixel(3, 0, 7, 5, 2, 0.5f);   // Alpha Threshold: at the threshold
  shade_pixel(4, 0, 7, 5, 2, 0.49f);  // below
  EXPECT_EQ(marked(frame(7, 5)), (Marks{{0, 0}, {1, 0}, {3, 0}}));
  {
    Console quiet;
    tex->plugin().set_value(kThreshold, 0);
  }
  shade_pixel(2, 0, 7, 5, 1, 0.0f);  // threshold 0: alpha 0 passes
  EXPECT_EQ(marked(frame(7, 5)), (Marks{{2, 0}}));
}

TEST_F(AfterglowTexture, PointsOnTheEdgeWrapOrAreReported) {
  use_slot(6);
  fresh(7, 5);
  Console c;
  tex->shade(0, 1.0f, 2.0f * 2 / 5 - 1, 0, 1);     // column 7: first pixel of row 3
  tex->shade(0, 1.0f, 2.0f * 4 / 5 - 1, 0.25f, 1);  // one past the last pixel
  tex->shade(0, -1.0f, 1.0f, 0, 1);                 // row 5
  tex->shade(0, -9.0f, -1.0f, 0, 1);                // before the first pixel
  tex->shade(0, 1e30f, 0, 0, 1);                    // beyond any frame
  c.finish();
  EXPECT_EQ(c.err(),
            "Point (1,0.6,0.25) is situated in the top half of the display!\n"
            "Point (-1,1,0) is situated in the top half of the display!\n"
            "Point (-9,-1,0) is situated in the top half of the display!\n"
            "Point (1e+30,0,0) is situated in the top half of the display!\n");
  EXPECT_EQ(marked(frame(7, 5)), (Marks{{0, 3}}));
}

TEST_F(AfterglowTexture, UnsizedAndUnknownSlotsMarkNothing) {
  // Slot 31 is named by no sequence frame in this program.
  Console c;
  {
    tex->plugin().set_value(kTexSlot, 31);
  }
  tex->shade(0, 0, 0, 0, 1);
  for (int bad : {-1, 32}) {
    std::memcpy(tex->plugin().slot(kTexSlot), &bad, 4);
    tex->shade(0, 0, 0, 0, 1);
  }
  c.finish();
  EXPECT_EQ(c.err(), "");
}

TEST_F(AfterglowTexture, WeightViewCountsNoSourcesInTextureMode) {
  use_slot(7);
  fresh(7, 5);
  shade_pixel(3, 2, 7, 5);
  {
    Console quiet;
    seq->set_value(kShow, 1);
  }
  Image in = seqfx_test::solid(7, 5, {200, 0, 0, 255}), out(7, 5);
  Console c;
  seq->render(1, 0, 0, in, nullptr, out);
  c.finish();
  EXPECT_NE(c.out().find("\n0\t0\t0\t1\t1\n"), std::string::npos) << c.out();
  // A lone source is its own outline: black, the rest grey 0.
  EXPECT_EQ(at(out, 3, 2), (Pixel{0, 0, 0, 255}));
}

TEST_F(AfterglowTexture, ShadingAMaskMarksItsPixels) {
  use_slot(8);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}}) {
    fresh(w, h);
    Image mask = seqfx_test::painted(w, h, [](int x, int y) {
      return Pixel{0, 0, 0, (unsigned char)((x + 2 * y) % 5 == 0 ? 40 * (1 + x % 6) : 0)};
    });
    Marks want, strong;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (at(mask, x, y)[3]) want.push_back({x, y});
        if (at(mask, x, y)[3] / 255.0f > 0.5f) strong.push_back({x, y});
      }
    EXPECT_EQ(seqfx::shade_from_mask(*tex, 1, mask), (long)want.size());
    EXPECT_EQ(marked(frame(w, h)), want) << w << "x" << h;
    EXPECT_EQ(seqfx::shade_from_mask(*tex, 1, mask, 0.5f), (long)strong.size());
    EXPECT_EQ(marked(frame(w, h)), strong) << w << "x" << h;
  }
}

}  // namespace
