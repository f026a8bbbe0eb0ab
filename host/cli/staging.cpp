#include "staging.h"

#include "seqfx/error.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace seqfx_cli {

using seqfx::HostError;

namespace {

// Temporary names the signal handler removes: a fixed table of C strings,
// so the handler needs no allocation. Entries are claimed and released
// with signals blocked.
constexpr int kMaxTemps = 1 << 16;
char *g_temps[kMaxTemps];
int g_temp_count = 0;

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t s;
    sigemptyset(&s);
    sigaddset(&s, SIGINT);
    sigaddset(&s, SIGTERM);
    sigaddset(&s, SIGHUP);
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
  for (int i = 0; i < g_temp_count; ++i)
    if (g_temps[i]) unlink(g_temps[i]);
  signal(sig, SIG_DFL);
  raise(sig);
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
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
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
