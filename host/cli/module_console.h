// What modules print during a render (they write to standard output and
// error with printf): taken from file descriptors 1 and 2 through a pipe,
// cleaned of carriage-return spinners and blank lines, and shown once per
// distinct line with the frames it came from ("afterglow: <line> (frames
// 1-100)"), as lines come with --verbose, or not at all with --quiet.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace seqfx_cli {

class ModuleConsole {
 public:
  enum class Mode { Summary, Live, Silent };

  // Starts taking the console; `name` prefixes the lines.
  ModuleConsole(const std::string &name, Mode mode);
  // Stops taking it (showing what was gathered, as finish does).
  ~ModuleConsole();
  ModuleConsole(const ModuleConsole &) = delete;
  ModuleConsole &operator=(const ModuleConsole &) = delete;

  // The real standard error, for the progress bar.
  std::FILE *host_stream() const { return err_ ? err_ : stderr; }
  // Lines that come between begin_frame(n) and end_frame(n) belong to frame
  // n. With several workers a line belongs to every frame being rendered
  // when it came, since their modules share one console.
  void begin_frame(int frame) { mark('B', frame); }
  void end_frame(int frame) { mark('E', frame); }
  // Stops taking the console and shows the gathered lines (once).
  void finish();

 private:
  struct Seen {
    std::set<int> frames;
    bool outside_frames = false;
  };
  void mark(char what, int frame);
  void read_loop();
  void take_text(const std::string &text);  // text without markers
  void end_line();
  void add_line(std::string line);
  std::string frames_text(const Seen &s) const;

  const std::string name_;
  const Mode mode_;
  int pipe_[2] = {-1, -1};
  int saved_[2] = {-1, -1};
  std::FILE *err_ = nullptr;
  std::thread reader_;
  // Owned by the reader thread until it is joined.
  std::string line_;
  std::multiset<int> open_frames_;
  std::map<std::string, Seen> seen_;
  std::vector<std::string> order_;  // distinct lines as they first came
  std::size_t dropped_ = 0;         // distinct lines past the limit
};

}  // namespace seqfx_cli
