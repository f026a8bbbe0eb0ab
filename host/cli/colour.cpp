#include "colour.h"

#include "seqfx/error.h"

#include <cctype>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

std::string lower(std::string s) {
  for (char &c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

}  // namespace

Space parse_space(const std::string &text) {
  const std::string t = lower(text);
  if (t == "srgb") return Space::Srgb;
  if (t == "linear") return Space::Linear;
  if (t == "raw") return Space::Raw;
  throw HostError("--colorspace wants srgb, linear or raw, not \"" + text + "\"");
}

const char *space_name(Space s) {
  switch (s) {
    case Space::Srgb: return "srgb";
    case Space::Linear: return "linear";
    case Space::Raw: return "raw";
    case Space::Guess: break;
  }
  return "guess";
}

}  // namespace seqfx_cli
