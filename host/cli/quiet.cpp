#include "quiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace seqfx_cli {

void redirect_console(int fd, int saved[2]) {
  std::fflush(stdout);
  std::fflush(stderr);
  for (int i = 0; i < 2; ++i) {
    saved[i] = fcntl(i + 1, F_DUPFD_CLOEXEC, 3);
    dup2(fd, i + 1);
  }
}

void restore_console(int saved[2]) {
  if (saved[0] < 0 && saved[1] < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  for (int i = 0; i < 2; ++i)
    if (saved[i] >= 0) {
      dup2(saved[i], i + 1);
      close(saved[i]);
      saved[i] = -1;
    }
}

Silence::Silence(bool active) {
  if (!active) return;
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  redirect_console(null, saved_);
  close(null);
}

Silence::~Silence() { restore_console(saved_); }

}  // namespace seqfx_cli
