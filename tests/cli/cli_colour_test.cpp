// seqfx render and colour: linear files seen in sRGB by byte modules and
// written back linear, labels on the outputs, --colorspace, the one-time
// notes on what a module cannot take, and --alpha.

#include "cli_support.h"

#include <OpenImageIO/imageio.h>

#include <cmath>

using namespace cli_test;

namespace {

std::vector<std::string> probe(std::vector<std::string> args) {
  args.insert(args.begin(), {"--plugins", fixture_dir(), "render", "cli_probe"});
  return args;
}

// The sRGB curve, as the reference the conversions are held against.
float encode(float v) { return v <= 0.0031308f ? 12.92f * v : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f; }
float decode(float v) { return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f); }

// Grey levels along x; the probe (Mode 0) copies the middle row of three.
const float kLinear[4] = {0.0f, 0.05f, 0.18f, 1.0f};

void write_linear_exr(const std::string &path) {
  write_float(path, 4, 3, {"R", "G", "B", "A"}, [](int x, int, int c) { return c == 3 ? 1.0f : kLinear[x]; });
}

int count(const std::string &text, const std::string &needle) {
  int n = 0;
  for (std::size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1)) ++n;
  return n;
}

TEST(Colour, LinearExrIsSeenInSrgbAndWrittenBackLinear) {
  TempDir dir;
  write_linear_exr(dir / "in.exr");
  Result r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "out.png"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture png = read_file(dir / "out.png");
  EXPECT_EQ(png.colour_space, "sRGB");
  for (int x = 0; x < 4; ++x) {
    const Pixel p = png.byte_pixel(x, 1);
    EXPECT_NEAR(p[0], encode(kLinear[x]) * 255.0f, 1.0f) << x;
    EXPECT_EQ(p[0], p[2]) << x;
    EXPECT_EQ(p[3], 255);
  }

  // Back to a float file: linear again (within a byte's step), labelled so.
  r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "out.exr"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture exr = read_file(dir / "out.exr");
  EXPECT_EQ(exr.colour_space, "Linear");
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(exr.at(x, 1, 1), kLinear[x], 0.004f) << x;

  // A PNG written to EXR holds linear light.
  r = seqfx(probe({"-i", dir / "out.png", "-o", dir / "again.exr"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture again = read_file(dir / "again.exr");
  for (int x = 0; x < 4; ++x)
    EXPECT_NEAR(again.at(x, 1, 0), decode(png.byte_pixel(x, 1)[0] / 255.0f), 1e-3f) << x;
}

TEST(Colour, ColorspaceOverridesTheGuessPerFile) {
  TempDir dir;
  write_linear_exr(dir / "in.exr");
  // The EXR declared sRGB: its values become bytes as they are.
  Result r = seqfx(probe({"-i", dir / "in.exr", "--colorspace", "srgb", "-o", dir / "as_is.png"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture as_is = read_file(dir / "as_is.png");
  for (int x = 0; x < 4; ++x) EXPECT_EQ(as_is.byte_pixel(x, 1)[0], (int)(kLinear[x] * 255.0f + 0.5f)) << x;

  // A linear PNG: converted into linear values and labelled linear.
  r = seqfx(probe({"-i", dir / "as_is.png", "-o", dir / "lin.png", "--colorspace=LINEAR"}));
  ASSERT_EQ(r.code, 0) << r.err;
  FilePicture lin = read_file(dir / "lin.png");
  EXPECT_EQ(lin.colour_space, "linear");
  EXPECT_NEAR(lin.byte_pixel(2, 1)[0], decode(46 / 255.0f) * 255.0f, 1.0f);
  // Read back, the label is honoured: sRGB bytes again for the module.
  r = seqfx(probe({"-i", dir / "lin.png", "-o", dir / "round.png"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NEAR(read_file(dir / "round.png").byte_pixel(2, 1)[0], 46, 1);

  // Raw: never converted, into a float file either.
  r = seqfx(probe({"-i", dir / "as_is.png", "-o", dir / "raw.exr", "--colorspace", "raw"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FLOAT_EQ(read_file(dir / "raw.exr").at(2, 1, 0), 46 / 255.0f);

  const std::pair<std::vector<std::string>, std::string> bad[] = {
      {{"--colorspace", "linear", "-i", dir / "in.exr", "-o", dir / "x.png"},
       "seqfx: --colorspace follows the -i or -o whose file it describes\n"},
      {{"-i", dir / "in.exr", "--colorspace", "aces", "-o", dir / "x.png"},
       "seqfx: --colorspace wants srgb, linear or raw, not \"aces\"\n"},
      {{"-i", dir / "in.exr", "-o", dir / "x.png", "--alpha", "maybe"},
       "seqfx: --alpha wants keep or opaque, not \"maybe\"\n"}};
  for (const auto &[args, message] : bad) {
    r = seqfx(probe(args));
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.err, message);
  }
}

TEST(Colour, FloatModulesGetTheFileValues) {
  TempDir dir;
  write_linear_exr(dir / "in.exr");
  // Mode 4 writes 1 - the float input: in linear, as the file holds it.
  Result r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "out.exr", "--set", "Mode=4", "--float"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FLOAT_EQ(read_file(dir / "out.exr").at(2, 1, 0), 1.0f - 0.18f);
  // Its float-only result in a PNG is shown in sRGB.
  r = seqfx(probe({"-i", dir / "in.exr", "-o", dir / "out.png", "--set", "Mode=4", "--float"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NEAR(read_file(dir / "out.png").byte_pixel(2, 1)[0], encode(0.82f) * 255.0f, 1.0f);

  // A PNG first strip makes sRGB the float space: the module's floats are
  // converted from it into the linear EXR.
  write_png(dir / "grey.png", 4, 3, [](int, int) { return Pixel{46, 46, 46, 255}; });
  r = seqfx(probe({"-i", dir / "grey.png", "-o", dir / "grey.exr", "--set", "Mode=4", "--float"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NEAR(read_file(dir / "grey.exr").at(0, 1, 0), decode(1.0f - 46 / 255.0f), 1e-3f);
}

// A 16-bit PNG, sRGB like any integer file.
void write_png16(const std::string &path, int w, int h, float v) {
  std::vector<float> px((std::size_t)w * h * 4, v);
  for (std::size_t i = 3; i < px.size(); i += 4) px[i] = 1.0f;
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out);
  OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::UINT16);
  ASSERT_TRUE(out->open(path, spec) && out->write_image(OIIO::TypeDesc::FLOAT, px.data()) && out->close());
}

TEST(Colour, WhatAByteModuleCannotTakeIsSaidOncePerInput) {
  TempDir dir;
  write_png16(dir / "deep_1.png", 3, 3, 0.5f);
  write_png16(dir / "deep_2.png", 3, 3, 0.5f);
  write_png16(dir / "deep_3.png", 3, 3, 0.5f);
  Result r = seqfx({"render", "invert", "-i", dir / "deep_%d.png", "-o", dir / "o_%d.png", "-j", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(count(r.err, "seqfx: note: " + dir / "deep_%d.png" +
                             " holds more than 8 bits per channel; invert reads 8 bits, so it is reduced to 8 bits\n"),
            1)
      << r.err;

  // HDR values: reduced and clipped, said once, also under --quiet; and
  // --float for a module that reads only bytes.
  write_float(dir / "hdr.exr", 2, 2, {"R", "G", "B"}, [](int x, int, int) { return 2.0f * x; });
  r = seqfx({"--quiet", "render", "invert", "-i", dir / "hdr.exr", "-o", dir / "h_%d.exr", "--frames", "1-3", "--float"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(count(r.err, "seqfx: note: " + dir / "hdr.exr" + " holds more than 8 bits per channel and values above "
                                                              "1.0 (HDR); invert reads 8 bits, so they are reduced "
                                                              "to 8 bits and clipped\n"),
            1)
      << r.err;
  EXPECT_EQ(count(r.err, "seqfx: invert reads only 8-bit pixels: --float gives it nothing more, its result "
                         "is 8-bit\n"),
            1)
      << r.err;

  // 8-bit sRGB input says nothing.
  write_png(dir / "plain.png", 2, 2, [](int, int) { return Pixel{1, 2, 3, 255}; });
  r = seqfx({"render", "invert", "-i", dir / "plain.png", "-o", dir / "p.png"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(contains(r.err, "note")) << r.err;
}

TEST(Colour, AlphaOpaqueShowsTheColourUnderAlphaZero) {
  TempDir dir;
  write_png(dir / "clear.png", 2, 3, [](int, int) { return Pixel{10, 20, 30, 0}; });
  Result r = seqfx(probe({"-i", dir / "clear.png", "-o", dir / "keep.png"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "keep.png").byte_pixel(1, 1), (Pixel{10, 20, 30, 0}));
  r = seqfx(probe({"-i", dir / "clear.png", "-o", dir / "opaque.png", "--alpha", "opaque"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(read_file(dir / "opaque.png").byte_pixel(1, 1), (Pixel{10, 20, 30, 255}));
  // Float outputs too.
  r = seqfx(probe({"-i", dir / "clear.png", "-o", dir / "opaque.exr", "--alpha=opaque", "--float", "--set", "Mode=4"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FLOAT_EQ(read_file(dir / "opaque.exr").at(1, 1, 3), 1.0f);
}

}  // namespace
