#include "video.h"

#include "av_reader.h"
#include "av_writer.h"
#include "frames.h"

#include "seqfx/error.h"
#include "staging.h"

#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

extern char **environ;

namespace seqfx_cli {

using seqfx::HostError;

namespace {

bool on_path(const std::string &program) {
  const char *path = std::getenv("PATH");
  std::stringstream ss(path ? path : "");
  for (std::string dir; std::getline(ss, dir, ':');) {
    const std::string f = (dir.empty() ? "." : dir) + "/" + program;
    struct stat st;
    if (stat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(f.c_str(), X_OK) == 0) return true;
  }
  return false;
}

// An anonymous file for a child's standard error.
int log_file() {
  std::FILE *f = std::tmpfile();
  if (!f) throw HostError("cannot create a temporary file for ffmpeg's messages");
  const int fd = dup(fileno(f));
  std::fclose(f);
  return fd;
}

// Everything a child wrote to its log.
std::string log_text(int log) {
  std::string text;
  lseek(log, 0, SEEK_SET);
  char buf[4096];
  for (ssize_t n; (n = read(log, buf, sizeof buf)) > 0;) text.append(buf, (size_t)n);
  return text;
}

// True when a child run with "-v error" printed anything: ffmpeg reports
// some failures (a full disk while it writes the trailer, a damaged input)
// only there and still exits 0.
bool complained(const std::string &text) {
  for (char c : text)
    if (!std::isspace((unsigned char)c)) return true;
  return false;
}
bool complained(int log) { return complained(log_text(log)); }

// The last non-empty line of a child's messages.
std::string last_line(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t nl = text.find_last_of("\r\n");
  return nl == std::string::npos ? text : text.substr(nl + 1);
}
std::string last_line(int log) { return last_line(log_text(log)); }

// The environment of the ffmpeg programs: this process's, and, unless the
// user set glibc's tunables, an allocator that keeps freed memory for
// reuse. ffmpeg takes a buffer of a frame's size for every frame and frees
// it; with glibc's defaults such a buffer goes back to the system and the
// next one is faulted in afresh, page by cleared page, which costs more
// CPU than the conversions (about 1 s of 5 for 100 frames at 1080p). Only
// where the memory comes from changes: the files written are the same.
// The thresholds are the largest glibc takes on 64-bit systems; elsewhere
// it ignores them.
std::vector<char *> child_environment() {
  static char tunables[] =
      "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=536870912";
  std::vector<char *> env;
  bool set = false;
  for (char **e = environ; *e; ++e) {
    set = set || std::strncmp(*e, "GLIBC_TUNABLES=", 15) == 0;
    env.push_back(*e);
  }
  if (!set) env.push_back(tunables);
  env.push_back(nullptr);
  return env;
}

// Starts argv with its standard input (to_child) or output (from the
// child) on a pipe whose other end is returned in fd; standard error goes
// to log, and the child's descriptor 3 to extra when one is given.
pid_t spawn(const std::vector<std::string> &args, bool to_child, int &fd, int log, int extra = -1) {
  int p[2];
  if (pipe(p) != 0) throw HostError(std::string("cannot create a pipe: ") + std::strerror(errno));
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  const int child_end = to_child ? p[0] : p[1];
  const int our_end = to_child ? p[1] : p[0];
  posix_spawn_file_actions_adddup2(&fa, child_end, to_child ? 0 : 1);
  if (!to_child) posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, log, 2);
  posix_spawn_file_actions_addclose(&fa, our_end);
  // Last, so that no earlier action closes or replaces it.
  if (extra >= 0) posix_spawn_file_actions_adddup2(&fa, extra, 3);
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  std::vector<char *> env = child_environment();
  const int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&fa);
  close(child_end);
  if (rc != 0) {
    close(our_end);
    throw HostError("cannot start " + args[0] + ": " + std::strerror(rc));
  }
  fcntl(our_end, F_SETFD, FD_CLOEXEC);
  fd = our_end;
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Grows a pipe towards one frame's bytes, so that ffmpeg and this
// process hand over a frame in a few large steps instead of a hundred
// small ones. Unprivileged processes are held to the system's limit
// (/proc/sys/fs/pipe-max-size); a pipe that cannot grow works as it is.
void widen_pipe(int fd, std::size_t frame_bytes) {
  const std::size_t want = std::min<std::size_t>(frame_bytes, std::size_t(8) << 20);
  if (fcntl(fd, F_SETPIPE_SZ, (int)want) >= 0) return;
  if (std::FILE *f = std::fopen("/proc/sys/fs/pipe-max-size", "r")) {
    long most = 0;
    if (std::fscanf(f, "%ld", &most) == 1 && most > 0 && (std::size_t)most < want)
      fcntl(fd, F_SETPIPE_SZ, (int)most);
    std::fclose(f);
  }
}

// Moves one frame between a pipe and an image's rect with the rows in
// reverse order (the pipe carries the top row first, the record keeps
// the bottom row first), straight from or into the rect without a
// staging copy. Returns the bytes moved: less than a frame only at the
// end of the stream (reading) or when the other side is gone (writing).
std::size_t move_frame(int fd, unsigned char *rect, int width, int height, bool writing) {
  const std::size_t row = (std::size_t)width * 4, total = row * (std::size_t)height;
  std::size_t done = 0;
  iovec iov[IOV_MAX < 1024 ? IOV_MAX : 1024];
  const std::size_t most = sizeof iov / sizeof iov[0];
  while (done < total) {
    // Vectors from the current position: the rest of this row, then whole rows.
    std::size_t n = 0;
    for (std::size_t at = done; at < total && n < most; ++n) {
      const std::size_t r = at / row, off = at % row;
      iov[n].iov_base = rect + ((std::size_t)height - 1 - r) * row + off;
      iov[n].iov_len = row - off;
      at += row - off;
    }
    const ssize_t got = writing ? writev(fd, iov, (int)n) : readv(fd, iov, (int)n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += (std::size_t)got;
  }
  return done;
}

}  // namespace

// Every frame of a video without alpha is scanned until one has not, so
// the scan goes by blocks of words, their alpha bytes and-ed together, and
// stops at the first block that holds a pixel less than opaque.
bool opaque(const unsigned char *rect, std::size_t n) {
  constexpr std::uint64_t kAlphas = 0xFF000000FF000000ull;
  constexpr std::size_t kBlock = 512;  // words of two pixels
  const std::size_t words = n / 2;
  for (std::size_t w0 = 0; w0 < words; w0 += kBlock) {
    const std::size_t w1 = std::min(words, w0 + kBlock);
    std::uint64_t all = kAlphas;
    for (std::size_t w = w0; w < w1; ++w) {
      std::uint64_t v;
      std::memcpy(&v, rect + 8 * w, sizeof v);
      all &= v;
    }
    if (all != kAlphas) return false;
  }
  return n % 2 == 0 || rect[4 * (n - 1) + 3] == 255;
}

void require_ffmpeg(const std::string &file) {
  if (!on_path("ffmpeg"))
    throw HostError("the ffmpeg program is needed (not found on PATH; install ffmpeg) to handle " + file);
}

int run_program(const std::vector<std::string> &args, std::string &out, std::string &err, bool writes_staged) {
  const int log = log_file();
  int fd;
  pid_t pid;
  try {
    pid = spawn(args, false, fd, log);
  } catch (...) {
    close(log);
    throw;
  }
  if (writes_staged) watch_writer(pid);
  out.clear();
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
    if (n > 0) out.append(buf, (size_t)n);
  close(fd);
  if (writes_staged) forget_writer(pid);
  const int rc = wait_for(pid);
  err = log_text(log);
  close(log);
  return rc;
}

namespace {

// The decoding command: ffmpeg turns the picture upright (its rotation
// tag) and converts it to RGBA with the matrix and range the stream is
// tagged with.
std::vector<std::string> decode_args(const std::string &path, const VideoInfo &info) {
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error"};
  if (!info.decoder.empty()) args.insert(args.end(), {"-c:v", info.decoder});
  // Every frame the file holds, once, whatever its timestamps.
  args.insert(args.end(),
              {"-i", path, "-map", "0:v:0", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
  return args;
}

}  // namespace

double fps_of(const std::string &rate) {
  const std::size_t slash = rate.find('/');
  const double num = std::atof(rate.c_str());
  const double den = slash == std::string::npos ? 1.0 : std::atof(rate.c_str() + slash + 1);
  return num > 0 && den > 0 ? num / den : 0.0;
}

VideoInfo probe_video(const std::string &path) {
  if (access(path.c_str(), R_OK) != 0) throw HostError("cannot read " + path + ": " + std::strerror(errno));
  VideoInfo info = probe_with_libraries(path);
  if (info.width <= 0 || info.height <= 0) throw HostError(path + " holds no video stream");
  if (info.width > 32767 || info.height > 32767)
    throw HostError(path + ": video size is outside 1..32767");
  // A frame travels through a pipe buffer or the decoder's frames and an
  // image of its size: both must fit in half of the machine's memory.
  const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
  const double frame_bytes = 8.0 * info.width * info.height;
  if (pages > 0 && page > 0 && frame_bytes > (double)pages * (double)page / 2)
    throw HostError(path + ": a " + std::to_string(info.width) + "x" + std::to_string(info.height) +
                    " video frame needs more memory than this machine allows");
  return info;
}

bool through_program() {
  const char *v = std::getenv("SEQFX_FFMPEG_PROGRAM");
  return v && *v && std::strcmp(v, "0") != 0;
}

VideoReader::VideoReader(const std::string &path) : path_(path), program_(through_program()) {
  if (!program_) return;
  require_ffmpeg(path);
  // A file that cannot be read is left to the probe to report.
  if (access(path.c_str(), R_OK) == 0) start({});
}

VideoReader::~VideoReader() { stop(); }

void VideoReader::start(const VideoInfo &info) {
  log_ = log_file();
  pid_ = spawn(decode_args(path_, info), false, fd_, log_);
}

void VideoReader::stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    wait_for(pid_);
  }
  pid_ = -1;
  if (log_ >= 0) close(log_);
  log_ = -1;
}

void VideoReader::expect(const VideoInfo &info) {
  if (!program_) {
    decoder_ = std::make_unique<FrameDecoder>(path_, info);
    return;
  }
  if (pid_ < 0 || !info.decoder.empty()) {
    stop();
    start(info);
  }
  widen_pipe(fd_, (std::size_t)info.width * info.height * 4);
}

bool VideoReader::read(seqfx::Image &img) {
  if (decoder_) {
    if (!decoder_->read(img)) return false;
    ++count_;
    return true;
  }
  const std::size_t want = img.pixels() * 4;
  const std::size_t got = move_frame(fd_, img.rect(), img.width(), img.height(), false);
  if (got < want) {
    close(fd_);
    fd_ = -1;
    const int rc = wait_for(pid_);
    pid_ = -1;
    if (rc != 0 || (got != 0 && count_ == 0) || complained(log_))
      throw HostError("ffmpeg cannot read " + path_ + ": " + last_line(log_));
    return false;  // the end (a cut-off last frame is dropped)
  }
  ++count_;
  return true;
}

namespace {

// The encoding command: raw RGBA frames on standard input, the carried
// streams from the other video, the chosen encoding. ffmpeg reports its
// progress on descriptor 3; its last report counts the frames it wrote.
std::vector<std::string> encode_args(const std::string &path, int width, int height, const std::string &rate,
                                     const Encoding &enc, const std::vector<std::string> &carry) {
  std::vector<std::string> args = {"ffmpeg", "-v", "error", "-progress", "pipe:3", "-y", "-f", "rawvideo", "-pix_fmt", "rgba",
                                   "-s", std::to_string(width) + "x" + std::to_string(height), "-r", rate,
                                   "-i", "-"};
  args.insert(args.end(), carry.begin(), carry.end());
  args.insert(args.end(), enc.args.begin(), enc.args.end());
  args.push_back(path);
  return args;
}

}  // namespace

VideoWriter::VideoWriter(const std::string &path, const std::string &final_name, int width, int height,
                         const std::string &rate, const VideoOptions &opts,
                         const std::vector<std::string> &carried)
    : path_(path), final_(final_name), width_(width), height_(height) {
  const Encoding enc = choose_encoding(final_name, opts, width, height);
  alpha_kept_ = enc.alpha;
  encoding_ = (enc.codec.empty() ? std::string("ffmpeg's codec") : enc.codec) + ", " + enc.pix_fmt;
  // Frames are encoded here. Streams carried over from another video are
  // then joined to them by the ffmpeg program, which copies or converts
  // them: the frames go into a scratch file first. AVI keeps no timestamps
  // for the frames to be copied out with (they would gain one), so an AVI
  // that carries streams is written by the program in one go.
  if (!through_program() && (carried.empty() || lower_extension(final_name) != "avi")) {
    if (!carried.empty()) {
      require_ffmpeg(final_name);
      scratch_ = std::make_unique<ScratchFile>(path);
      carried_ = carried;
    }
    encoder_ = std::make_unique<FrameEncoder>(scratch_ ? scratch_->path() : path, final_name, width, height, rate, enc);
    return;
  }
  require_ffmpeg(final_name);
  const std::vector<std::string> args = encode_args(path, width, height, rate, enc, carried);
  log_ = log_file();
  progress_ = log_file();
  pid_ = spawn(args, true, fd_, log_, progress_);
  watch_writer(pid_);
  widen_pipe(fd_, (std::size_t)width * height * 4);
}

VideoWriter::~VideoWriter() {
  if (fd_ >= 0) close(fd_);
  if (pid_ > 0) end_encoder();
  if (log_ >= 0) close(log_);
  if (progress_ >= 0) close(progress_);
}

void VideoWriter::write(const seqfx::Image &img) {
  if (img.width() != width_ || img.height() != height_ || !img.rect())
    throw HostError("cannot write " + final_ + ": a frame of " + std::to_string(img.width()) + "x" +
                    std::to_string(img.height()) + " in a video of " + std::to_string(width_) + "x" +
                    std::to_string(height_));
  // Transparency a file cannot keep is told of once: frames are looked at
  // until one has it (by the encoder as it copies the frame in).
  const bool look = !alpha_kept_ && !alpha_told_;
  bool all_opaque = true;
  if (encoder_) {
    all_opaque = encoder_->write(img, look);
  } else {
    all_opaque = !look || opaque(img.rect(), (std::size_t)width_ * height_);
    // The rows are only read: the image is not changed.
    unsigned char *rect = const_cast<unsigned char *>(img.rect());
    if (move_frame(fd_, rect, width_, height_, true) < (std::size_t)width_ * height_ * 4) {
      close(fd_);
      fd_ = -1;
      end_encoder();
      throw HostError("ffmpeg cannot write " + final_ + ": " + last_line(log_));
    }
  }
  if (!all_opaque) {
    alpha_told_ = true;
    std::fprintf(stderr, "seqfx: warning: %s holds no alpha (%s): transparency is dropped "
                 "(.mov, .webm and .mkv keep it)\n", final_.c_str(), encoding_.c_str());
  }
  ++count_;
}

void VideoWriter::join_carried() {
  // The frames' stream is copied as it is; the carried streams as chosen.
  std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", scratch_->path()};
  args.insert(args.end(), carried_.begin(), carried_.end());
  args.insert(args.end(), {"-c:v", "copy", path_});
  std::string out, err;
  const int rc = run_program(args, out, err, true);
  if (rc != 0 || complained(err)) throw HostError("ffmpeg cannot write " + final_ + ": " + last_line(err));
  expect_frames(frames_in_file());
}

long VideoWriter::frames_in_file() const {
  try {
    return probe_video(path_).frames;
  } catch (const HostError &e) {
    throw HostError("ffmpeg wrote " + final_ + " but it cannot be read back: " + e.what());
  }
}

void VideoWriter::expect_frames(long written) const {
  if (written >= 0 && written != count_)
    throw HostError("ffmpeg wrote " + final_ + " with " + std::to_string(written) + " frames instead of " +
                    std::to_string(count_));
}

int VideoWriter::end_encoder() {
  forget_writer(pid_);
  const int rc = wait_for(pid_);
  pid_ = -1;
  return rc;
}

void VideoWriter::finish() {
  if (encoder_) {
    const long written = encoder_->finish();
    encoder_.reset();
    expect_frames(written);
    if (scratch_) join_carried();
    return;
  }
  close(fd_);
  fd_ = -1;
  const int rc = end_encoder();
  if (rc != 0 || complained(log_)) throw HostError("ffmpeg cannot write " + final_ + ": " + last_line(log_));
  // The written file must hold the frames that were sent. ffmpeg's final
  // progress report says how many it wrote, which spares probing the file;
  // without one (ffmpeg stopped before reporting) the file itself is asked.
  long written = -1;
  bool ended = false;
  std::stringstream report(log_text(progress_));
  for (std::string line; std::getline(report, line);) {
    if (line.compare(0, 6, "frame=") == 0) written = std::atol(line.c_str() + 6);
    if (line == "progress=end") ended = true;
  }
  struct stat st;
  if (stat(path_.c_str(), &st) != 0)
    throw HostError("ffmpeg wrote " + final_ + " but it cannot be read back: " + std::strerror(errno));
  if (st.st_size == 0) throw HostError("ffmpeg wrote " + final_ + " but it cannot be read back: the file is empty");
  if (!ended || written < 0) written = frames_in_file();
  expect_frames(written);
}

}  // namespace seqfx_cli
