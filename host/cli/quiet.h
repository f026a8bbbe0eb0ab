// Silencing a module's console: while a Silence lives, file descriptors 1
// and 2 point at /dev/null (the module prints with printf; anything it
// leaves buffered is flushed before they are restored).
#pragma once

namespace seqfx_cli {

class Silence {
 public:
  explicit Silence(bool active);
  ~Silence();
  Silence(const Silence &) = delete;
  Silence &operator=(const Silence &) = delete;

 private:
  int saved_[2] = {-1, -1};
};

}  // namespace seqfx_cli
