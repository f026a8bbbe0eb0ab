// The colour labels of picture files, inside the picture library: what a
// file's label says of its values, and the label an output gets.
#pragma once

#include "colour.h"

#include <OpenImageIO/imageio.h>

namespace seqfx_cli {

// The space of a file being read: its colour-space label when it has one
// OpenImageIO recognises, else linear for float or half data, else sRGB.
Space guess_space(const OIIO::ImageSpec &spec);

// Labels an output spec with the space its values are in.
void label(OIIO::ImageSpec &spec, Space s);

}  // namespace seqfx_cli
