#include "quiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace seqfx_cli {

Silence::Silence(bool active) {
  if (!active) return;
  std::fflush(stdout);
  std::fflush(stderr);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  for (int i = 0; i < 2; ++i) {
    saved_[i] = fcntl(i + 1, F_DUPFD_CLOEXEC, 3);
    dup2(null, i + 1);
  }
  close(null);
}

Silence::~Silence() {
  if (saved_[0] < 0 && saved_[1] < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  for (int i = 0; i < 2; ++i)
    if (saved_[i] >= 0) {
      dup2(saved_[i], i + 1);
      close(saved_[i]);
    }
}

}  // namespace seqfx_cli
