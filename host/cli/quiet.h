// Silencing a module's console: while a Silence lives, file descriptors 1
// and 2 point at /dev/null (the module prints with printf; anything it
// leaves buffered is flushed before they are restored).
#pragma once

namespace seqfx_cli {

// Points file descriptors 1 and 2 at fd, keeping copies of the old ones in
// saved (-1 where none could be made).
void redirect_console(int fd, int saved[2]);
// Puts back what redirect_console saved (flushing first) and forgets it.
void restore_console(int saved[2]);

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
