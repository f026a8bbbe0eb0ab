// Output files are written under temporary names beside their final ones
// and renamed into place only when the whole run succeeded; a failed or
// interrupted run removes them, so it leaves nothing half-written behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace seqfx_cli {

class Staging {
 public:
  Staging();
  ~Staging();  // removes every file not committed
  Staging(const Staging &) = delete;
  Staging &operator=(const Staging &) = delete;

  // A temporary name in final_path's folder that keeps its extension (so
  // writers still tell the format by it). Throws HostError when the folder
  // does not exist.
  std::string stage(const std::string &final_path);
  // Renames every staged file to its final name.
  void commit();

 private:
  struct Entry {
    std::string temp, final_path;
  };
  std::vector<Entry> entries_;
};

// Removes the staged files of every live Staging and ends the process on
// SIGINT, SIGTERM and SIGHUP.
void install_cleanup_handlers();

// A child process that writes a staged file (the video encoder). On a
// signal it is killed and reaped before the files are removed, so that it
// cannot create or fill one after the removal. Forgotten before it is
// waited for.
void watch_writer(pid_t pid);
void forget_writer(pid_t pid);

}  // namespace seqfx_cli
