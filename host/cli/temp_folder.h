// A private folder under $TMPDIR (else /tmp) for the files of one task,
// removed with everything in it when the task is done.
#pragma once

#include "seqfx/error.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace seqfx_cli {

class TempFolder {
 public:
  // name starts the folder's name ("seqfx-job"); what names the folder in
  // the error thrown when it cannot be made ("a job folder").
  TempFolder(const std::string &name, const std::string &what) {
    const char *tmp = std::getenv("TMPDIR");
    const std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
      throw seqfx::HostError("cannot make " + what + ": " + std::string(std::strerror(errno)));
    path_ = buf.data();
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (ec) std::fprintf(stderr, "seqfx: could not remove %s\n", path_.c_str());
  }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;

  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace seqfx_cli
