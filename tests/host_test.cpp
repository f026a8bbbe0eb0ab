// The host library: loading, descriptions, ParamBlocks, images and the
// effect call, against fixture modules.

#include "seqfx_test.h"

#include <cstring>
#include <fstream>

using seqfx::HostError;
using seqfx::Image;
using seqfx::Plugin;
using seqfx_test::fixture_path;

namespace {

std::string load_error(const std::string &path) {
  try {
    Plugin::load(path);
  } catch (const HostError &e) {
    return e.what();
  }
  return "";
}

TEST(Loader, RefusesWhatIsNotAModule) {
  EXPECT_NE(load_error("/nonexistent/x.so").find("cannot read module /nonexistent/x.so"),
            std::string::npos);

  const std::string text = ::testing::TempDir() + "/not_a_module.so";
  std::ofstream(text) << "just text\n";
  EXPECT_NE(load_error(text).find("cannot load module " + text), std::string::npos);

  EXPECT_NE(load_error(fixture_path("no_getinfo")).find("is not a seqfx module: no plugin_getinfo entry"),
            std::string::npos);
  EXPECT_NE(load_error(fixture_path("wrong_version")).find("interface version 2, this host 3"),
            std::string::npos);
  EXPECT_NE(load_error(fixture_path("no_effect")).find("provides no sequence effect entry"),
            std::string::npos);
  seqfx::LoadOptions tex;
  tex.role = seqfx::Role::Texture;
  try {
    Plugin::load(fixture_path("all_kinds"), tex);
    FAIL() << "a sequence module loaded as a texture";
  } catch (const HostError &e) {
    EXPECT_NE(std::string(e.what()).find("no plugin_tex_getversion entry"), std::string::npos);
  }
}

class AllKinds : public ::testing::Test {
 protected:
  void SetUp() override { p = Plugin::load(fixture_path("all_kinds")); }
  std::unique_ptr<Plugin> p;
};

TEST_F(AllKinds, DefaultsFillOneSlotPerRow) {
  EXPECT_EQ(p->row_count(), 10);
  EXPECT_EQ(p->display_name(), "all kinds");
  EXPECT_EQ(p->int_slot(0), 0);
  EXPECT_EQ(p->int_slot(1), 7);
  EXPECT_EQ(p->float_slot(2), 1.5f);
  EXPECT_EQ(p->float_slot(3), 0.25f);
  EXPECT_EQ(p->int_slot(4), -3);
  EXPECT_EQ(p->int_slot(5), 1);
  // Tri-toggle state 2 as halves 1/1: readable as halves and as one int.
  EXPECT_EQ(p->tri_state(6), 2);
  const unsigned char tri[4] = {1, 0, 1, 0};
  EXPECT_EQ(std::memcmp(p->slot(6), tri, 4), 0);
  EXPECT_EQ(p->int_slot(7), 0);
  EXPECT_EQ(p->text_slot(9), "");
  // The text row has room for max + 1 characters from its slot on.
  EXPECT_GE(p->params_size(), 4u * 9 + 13);
  // A 16-character label fills its field without a terminator.
  EXPECT_EQ(seqfx::row_label(p->row(8)), "Sixteen chars ok");
}

TEST_F(AllKinds, NamesMatchWithoutTrailingBlanks) {
  EXPECT_EQ(p->find_row("Size"), 1);
  EXPECT_EQ(p->find_row("size"), 1);
  EXPECT_EQ(p->find_row("Txt:"), 9);
  try {
    p->find_row("Gamma");
    FAIL() << "an ambiguous name was accepted";
  } catch (const HostError &e) {
    EXPECT_NE(std::string(e.what()).find("ambiguous: rows 2 \"Gamma \", 3 \"Gamma\""), std::string::npos)
        << e.what();
  }
  EXPECT_THROW(p->find_row("Nope"), HostError);
  EXPECT_THROW(p->find_row("Input: 1 strip"), HostError);  // a label holds no value
}

TEST_F(AllKinds, ValuesAreCheckedStoredAndAnnounced) {
  p->set_value(1, 64);
  EXPECT_EQ(p->int_slot(1), 64);
  try {
    p->set_value(1, 65);
    FAIL();
  } catch (const HostError &e) {
    EXPECT_NE(std::string(e.what()).find("outside its range 1..64"), std::string::npos) << e.what();
  }
  EXPECT_THROW(p->set_value(1, 2.5), HostError);  // int rows take whole numbers
  EXPECT_THROW(p->set_value(0, 0), HostError);    // label
  EXPECT_THROW(p->set_value(7, 1), HostError);    // colour wants bytes
  p->set_value(2, 0.1);  // the float bound itself is inside
  EXPECT_EQ(p->float_slot(2), 0.1f);
  p->set_value(6, 1);
  EXPECT_EQ(p->int_slot(6), 1);
  EXPECT_THROW(p->set_value(6, 3), HostError);
  p->set_colour(7, 10, 20, 30, 40);
  const unsigned char c[4] = {10, 20, 30, 40};
  EXPECT_EQ(std::memcmp(p->slot(7), c, 4), 0);
  p->set_text(9, "twelve chars");
  EXPECT_EQ(p->text_slot(9), "twelve chars");
  EXPECT_THROW(p->set_text(9, "thirteen char"), HostError);

  // The module sees the slot at 4 x row, the frame number and the change.
  Image in = seqfx_test::solid(2, 1, {7, 0, 0, 0});
  Image out(2, 1);
  p->render(42.9f, 0, 0, in, nullptr, out);
  EXPECT_EQ(seqfx_test::at(out, 0, 0), (seqfx_test::Pixel{10, 20, 30, 40}));
  EXPECT_EQ(seqfx_test::at(out, 1, 0)[0], 42);
  EXPECT_EQ(seqfx_test::at(out, 1, 0)[1], 9);  // last row set
}

TEST_F(AllKinds, DepthPlanesAttachedToOutBelongToOut) {
  Image in = seqfx_test::solid(3, 2, {0, 0, 0, 0});
  int *z = in.add_zbuf();
  for (int i = 0; i < 6; ++i) z[i] = i * 1000 - 2500;
  {
    Image out(3, 2);
    p->render(1, 0, 0, in, nullptr, out);  // "On": a plane of the module's own
    ASSERT_NE(out.zbuf(), nullptr);
    EXPECT_TRUE(out.owns_zbuf());
    EXPECT_EQ(out.zbuf()[5], -2500);
  }
  p->set_value(5, 0);
  Image out(3, 2);
  p->render(1, 0, 0, in, nullptr, out);  // pointed at the input's plane
  ASSERT_NE(out.zbuf(), nullptr);
  EXPECT_NE(out.zbuf(), in.zbuf());
  EXPECT_TRUE(out.owns_zbuf());
  EXPECT_EQ(out.zbuf()[5], 2500);

  // Even a pointer at an input's pixels is copied, never adopted and freed.
  p->set_value(4, 10);
  Image out2(3, 2);
  p->render(1, 0, 0, in, nullptr, out2);
  ASSERT_NE(out2.zbuf(), nullptr);
  EXPECT_NE((void *)out2.zbuf(), (void *)in.rect());
  EXPECT_TRUE(out2.owns_zbuf());
}

TEST(Render, RefusesInputsOfAnotherSize) {
  auto p = Plugin::load(fixture_path("all_kinds"));
  Image a(4, 4), b(4, 3), out(4, 4);
  EXPECT_THROW(p->render(1, 0, 0, b, nullptr, out), HostError);
  EXPECT_THROW(p->render(1, 0, 0, a, &b, out), HostError);
}

TEST(Instances, SharedUnlessLoadedIndependently) {
  auto a = Plugin::load(fixture_path("all_kinds"));
  auto b = Plugin::load(fixture_path("all_kinds"));
  EXPECT_EQ(a->instances_sharing_state(), 2);
  EXPECT_FALSE(a->independent());
  EXPECT_EQ(a->description().cfra, b->description().cfra);

  seqfx::LoadOptions own;
  own.independent = true;
  auto c = Plugin::load(fixture_path("all_kinds"), own);
  EXPECT_TRUE(c->independent());
  EXPECT_NE(c->description().cfra, a->description().cfra);
  *c->description().cfra = 5;
  *a->description().cfra = 9;
  EXPECT_EQ(*c->description().cfra, 5);
  b.reset();
  EXPECT_TRUE(a->independent());
}

TEST(ImageRecord, FieldsAndPlanes) {
  Image img(5, 3, false);
  EXPECT_EQ(img.record()->xsize, 5);
  EXPECT_EQ(img.record()->ysize, 3);
  EXPECT_EQ(img.rect(), nullptr);
  EXPECT_EQ(img.record()->name[0], '\0');
  img.set_name(std::string(2000, 'n'));
  EXPECT_EQ(img.name().size(), sizeof(img.record()->name) - 1);
  EXPECT_NE(img.add_floatbuf(), nullptr);
  EXPECT_THROW(Image(40000, 1), HostError);

  // An unfilled image has a writable plane of its own, also at 0 pixels,
  // and checks its size like any other.
  Image raw = Image::unfilled(5, 3);
  ASSERT_NE(raw.rect(), nullptr);
  std::memset(raw.rect(), 7, raw.pixels() * 4);
  EXPECT_EQ(raw.pixel(4, 2)[3], 7);
  EXPECT_NE(Image::unfilled(0, 0).rect(), nullptr);
  EXPECT_THROW(Image::unfilled(-1, 1), HostError);
}

}  // namespace
