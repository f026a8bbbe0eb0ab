#include "colour_files.h"

#include "seqfx/error.h"

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <cctype>

namespace seqfx_cli {

using seqfx::HostError;
namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string lower(std::string s) {
  for (char &c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

// The names OpenImageIO's built-in colour configuration knows.
const char *oiio_name(Space s) { return s == Space::Linear ? "linear" : "sRGB"; }

}  // namespace

Space guess_space(const OIIO::ImageSpec &spec) {
  const std::string label = lower(spec.get_string_attribute("oiio:ColorSpace"));
  if (label.find("linear") != std::string::npos || label.compare(0, 4, "lin_") == 0 || label == "acescg")
    return Space::Linear;
  if (label.find("srgb") != std::string::npos || label == "rec709" || label.compare(0, 5, "gamma") == 0)
    return Space::Srgb;
  if (label == "raw" || label == "data" || label == "non-color") return Space::Raw;
  const OIIO::TypeDesc t = spec.format;
  return t.basetype == OIIO::TypeDesc::FLOAT || t.basetype == OIIO::TypeDesc::HALF ||
                 t.basetype == OIIO::TypeDesc::DOUBLE
             ? Space::Linear
             : Space::Srgb;
}

void convert(float *rgba, int width, int height, Space from, Space to) {
  if (!converts(from, to) || width <= 0 || height <= 0) return;
  OIIO::ImageSpec spec(width, height, 4, OIIO::TypeDesc::FLOAT);
  spec.alpha_channel = 3;
  OIIO::ImageBuf buf(spec, rgba);  // wraps the pixels, converted where they lie
  if (!OIIO::ImageBufAlgo::colorconvert(buf, buf, oiio_name(from), oiio_name(to), false))
    throw HostError(std::string("cannot convert colours from ") + space_name(from) + " to " + space_name(to) +
                    ": " + buf.geterror());
}

void label(OIIO::ImageSpec &spec, Space s) {
  if (s == Space::Srgb || s == Space::Linear) spec.attribute("oiio:ColorSpace", oiio_name(s));
}

}  // namespace seqfx_cli
