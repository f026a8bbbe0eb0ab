#pragma once

#include <stdexcept>
#include <string>

namespace seqfx {

// Every failure of the host library: a one-line message a person can act on.
class HostError : public std::runtime_error {
 public:
  explicit HostError(const std::string &what) : std::runtime_error(what) {}
};

}  // namespace seqfx
