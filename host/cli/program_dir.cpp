#include "program_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace seqfx_cli {

std::string program_dir() {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return ".";
  exe[n] = '\0';
  const std::string path(exe);
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool is_folder(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string module_page(const std::string &name) {
  const std::string page = program_dir() + "/../share/doc/seqfx/modules/" + name + ".md";
  char real[PATH_MAX];
  if (access(page.c_str(), R_OK) != 0 || !realpath(page.c_str(), real)) return "";
  return real;
}

}  // namespace seqfx_cli
