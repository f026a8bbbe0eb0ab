#include "staging.h"

#include "seqfx/error.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

// Temporary names the signal handler removes: a fixed table of C strings,
// so the handler needs no allocation. Entries are claimed and released
// with signals blocked.
constexpr int kMaxTemps = 1 << 16;
char *g_temps[kMaxTemps];
int g_temp_count = 0;

// Child processes writing staged files, for the handler; 0 is a free entry.
constexpr int kMaxWriters = 64;
pid_t g_writers[kMaxWriters];

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGINT);
    sigaddset(&s, SIGTERM);
    sigaddset(&s, SIGHUP);
    sigaddset(&s, SIGABRT);
    sigprocmask(SIG_BLOCK, &s, &old_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

void remember(const std::string &path) {
  SignalsBlocked b;
  if (g_temp_count < kMaxTemps) g_temps[g_temp_count++] = strdup(path.c_str());
}

void forget(const std::string &path) {
  SignalsBlocked b;
  for (int i = g_temp_count - 1; i >= 0; --i)
    if (g_temps[i] && path == g_temps[i]) {
      std::free(g_temps[i]);
      g_temps[i] = g_temps[--g_temp_count];
      g_temps[g_temp_count] = nullptr;
      return;
    }
}

void on_signal(int sig) {
  for (pid_t &pid : g_writers)
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = 0;
    }
  for (int i = 0; i < g_temp_count; ++i)
    if (g_temps[i]) unlink(g_temps[i]);
  signal(sig, SIG_DFL);
  raise(sig);
}

// The process id in a temporary name ".seqfx-<pid>-<n>-<name>", or 0 when
// the name is not one of ours.
long temp_owner(const std::string &name) {
  const std::string prefix = ".seqfx-";
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  std::size_t i = prefix.size();
  long pid = 0;
  const std::size_t start = i;
  while (i < name.size() && std::isdigit((unsigned char)name[i]) && i - start < 10) pid = pid * 10 + (name[i++] - '0');
  if (i == start || i >= name.size() || name[i] != '-') return 0;
  const std::size_t n0 = ++i;
  while (i < name.size() && std::isdigit((unsigned char)name[i])) ++i;
  if (i == n0 || i >= name.size() || name[i] != '-') return 0;
  return pid;
}

// Removes the temporaries that a run killed before it could clean up left
// in dir: ours by name, and owned by a process that no longer exists.
// Each removal (or a failure to remove) is reported on standard error.
void clear_stale_temps(const std::string &dir) {
  DIR *d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> stale;
  while (dirent *e = readdir(d)) {
    const std::string name = e->d_name;
    const long pid = temp_owner(name);
    if (pid <= 0 || pid == (long)getpid()) continue;
    if (kill((pid_t)pid, 0) == 0 || errno != ESRCH) continue;  // its run may still be going
    stale.push_back(name);
  }
  closedir(d);
  for (const std::string &name : stale) {
    const std::string path = dir + "/" + name;
    if (unlink(path.c_str()) == 0)
      std::fprintf(stderr, "seqfx: removed %s, a temporary file left by an interrupted run\n", path.c_str());
    else
      std::fprintf(stderr, "seqfx: cannot remove %s, a temporary file left by an interrupted run: %s\n",
                   path.c_str(), std::strerror(errno));
  }
}

std::string folder_of(const std::string &path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void install_cleanup_handlers() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  // A crash in a module (or an abort) still removes what was staged; the
  // signal is raised again afterwards, so the exit status stays the crash's.
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(s, &sa, nullptr);
}

void watch_writer(pid_t pid) {
  SignalsBlocked b;
  for (pid_t &slot : g_writers)
    if (slot == 0) {
      slot = pid;
      return;
    }
}

void forget_writer(pid_t pid) {
  SignalsBlocked b;
  for (pid_t &slot : g_writers)
    if (slot == pid) slot = 0;
}

ScratchFile::ScratchFile(const std::string &staged) {
  // ".seqfx-<pid>-<n>-name" becomes ".seqfx-<pid>-<n>-part-name": still
  // ours by name, so an interrupted run's is cleared like a staged one.
  const std::size_t slash = staged.find_last_of('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::size_t at = staged.find('-', staged.find('-', base + 7) + 1);
  if (temp_owner(staged.substr(base)) == 0 || at == std::string::npos)
    throw HostError("internal: " + staged + " is not a staged name");
  path_ = staged.substr(0, at + 1) + "part-" + staged.substr(at + 1);
  remember(path_);
}

ScratchFile::~ScratchFile() {
  unlink(path_.c_str());
  forget(path_);
}

Staging::Staging() = default;

Staging::~Staging() {
  for (const Entry &e : entries_) {
    unlink(e.temp.c_str());
    forget(e.temp);
  }
}

std::string Staging::stage(const std::string &final_path) {
  const std::string dir = folder_of(final_path);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw HostError("cannot write " + final_path + ": no folder " + dir);
  if (access(dir.c_str(), W_OK) != 0)
    throw HostError("cannot write " + final_path + ": " + std::strerror(errno));
  for (const Entry &e : entries_)
    if (e.final_path == final_path) throw HostError(final_path + " would be written twice");
  static std::set<std::string> cleared;
  if (cleared.insert(dir).second) clear_stale_temps(dir);
  const std::size_t slash = final_path.find_last_of('/');
  const std::string base = slash == std::string::npos ? final_path : final_path.substr(slash + 1);
  static unsigned counter = 0;
  const std::string temp = (dir == "." && slash == std::string::npos ? "" : dir + "/") + ".seqfx-" +
                           std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + base;
  entries_.push_back({temp, final_path});
  remember(temp);
  return temp;
}

void Staging::commit() {
  for (const Entry &e : entries_) {
    if (std::rename(e.temp.c_str(), e.final_path.c_str()) != 0)
      throw HostError("cannot move the finished " + e.final_path + " into place: " + std::strerror(errno));
    forget(e.temp);
  }
  entries_.clear();
}

}  // namespace seqfx_cli
