// One-time notes on what a run loses of its inputs' colour: more than 8
// bits per channel, or values above 1.0, reduced for a module that reads
// bytes. Each is said once per input, however many frames carry it.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace seqfx_cli {

class ColourNotes {
 public:
  // bytes_only: the module gets only 8-bit pixels in this run.
  ColourNotes(std::string module, std::vector<std::string> inputs, bool bytes_only, std::FILE *to);
  // What input s gave for a frame; may be called from any thread.
  void saw(std::size_t s, bool deep, bool clipped);

 private:
  std::string module_;
  std::vector<std::string> inputs_;
  bool bytes_only_;
  std::FILE *to_;
  std::mutex mutex_;
  std::vector<char> deep_said_, clip_said_;
};

}  // namespace seqfx_cli
