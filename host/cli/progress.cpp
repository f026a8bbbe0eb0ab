#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace seqfx_cli {

Progress::Progress(long total, bool enabled, std::FILE *to)
    : total_(total), enabled_(enabled), to_(to), start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() { finish(); }

namespace {
std::string clock_text(double s) {
  const long t = (long)(s + 0.5);
  char buf[32];
  if (t >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", t / 60, t % 60);
  return buf;
}
}  // namespace

std::string Progress::line(long done, long total, double seconds) {
  const double fps = seconds > 0 ? done / seconds : 0.0;
  char buf[160];
  if (total > 0) {
    const int width = 24;
    const int fill = (int)(width * (done > total ? total : done) / total);
    std::string bar(fill, '=');
    if (fill < width) bar += std::string(width - fill, ' ');
    const double left = fps > 0 && total > done ? (total - done) / fps : 0.0;
    std::snprintf(buf, sizeof buf, "[%s] frame %ld/%ld  %.1f fps  %s left", bar.c_str(), done, total, fps,
                  clock_text(left).c_str());
  } else {
    std::snprintf(buf, sizeof buf, "frame %ld  %.1f fps", done, fps);
  }
  return buf;
}

void Progress::step() {
  ++done_;
  if (!enabled_) return;
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string text = line(done_, total_, s);
  // A terminal gets one line rewritten in place, anything else a line a
  // second (and the last one).
  const bool tty = isatty(fileno(to_));
  if (!tty && done_ != total_ && s - last_shown_ < 1.0) return;
  last_shown_ = s;
  if (tty)
    std::fprintf(to_, "\r%s\033[K", text.c_str());
  else
    std::fprintf(to_, "%s\n", text.c_str());
  std::fflush(to_);
  open_ = tty;
}

void Progress::finish() {
  if (open_) std::fputc('\n', to_);
  open_ = false;
}

}  // namespace seqfx_cli
