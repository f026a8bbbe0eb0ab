// A peer: another library's filter set up on the case's picture, run one
// frame per call.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace peers {

class Peer {
 public:
  virtual ~Peer() = default;
  virtual void run() = 0;
  virtual std::string name() const = 0;
};

}  // namespace peers
