// afterglow as a sequence effect: its description and traces, the glow
// against a plain model of its arithmetic, and its edge cases.

#include "afterglow_model.h"
#include "afterglow_rows.h"
#include "seqfx_test.h"

#include <dlfcn.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Console;
using seqfx_test::Pixel;

namespace {

using namespace afterglow_rows;

// Dark, partly transparent background (red 0, so not a source) with bright
// spots and a bar of sources, depth from near to far with both limits.
Image scene(int w, int h, bool depth = true) {
  Image img = seqfx_test::painted(w, h, [&](int x, int y) {
    const bool spot = (x * 7 + y * 3) % 11 == 0 || (y == h / 2 && x > w / 3 && x < w / 2);
    if (spot) return Pixel{(unsigned char)(120 + x % 136), (unsigned char)(200 - y % 50), 40,
                           (unsigned char)(y % 3 ? 255 : 0)};
    return Pixel{0, (unsigned char)(30 + y), (unsigned char)(x * 3), (unsigned char)(x % 4 ? 200 : 0)};
  });
  if (depth) {
    int *z = img.add_zbuf();
    for (int k = 0; k < w * h; ++k) z[k] = (int)((long long)k * 977 % 4294967291LL - 2147483648LL);
    z[0] = INT_MIN;
    z[w * h - 1] = INT_MAX;
  }
  return img;
}

std::vector<float> red_mask(const Image &img) {
  std::vector<float> m(img.pixels());
  for (size_t k = 0; k < m.size(); ++k) m[k] = img.rect()[4 * k] ? 1.0f : 0.0f;
  return m;
}

class Afterglow : public ::testing::Test {
 protected:
  void SetUp() override {
    Console quiet;
    p = seqfx_test::load("afterglow");
  }
  void apply(const afterglow_model::Settings &s) {
    Console quiet;
    p->set_value(kQ, s.q);
    p->set_value(kExtern, s.outside);
    p->set_value(kIntern, s.inside);
    p->set_value(kI, s.intensity);
    p->set_value(kR, s.red);
    p->set_value(kG, s.green);
    p->set_value(kB, s.blue);
    p->set_value(kAnimated, s.animated);
    p->set_value(kShow, s.show_weights);
    p->set_value(kBackground, s.use_background);
  }
  // Renders in with the module and compares with the model.
  void expect_model(const afterglow_model::Settings &s, const Image &in, float factor1 = 0.5f,
                    const Image *strip = nullptr) {
    apply(s);
    Image out(in.width(), in.height());
    Image mask_copy(0, 0);
    {
      Console quiet;
      p->render(3, 0.25f, factor1, const_cast<Image &>(in), const_cast<Image *>(strip), out);
    }
    auto want = afterglow_model::run(s, factor1, in.width(), in.height(), in.rect(), in.zbuf(),
                                     red_mask(strip ? *strip : in));
    for (size_t k = 0; k < in.pixels() * 4; ++k)
      ASSERT_EQ(out.rect()[k], want.rect[k]) << "byte " << k % 4 << " of pixel " << k / 4 << " in "
                                             << in.width() << "x" << in.height();
    if (in.zbuf()) {
      ASSERT_NE(out.zbuf(), nullptr);
      for (size_t k = 0; k < in.pixels(); ++k) ASSERT_EQ(out.zbuf()[k], want.zbuf[k]) << "depth " << k;
    } else {
      EXPECT_EQ(out.zbuf(), nullptr);
    }
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Afterglow, SequenceDescription) {
  EXPECT_EQ(p->display_name(), "Afterglow");
  ASSERT_EQ(p->row_count(), 13);
  EXPECT_EQ(seqfx::row_tip(p->row(0)), "Hier wird's heisz!");
  EXPECT_EQ(p->row(kTexture).code, PLUGIN_CODE_SLIDER_INT);
  EXPECT_EQ(seqfx::row_label(p->row(kTexture)), "TexturNr.=");
  EXPECT_EQ(p->row(kTexture).min, -1.0f);
  EXPECT_EQ(p->int_slot(kTexture), -1);
  EXPECT_EQ(p->float_slot(kQ), 0.1f);
  EXPECT_EQ(p->row(kI).max, 25.0f);
  EXPECT_EQ(seqfx::row_tip(p->row(kBackground)), "Use background pixels (alpha=0)");
  const PluginDescription &d = p->description();
  EXPECT_EQ(d.stype_count, 3);
  EXPECT_STREQ(d.stnames + 32, "Alpha Threshold");
  EXPECT_NE(d.result, nullptr);
  EXPECT_EQ(d.seq_doit, p->symbol("afterglow"));
  EXPECT_EQ(d.tex_doit, p->symbol("save_pixel_pos"));
}

TEST_F(Afterglow, TracesOfLoadingAndChanges) {
  Console c;
  auto again = seqfx_test::load("afterglow");
  again->set_value(kTexture, 3);
  again->set_value(kShow, 1);
  c.finish();
  EXPECT_EQ(c.out(),
            "Getinfo: Sequenz-plugin\n\t\tAfter Glow:\tPlugin_init()\n"
            "\t\tAfter Glow:\tPlugin_but_changed()\nbut=9\t(=0x9)\nJETZT!\n"
            "\t\tAfter Glow:\tPlugin_but_changed()\nbut=11\t(=0xb)\n");
}

TEST(AfterglowFresh, DescribesTheTextureBeforeAnyVersionEntry) {
  // A private copy, opened by hand so that no version entry runs first.
  const std::string copy = ::testing::TempDir() + "/afterglow_fresh.so";
  {
    std::ifstream in(seqfx_test::module_path("afterglow"), std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
  }
  void *h = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr) << dlerror();
  auto getinfo = reinterpret_cast<PluginGetInfoFn>(dlsym(h, "plugin_getinfo"));
  PluginDescription d;
  std::memset(&d, 0, sizeof d);
  Console c;
  getinfo(&d);
  c.finish();
  EXPECT_EQ(c.out(), "Getinfo: Texure-plugin\n");
  EXPECT_STREQ(d.name, "SaveScrCoords");
  EXPECT_EQ(d.varstr_count, 3);
  EXPECT_EQ(d.varstr, dlsym(h, "tex_varstr"));
  // All eleven fields are written in either mode.
  EXPECT_TRUE(d.stnames && d.stype_count == 3 && d.result && d.cfra && d.init && d.but_changed &&
              d.tex_doit && d.seq_doit);
  dlclose(h);
  std::remove(copy.c_str());
}

TEST_F(Afterglow, ConsoleLinesOfAFrame) {
  Image in = scene(7, 5), out(7, 5);
  p->set_value(kShow, 1);
  Console c;
  p->render(1, 0.25f, 0.75f, in, nullptr, out);
  c.finish();
  afterglow_model::Settings shown;
  shown.show_weights = true;
  auto m = afterglow_model::run(shown, 1, 7, 5, in.rect(), nullptr, red_mask(in));
  int sources = 0;
  for (float v : red_mask(in)) sources += v != 0.0f;
  char want[512];
  std::snprintf(want, sizeof want,
                "\t\tafterklo(0.25,0.75,7x5)\n\ti=4, r=4, g=4, b=4, a=%g, le=0.5, li=0.2\n"
                "%d\t%g\t%g\t%g\t%g\nafterglow:\t\tDas war's\n",
                m.norm, sources, m.decay, 0.1f * 1.0, m.norm * m.norm, m.largest);
  EXPECT_EQ(c.out(), want);
  EXPECT_EQ(c.err(), "");
}

TEST_F(Afterglow, WidthIsShownInRowOneAndItsSlot) {
  Image in = scene(37, 23), out(37, 23);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);  // q x W = 3.7
  EXPECT_FLOAT_EQ(p->float_slot(kWidth), 3.7f);
  EXPECT_EQ(seqfx::row_label(p->row(kWidth)), "w=3.7");
  p->set_value(kQ, 1);
  p->set_value(kAnimated, 1);
  p->render(1, 0, 0.5f, in, nullptr, out);  // -2 / ln(0.5 e^(-2/37))
  const float decay = (float)(0.5 * std::pow(2.718281828459045, -2.0 / 37.0f));
  EXPECT_EQ(p->float_slot(kWidth), (float)(-2.0 / std::log((double)decay)));
  EXPECT_EQ(seqfx::row_label(p->row(kWidth)), "w=2.7");
  p->set_value(kAnimated, 0);
  p->set_value(kQ, 0);
  p->render(1, 0, 0, in, nullptr, out);
  EXPECT_EQ(p->float_slot(kWidth), 0.0f);
  EXPECT_EQ(seqfx::row_label(p->row(kWidth)), "w=0");
}

TEST_F(Afterglow, MatchesTheModelOnEverySize) {
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {37, 23}, {3, 40}}) {
    expect_model({}, scene(w, h));
    expect_model({}, scene(w, h, false));
  }
}

TEST_F(Afterglow, MatchesTheModelAcrossTheTable) {
  using S = afterglow_model::Settings;
  const Image in = scene(37, 23);
  std::vector<S> cases;
  S s;
  s.q = 1; s.intensity = 25; cases.push_back(s);                    // saturated, wide
  s = S(); s.outside = 1; s.inside = 1; cases.push_back(s);         // full blend
  s = S(); s.outside = 0; s.inside = 0; s.q = 0.35f; cases.push_back(s);
  s = S(); s.use_background = true; s.red = 0; s.blue = 0.3f; cases.push_back(s);
  s = S(); s.animated = true; s.intensity = 7.5f; cases.push_back(s);
  s = S(); s.intensity = 0; s.q = 0.02f; cases.push_back(s);
  s = S(); s.show_weights = true; s.q = 0.5f; cases.push_back(s);
  for (const S &c : cases) {
    SCOPED_TRACE(::testing::Message() << "q " << c.q << " i " << c.intensity << " ext " << c.outside);
    expect_model(c, in, 0.3f);
  }
}

TEST_F(Afterglow, MaskStripDecidesTheSources) {
  const Image in = scene(37, 23);
  Image strip = seqfx_test::painted(37, 23, [](int x, int y) {
    return Pixel{(unsigned char)((x - 18) * (x - 18) + (y - 11) * (y - 11) < 20 ? 1 : 0), 255, 255, 255};
  });
  expect_model({}, in, 0.5f, &strip);
  // A second strip without pixels falls back to the first.
  Image bare(37, 23, false);
  Image out(37, 23), ref(37, 23);
  Console quiet;
  p->render(1, 0, 0, const_cast<Image &>(in), &bare, out);
  p->render(1, 0, 0, const_cast<Image &>(in), nullptr, ref);
  EXPECT_TRUE(seqfx_test::same_pixels(out, ref));
}

TEST_F(Afterglow, ZeroWidthGlowCoversTheSourcesOnly) {
  p->set_value(kQ, 0);
  Image in = scene(7, 5, false), out(7, 5);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      const Pixel i = at(in, x, y), o = at(out, x, y);
      if (i[0] == 0 && i[3] != 0) {
        EXPECT_EQ(o, i) << x << "," << y;  // lit by nothing
      }
      if (i[0] != 0) {
        EXPECT_EQ(o[3], 255) << x << "," << y;  // weight 1 on a source
      }
    }
}

TEST_F(Afterglow, AnimatedAtFactorZeroHasNoDecayAndNoGain) {
  p->set_value(kAnimated, 1);
  Image in = scene(7, 5, false), out(7, 5);
  Console c;
  p->render(1, 0, 0, in, nullptr, out);
  c.finish();
  EXPECT_NE(c.out().find("\ti=0, r=0, g=0, b=0, a=1, "), std::string::npos) << c.out();
  // Without gain a source is no brighter than its own colour.
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x)
      if (at(in, x, y)[3]) {
        const Pixel o = at(out, x, y), i = at(in, x, y);
        EXPECT_EQ((Pixel{o[0], o[1], o[2], i[3]}), i) << x << "," << y;
      }
}

TEST_F(Afterglow, TransparentSourcesGiveNoGlow) {
  Image in = seqfx_test::solid(7, 5, {0, 0, 0, 0});
  in.pixel(3, 2)[0] = 255;  // a source, but with alpha 0
  Image out(7, 5);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      const Pixel o = at(out, x, y);
      EXPECT_EQ((Pixel{o[0], o[1], o[2], 0}), (Pixel{0, 0, 0, 0})) << x << "," << y;
    }
}

TEST_F(Afterglow, TransparentPixelsTakeThePureGlowUnlessTheBackgroundCounts) {
  // A grey transparent field beside an opaque white source.
  Image in = seqfx_test::solid(9, 1, {0, 100, 100, 0});
  unsigned char *src = in.pixel(4, 0);
  src[0] = src[1] = src[2] = src[3] = 255;
  Image glow(9, 1), blend(9, 1);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, glow);
  p->set_value(kBackground, 1);
  p->render(1, 0, 0, in, nullptr, blend);
  // Red is 0 everywhere but at the source: pure glow is all red there.
  EXPECT_GT(at(glow, 3, 0)[0], 0);
  EXPECT_EQ(at(glow, 3, 0)[1], at(glow, 3, 0)[0]);
  // Counted as background the grey pulls green and blue above red.
  EXPECT_GT(at(blend, 3, 0)[1], at(blend, 3, 0)[0]);
}

TEST_F(Afterglow, SaturatedGlowKeepsItsHue) {
  p->set_value(kI, 25);
  Image in = seqfx_test::solid(1, 1, {200, 100, 0, 255}), out(1, 1);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);
  const Pixel o = at(out, 0, 0);
  EXPECT_EQ(o[0], 255);
  EXPECT_EQ(o[1], 128);  // 255 x 100/200, rounded
  EXPECT_EQ(o[2], 0);
}

TEST_F(Afterglow, CompositionRoundsInDoublePrecision) {
  // Green's result is 0.594117641: 255 x that + 0.5 is 151.998 in double
  // but rounds up to 152 in single precision.
  p->set_value(kQ, 0);
  p->set_value(kI, 0.2);
  p->set_value(kIntern, 0.25);
  Image in = seqfx_test::solid(1, 1, {1, 150, 0, 255}), out(1, 1);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);
  EXPECT_EQ(at(out, 0, 0)[1], 151);
}

TEST_F(Afterglow, DepthBeyondTheNearLimitSaturates) {
  // On a one-pixel frame the filtered nearness is the weight scale (about
  // 1.84) times the pixel's own; at the near limit the blend of the two
  // lies beyond sqrt(2), nearer than any depth.
  Image in = seqfx_test::solid(1, 1, {255, 255, 255, 255});
  in.add_zbuf()[0] = INT_MIN;
  Image out(1, 1);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);
  ASSERT_NE(out.zbuf(), nullptr);
  EXPECT_EQ(out.zbuf()[0], INT_MIN);
}

TEST_F(Afterglow, WithoutInputDepthTheOutputDepthIsLeftAlone) {
  Image in = scene(7, 5, false), out(7, 5);
  int *z = out.add_zbuf();
  for (int k = 0; k < 35; ++k) z[k] = 1000 + k;
  Console quiet;
  p->render(1, 0, 0, in, nullptr, out);
  for (int k = 0; k < 35; ++k) EXPECT_EQ(out.zbuf()[k], 1000 + k);
}

TEST_F(Afterglow, NothingForAnEmptyFrameOrMissingPictures) {
  Image in = scene(7, 5), out = seqfx_test::solid(7, 5, {1, 2, 3, 4});
  Console c;
  p->call(1, 0, 0, 0, 5, in.record(), nullptr, out.record(), nullptr);
  p->call(1, 0, 0, 7, -1, in.record(), nullptr, out.record(), nullptr);
  Image no_rect(7, 5, false);
  p->call(1, 0, 0, 7, 5, no_rect.record(), nullptr, out.record(), nullptr);
  c.finish();
  EXPECT_EQ(at(out, 6, 4), (Pixel{1, 2, 3, 4}));
  EXPECT_EQ(out.zbuf(), nullptr);
  EXPECT_EQ(c.out(), "");
}

TEST_F(Afterglow, SlotNumbersOutsideTheTableUseTheMask) {
  Image in = scene(7, 5), a(7, 5), b(7, 5);
  Console quiet;
  p->render(1, 0, 0, in, nullptr, a);
  for (int bad : {-2, 32, INT_MAX}) {
    std::memcpy(p->slot(kTexture), &bad, 4);
    p->render(1, 0, 0, in, nullptr, b);
    EXPECT_TRUE(seqfx_test::same_pixels(a, b)) << bad;
  }
}

}  // namespace
