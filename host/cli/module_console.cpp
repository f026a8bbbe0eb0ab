#include "module_console.h"

#include "quiet.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace seqfx_cli {

namespace {

// Begins a frame marker in the pipe: a byte no console text holds.
constexpr char kMark = '\x1e';
// Distinct lines kept for the summary; a module printing a new line every
// frame is shown in part, with a count of the rest.
constexpr std::size_t kMostLines = 200;

std::string trimmed(const std::string &s) {
  const std::size_t b = s.find_first_not_of(" \t\f\v");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\f\v") - b + 1);
}

}  // namespace

ModuleConsole::ModuleConsole(const std::string &name, Mode mode) : name_(name), mode_(mode) {
  std::fflush(stdout);
  std::fflush(stderr);
  if (pipe2(pipe_, O_CLOEXEC) != 0) return;  // no capture: the console stays as it is
  const int err = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (err >= 0 && !(err_ = fdopen(err, "w"))) close(err);
  redirect_console(pipe_[1], saved_);
  reader_ = std::thread([this] { read_loop(); });
}

ModuleConsole::~ModuleConsole() { finish(); }

void ModuleConsole::mark(char what, int frame) {
  if (!reader_.joinable()) return;
  // Whatever the module left in the buffers belongs to the frame before
  // the marker.
  std::fflush(stdout);
  std::fflush(stderr);
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%c%c%d\n", kMark, what, frame);
  // One write below PIPE_BUF: never interleaved with other writers.
  while (write(pipe_[1], buf, (std::size_t)n) < 0 && errno == EINTR) {
  }
}

void ModuleConsole::finish() {
  if (reader_.joinable()) {
    restore_console(saved_);
    mark('Q', 0);
    reader_.join();
  }
  for (int &fd : pipe_)
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  if (mode_ == Mode::Summary) {
    for (const std::string &line : order_) {
      const std::string where = frames_text(seen_[line]);
      std::fprintf(host_stream(), "%s: %s%s\n", name_.c_str(), line.c_str(), where.c_str());
    }
    if (dropped_ > 0)
      std::fprintf(host_stream(), "%s: ... and %zu more distinct lines (--verbose shows them all)\n",
                   name_.c_str(), dropped_);
    order_.clear();
  }
  if (err_) {
    std::fclose(err_);
    err_ = nullptr;
  }
}

void ModuleConsole::read_loop() {
  std::string pending;  // a marker read in part
  char buf[4096];
  for (;;) {
    const ssize_t n = read(pipe_[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::size_t from = 0;
    for (std::size_t i = 0; i < (std::size_t)n; ++i) {
      if (pending.empty() && buf[i] != kMark) continue;
      if (pending.empty()) {
        take_text(std::string(buf + from, i - from));
        end_line();  // a marker ends the line before it
      }
      pending += buf[i];
      from = i + 1;
      if (buf[i] != '\n') continue;
      const char what = pending.size() > 1 ? pending[1] : 'Q';
      const int frame = std::atoi(pending.c_str() + 2);
      pending.clear();
      if (what == 'Q') {
        end_line();
        return;
      }
      if (what == 'B') {
        open_frames_.insert(frame);
      } else {
        const auto it = open_frames_.find(frame);
        if (it != open_frames_.end()) open_frames_.erase(it);
      }
    }
    if (pending.empty()) take_text(std::string(buf + from, (std::size_t)n - from));
  }
  end_line();
}

void ModuleConsole::take_text(const std::string &text) {
  for (char c : text) {
    if (c == '\n') {
      end_line();
    } else {
      line_ += c;
    }
  }
}

void ModuleConsole::end_line() {
  // What follows the last carriage return is what stays on a terminal; a
  // spinner ends with one, leaving nothing worth keeping.
  std::string line = line_;
  line_.clear();
  const std::size_t cr = line.rfind('\r');
  if (cr != std::string::npos) line.erase(0, cr + 1);
  line = trimmed(line);
  if (!line.empty()) add_line(line);
}

void ModuleConsole::add_line(std::string line) {
  // The program's own messages (printed while the console is taken) pass
  // through as they are.
  if (line.compare(0, 7, "seqfx: ") == 0) {
    std::fprintf(host_stream(), "%s\n", line.c_str());
    std::fflush(host_stream());
    return;
  }
  if (mode_ == Mode::Silent) return;
  // A module that names itself ("afterglow: ...") is named once.
  if (line.size() > name_.size() && line.compare(0, name_.size(), name_) == 0 && line[name_.size()] == ':')
    line = trimmed(line.substr(name_.size() + 1));
  if (line.empty()) return;
  Seen fresh;
  if (open_frames_.empty())
    fresh.outside_frames = true;
  else
    fresh.frames.insert(open_frames_.begin(), open_frames_.end());
  if (mode_ == Mode::Live) {
    std::fprintf(host_stream(), "%s: %s%s\n", name_.c_str(), line.c_str(), frames_text(fresh).c_str());
    std::fflush(host_stream());
    return;
  }
  auto it = seen_.find(line);
  if (it == seen_.end()) {
    if (order_.size() >= kMostLines) {
      ++dropped_;
      return;
    }
    order_.push_back(line);
    seen_.emplace(line, fresh);
    return;
  }
  it->second.frames.insert(fresh.frames.begin(), fresh.frames.end());
  it->second.outside_frames = it->second.outside_frames || fresh.outside_frames;
}

// " (frames 1-3, 7)", " (frame 4)", or "" for lines printed outside
// frames only (while loading and setting up).
std::string ModuleConsole::frames_text(const Seen &s) const {
  if (s.frames.empty()) return "";
  std::string ranges;
  for (auto it = s.frames.begin(); it != s.frames.end();) {
    const int first = *it;
    int last = first;
    for (++it; it != s.frames.end() && *it == last + 1; ++it) last = *it;
    ranges += (ranges.empty() ? "" : ", ") + std::to_string(first);
    if (last > first) ranges += "-" + std::to_string(last);
  }
  const bool one = s.frames.size() == 1;
  return std::string(" (") + (s.outside_frames ? "setting up, " : "") + (one ? "frame " : "frames ") + ranges + ")";
}

}  // namespace seqfx_cli
