// The demo's built-in pictures: a small rendered scene with depth, needing
// no files.
#pragma once

#include "seqfx/depth.h"
#include "seqfx/image.h"

#include <string>

namespace seqfx_cli {

enum class Strip {
  Scene,   // spheres and a box at several depths over a floor, under a sky
  Green,   // the same subject over an even green backdrop, for keyers
  Clean,   // the green backdrop alone
  Plate,   // the floor and sky of Scene without the subject
  Cutout,  // Scene with alpha: the subject opaque, the floor fading out, the sky clear
  Second,  // a second strip for transitions: bands and rings, a slanted depth plane
  Third,   // a third strip: a soft grey matte, flat depth
};

// Camera distances of the scene, mapped onto the depth plane.
constexpr seqfx::DepthRange kSceneDepth{1.0, 30.0};

// A w x h picture with its depth plane; the subject moves a little with
// the frame number.
seqfx::Image make_strip(Strip which, int w, int h, int frame);

}  // namespace seqfx_cli
