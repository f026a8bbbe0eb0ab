// A word quoted for the shell: in single quotes, each quote inside written
// as '\'' so that the shell takes the word exactly as it is.
#pragma once

#include <string>

namespace seqfx_cli {

inline std::string shell_quote(const std::string &word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace seqfx_cli
