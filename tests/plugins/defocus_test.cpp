// defocus: focus selection and its write-back, the masks and their views,
// the blurs against a plain model, the console lines and the error paths.

#include "defocus_model.h"
#include "seqfx_test.h"

#include <cmath>
#include <cstdio>
#include <cstring>

using seqfx::Image;
using seqfx_test::at;
using seqfx_test::Pixel;

namespace {

enum Row { kBlur = 1, kZmin = 2, kFocus = 3, kAuto = 4, kIpo = 5, kFront = 6, kBack = 7, kGamma = 8,
           kSigma = 9 };

// A picture whose depth runs from near (left) to far (right), with a
// nearer block in the middle and some noise.
Image scene(int w, int h, unsigned seed = 3) {
  Image img = seqfx_test::test_picture(w, h, seed);
  int *z = img.add_zbuf();
  unsigned st = seed;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      st = st * 1103515245u + 12345u;
      double v = w > 1 ? -2.0e9 + 4.0e9 * x / (w - 1) : 0.0;
      if (std::abs(x - w / 2) < w / 6 && std::abs(y - h / 2) < h / 4) v = -1.5e9;
      z[y * w + x] = (int)(v + (double)((st >> 8) & 0xFFFFF));
    }
  return img;
}

class Defocus : public ::testing::Test {
 protected:
  void SetUp() override { p = seqfx_test::load("defocus"); }
  std::string run(Image &in, Image &out, float factor0 = 0) {
    seqfx_test::Console c;
    p->render(1, factor0, 0, in, nullptr, out);
    c.finish();
    return c.out();
  }
  void apply(const defocus_model::Settings &s) {
    p->set_value(kBlur, s.blursize);
    p->set_value(kZmin, s.zmin);
    p->set_value(kFocus, s.focus);
    p->set_value(kAuto, s.autofocus);
    p->set_value(kIpo, s.ipofocus);
    p->set_value(kGamma, s.gamma);
    p->set_value(kSigma, s.sigma);
  }
  // Renders with the settings and compares every byte with the model.
  void expect_model(Image &in, const defocus_model::Settings &s) {
    apply(s);
    Image out(in.width(), in.height());
    std::string log = run(in, out, s.factor0);
    std::vector<unsigned char> want = defocus_model::render(in, s);
    ASSERT_EQ(want.size(), in.pixels() * 3) << log;
    for (int i = 0; i < (int)in.pixels(); ++i) {
      const Pixel w{want[3 * i], want[3 * i + 1], want[3 * i + 2], 255};
      ASSERT_EQ(at(out, i % in.width(), i / in.width()), w)
          << in.width() << "x" << in.height() << " pixel " << i << " blur " << s.blursize << " sigma "
          << s.sigma << " gamma " << s.gamma;
    }
    EXPECT_EQ(log.find("some memory not deallocated"), std::string::npos);
  }
  std::unique_ptr<seqfx::Plugin> p;
};

TEST_F(Defocus, TableAndItsOwnExportNames) {
  EXPECT_EQ(p->display_name(), "Defocus v1d");
  ASSERT_EQ(p->row_count(), 10);
  EXPECT_EQ(seqfx::row_label(p->row(kBlur)), "Blursize ");
  EXPECT_EQ(seqfx::row_label(p->row(kGamma)), "Gamma ");
  EXPECT_EQ(p->row(kGamma).min, 0.05f);
  EXPECT_EQ(p->row(kFocus).def, 0.8f);
  EXPECT_EQ(seqfx::row_tip(p->row(kIpo)), "IpoCurve controlled focus");
  EXPECT_NE(p->symbol("g_cfra"), nullptr);
  EXPECT_NE(p->symbol("g_name"), nullptr);
  EXPECT_EQ(p->symbol("cfra"), nullptr);
  EXPECT_EQ(p->symbol("name"), nullptr);
}

TEST_F(Defocus, BlursMatchThePlainModel) {
  Image in = scene(37, 23);
  defocus_model::Settings s;
  expect_model(in, s);
  s.blursize = 2;
  s.sigma = 20;
  s.gamma = 0.05f;
  expect_model(in, s);
  s.blursize = 30;
  s.sigma = 3.5f;
  s.gamma = 2;
  expect_model(in, s);
  // Focus from the slider, the near limit raised: depths in front of it
  // are held at it.
  s = {};
  s.autofocus = false;
  s.focus = 0.7f;
  s.zmin = 0.3f;
  s.blursize = 11.5f;
  expect_model(in, s);
  Image wide = scene(64, 40, 9);
  s.focus = 0.45f;
  s.gamma = 1.4f;
  s.sigma = 6;
  expect_model(wide, s);
}

TEST_F(Defocus, TinyFramesAtTheExtremes) {
  defocus_model::Settings s;
  s.autofocus = false;
  s.focus = 0.5f;
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {2, 9}, {37, 23}}) {
    Image in = scene(w, h);
    for (float blur : {2.0f, 30.0f}) {
      s.blursize = blur;
      s.sigma = 20;
      s.gamma = 0.05f;
      expect_model(in, s);
    }
  }
}

TEST_F(Defocus, AutofocusWritesTheFocusItFound) {
  Image in = scene(9, 9);
  int *z = in.zbuf();
  for (int i = 0; i < 81; ++i) z[i] = 0;
  z[4 * 9 + 4] = 250000000;  // the centre counts once in 25
  Image out(9, 9);
  std::string log = run(in, out);
  const float want = defocus_model::fraction_of(10000000);
  EXPECT_EQ(p->float_slot(kFocus), want);
  char line[64];
  std::snprintf(line, sizeof line, "autofocus: %f\n", (double)want);
  EXPECT_EQ(log.rfind(line, 0), 0u) << log;

  // Frames smaller than the 5 x 5 block average what they have.
  Image one = scene(1, 1);
  one.zbuf()[0] = -1000000000;
  Image out1(1, 1);
  run(one, out1);
  EXPECT_EQ(p->float_slot(kFocus), defocus_model::fraction_of(-1000000000));
  Image two = scene(2, 3);
  for (int i = 0; i < 6; ++i) two.zbuf()[i] = i < 3 ? 600 : 0;
  Image out2(2, 3);
  run(two, out2);
  EXPECT_EQ(p->float_slot(kFocus), defocus_model::fraction_of(300));
}

TEST_F(Defocus, FocusFromSliderOrFactorAndTheZminCheck) {
  Image in = scene(8, 8);
  Image out(8, 8);
  p->set_value(kAuto, 0);
  p->set_value(kFocus, 1);  // the far end: 2147483647
  EXPECT_NE(run(in, out).find("done"), std::string::npos);
  EXPECT_EQ(p->float_slot(kFocus), 1.0f);  // not written without autofocus

  p->set_value(kZmin, 1);
  std::string log = run(in, out);
  EXPECT_NE(log.find("Error: Zmin too big!\n"), std::string::npos);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(at(out, i % 8, i / 8), (Pixel{255, 0, 0, 0}));

  // With Ipofocus the factor is the focus: 0 is the nearest depth, which
  // is not beyond Zmin 0.
  p->set_value(kZmin, 0);
  p->set_value(kIpo, 1);
  EXPECT_NE(run(in, out, 0.0f).find("Error: Zmin too big!"), std::string::npos);
  EXPECT_NE(run(in, out, 2.0f).find("done"), std::string::npos);
  p->set_value(kAuto, 1);
  EXPECT_NE(run(in, out, 0.0f).find("done"), std::string::npos);
}

TEST_F(Defocus, MaskViews) {
  // 7 x 5 is too small for either mask blur: the views show the masks as
  // split, and the arithmetic of the split decides every byte.
  Image in = scene(7, 5);
  p->set_value(kAuto, 0);
  p->set_value(kFocus, 0.55f);
  p->set_value(kZmin, 0.1f);
  std::vector<unsigned char> F, B;
  defocus_model::masks(in, defocus_model::depth_of(0.55f), defocus_model::depth_of(0.1f), 5, F, B);
  Image out(7, 5);
  p->set_value(kBack, 1);
  std::string log = run(in, out);
  EXPECT_NE(log.find("blurring background zbuffer\nWarning: not blurred - image too small\n"
                     "blurring foreground zbuffer\nWarning: not blurred - image too small\n"),
            std::string::npos) << log;
  EXPECT_EQ(log.find("blurring background\n"), std::string::npos);
  for (int i = 0; i < 35; ++i) ASSERT_EQ(at(out, i % 7, i / 7), (Pixel{B[i], B[i], B[i], 255})) << i;
  p->set_value(kFront, 1);  // the foreground wins
  run(in, out);
  for (int i = 0; i < 35; ++i) ASSERT_EQ(at(out, i % 7, i / 7), (Pixel{F[i], F[i], F[i], 255})) << i;
  // The views give back all they took.
  p->set_value(kFront, 0);
  p->set_value(kBack, 0);
  EXPECT_EQ(run(in, out).find("some memory not deallocated"), std::string::npos);
  int near = 0, far = 0;
  for (int i = 0; i < 35; ++i) {
    near += F[i] != 0;
    far += B[i] != 0;
    EXPECT_TRUE(F[i] == 0 || B[i] == 0);
  }
  EXPECT_GT(near, 0);
  EXPECT_GT(far, 0);
}

TEST_F(Defocus, SplitIsSinglePrecision) {
  // Depths where the background value, taken in single precision, differs
  // from the same quotient in double.
  const int zmin = defocus_model::depth_of(0), focus = defocus_model::depth_of(0.25f);
  std::vector<int> zs;
  for (int k = 1; k < 200 && zs.size() < 6; ++k) {
    const double z0 = (double)focus + k * (2147483648.0 - zmin) / 255.0;
    for (int dz = -300; dz <= 300; dz += 50) {
      const int z = (int)z0 + dz;
      const int single = (int)(((float)z - (float)focus) * (255.0f / (2147483648.0f - (float)zmin)));
      const int twice = (int)(((double)z - focus) * 255.0 / (2147483648.0 - zmin));
      if (single != twice) {
        zs.push_back(z);
        break;
      }
    }
  }
  ASSERT_FALSE(zs.empty());
  Image in = seqfx_test::solid((int)zs.size(), 1, {1, 2, 3, 4});
  int *z = in.add_zbuf();
  for (size_t i = 0; i < zs.size(); ++i) z[i] = zs[i];
  p->set_value(kAuto, 0);
  p->set_value(kFocus, 0.25f);
  p->set_value(kBack, 1);
  Image out((int)zs.size(), 1);
  run(in, out);
  for (size_t i = 0; i < zs.size(); ++i) {
    const float want = ((float)zs[i] - (float)focus) * (255.0f / (2147483648.0f - (float)zmin));
    EXPECT_EQ(at(out, (int)i, 0)[0], (int)want) << zs[i];
  }
}

TEST_F(Defocus, DepthAtTheFocusStaysSharp) {
  Image in = seqfx_test::test_picture(40, 30);
  int *z = in.add_zbuf();
  for (int i = 0; i < 1200; ++i) z[i] = 123456;
  Image out(40, 30);
  run(in, out);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      Pixel want = at(in, x, y);
      want[3] = 255;
      ASSERT_EQ(at(out, x, y), want) << x << "," << y;
    }
}

TEST_F(Defocus, ConsoleOfAFrame) {
  auto q = seqfx_test::load("defocus", true);  // its own spinner position
  Image in = scene(3, 3);
  Image out(3, 3);
  q->set_value(kAuto, 0);
  q->set_value(kFocus, 0.5f);
  seqfx_test::Console c;
  q->render(1, 0, 0, in, nullptr, out);
  q->render(2, 0, 0, in, nullptr, out);
  c.finish();
  // The spinner turns once per row and carries on into the next frame.
  const std::string masks =
      "blurring background zbuffer\nWarning: not blurred - image too small\n"
      "blurring foreground zbuffer\nWarning: not blurred - image too small\n";
  const std::string frame_a = masks +
      "blurring background\n  [|]     0%\r  [/]    33%\r  [-]    66%\r\n"
      "blurring foreground\n  [\\]     0%\r  [|]    33%\r  [/]    66%\r\ndone\n";
  const std::string frame_b = masks +
      "blurring background\n  [-]     0%\r  [\\]    33%\r  [|]    66%\r\n"
      "blurring foreground\n  [/]     0%\r  [-]    33%\r  [\\]    66%\r\ndone\n";
  EXPECT_EQ(c.out(), frame_a + frame_b);
  EXPECT_EQ(c.err(), "");
}

TEST_F(Defocus, MissingDepthOrWrongSize) {
  Image in = seqfx_test::test_picture(6, 4);
  Image out = seqfx_test::solid(6, 4, {9, 9, 9, 9});
  std::string log = run(in, out);
  EXPECT_EQ(log, "Error: input has no z-buffer\n");
  for (int i = 0; i < 24; ++i) ASSERT_EQ(at(out, i % 6, i / 6), (Pixel{255, 0, 0, 0}));

  // A frame size that is not the first strip's: warned, nothing read or
  // written, and nothing kept allocated (the next frame is clean).
  Image deep = scene(6, 4);
  Image small = seqfx_test::solid(3, 2, {7, 7, 7, 7});
  seqfx_test::Console c;
  p->call(1, 0, 0, 3, 2, deep.record(), nullptr, small.record(), nullptr);
  c.finish();
  EXPECT_EQ(c.out(), "Warning: wrong resolution\n");
  EXPECT_EQ(at(small, 2, 1), (Pixel{7, 7, 7, 7}));
  Image out2(6, 4);
  EXPECT_EQ(run(deep, out2).find("Warning: some memory"), std::string::npos);
}

}  // namespace
