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

// A file of the run's own beside a staged one (a video's frames before its
// sound joins them), never moved into place: removed when this goes out of
// scope, and on a signal like the staged files.
class ScratchFile {
 public:
  // staged: a name Staging::stage gave; the scratch file is named after it.
  explicit ScratchFile(const std::string &staged);
  ~ScratchFile();
  ScratchFile(const ScratchFile &) = delete;
  ScratchFile &operator=(const ScratchFile &) = delete;
  const std::string &path() const { return path_; }

 private:
  std::string path_;
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
