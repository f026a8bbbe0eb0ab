#include "cli_support.h"

#include <OpenImageIO/imageio.h>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char **environ;

namespace cli_test {

namespace OIIO = OIIO_NAMESPACE;

namespace {

std::string slurp(int fd) {
  std::string s;
  lseek(fd, 0, SEEK_SET);
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) s.append(buf, (size_t)n);
  return s;
}

int temp_fd() {
  std::FILE *f = std::tmpfile();
  const int fd = dup(fileno(f));
  std::fclose(f);
  return fd;
}

int spawn_wait(const std::vector<std::string> &args, const std::vector<std::string> &env, bool by_path,
               std::string *out, std::string *err) {
  const int fo = temp_fd(), fe = temp_fd();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, fo, 1);
  posix_spawn_file_actions_adddup2(&fa, fe, 2);
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env_strings;
  for (char **e = environ; *e; ++e) {
    const std::string s = *e;
    const std::string key = s.substr(0, s.find('='));
    bool replaced = false;
    for (const std::string &x : env)
      if (x.substr(0, x.find('=')) == key) replaced = true;
    if (!replaced) env_strings.push_back(s);
  }
  env_strings.insert(env_strings.end(), env.begin(), env.end());
  std::vector<char *> envp;
  for (std::string &s : env_strings) envp.push_back(const_cast<char *>(s.c_str()));
  envp.push_back(nullptr);
  pid_t pid;
  const int rc = by_path ? posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data())
                         : posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  int status = 0;
  if (rc == 0) waitpid(pid, &status, 0);
  if (out) *out = slurp(fo);
  if (err) *err = slurp(fe);
  close(fo);
  close(fe);
  if (rc != 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Symbolic links are removed, never followed: a test may link to folders
// of the build.
void remove_tree(const std::string &path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    unlink(path.c_str());
    return;
  }
  if (DIR *d = opendir(path.c_str())) {
    for (dirent *e; (e = readdir(d));) {
      const std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      remove_tree(path + "/" + n);
    }
    closedir(d);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

}  // namespace

Result seqfx(const std::vector<std::string> &args, const std::vector<std::string> &extra_env) {
  std::vector<std::string> a = {SEQFX_CLI};
  a.insert(a.end(), args.begin(), args.end());
  Result r;
  r.code = spawn_wait(a, extra_env, false, &r.out, &r.err);
  return r;
}

int run(const std::vector<std::string> &args, std::string *out) {
  return spawn_wait(args, {}, true, out, nullptr);
}

Result run_apart(const std::vector<std::string> &args) {
  Result r;
  r.code = spawn_wait(args, {}, true, &r.out, &r.err);
  return r;
}

TempDir::TempDir() {
  const char *tmp = std::getenv("TMPDIR");
  std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/seqfx-cli-test-XXXXXX";
  std::vector<char> buf(t.begin(), t.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) std::abort();
  path_ = buf.data();
}

TempDir::~TempDir() { remove_tree(path_); }

std::vector<std::string> TempDir::files() const {
  std::vector<std::string> v;
  if (DIR *d = opendir(path_.c_str())) {
    for (dirent *e; (e = readdir(d));) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") v.push_back(n);
    }
    closedir(d);
  }
  std::sort(v.begin(), v.end());
  return v;
}

Pixel FilePicture::byte_pixel(int x, int y) const {
  Pixel p{0, 0, 0, 255};
  for (int c = 0; c < std::min(channels, 4); ++c) {
    const float v = std::min(1.0f, std::max(0.0f, at(x, y, c)));
    p[c] = (unsigned char)(int)(v * 255.0f + 0.5f);
  }
  return p;
}

void write_png(const std::string &path, int w, int h, const std::function<Pixel(int, int)> &f) {
  std::vector<unsigned char> px((size_t)w * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Pixel p = f(x, y);
      std::memcpy(&px[((size_t)y * w + x) * 4], p.data(), 4);
    }
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out) << path;
  OIIO::ImageSpec spec(w, h, 4, OIIO::TypeDesc::UINT8);
  spec.attribute("oiio:UnassociatedAlpha", 1);
  ASSERT_TRUE(out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT8, px.data()) && out->close())
      << out->geterror();
}

void write_float(const std::string &path, int w, int h, const std::vector<std::string> &channels,
                 const std::function<float(int, int, int)> &f) {
  const int nc = (int)channels.size();
  std::vector<float> px((size_t)w * h * nc);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < nc; ++c) px[((size_t)y * w + x) * nc + c] = f(x, y, c);
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out) << path;
  OIIO::ImageSpec spec(w, h, nc, OIIO::TypeDesc::FLOAT);
  spec.channelnames = channels;
  spec.alpha_channel = -1;
  spec.z_channel = -1;
  for (int c = 0; c < nc; ++c) {
    if (channels[c] == "A") spec.alpha_channel = c;
    if (channels[c] == "Z") spec.z_channel = c;
  }
  ASSERT_TRUE(out->open(path, spec) && out->write_image(OIIO::TypeDesc::FLOAT, px.data()) && out->close())
      << out->geterror();
}

FilePicture read_file(const std::string &path) {
  FilePicture p;
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &config);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path << ": " << OIIO::geterror();
    return p;
  }
  const OIIO::ImageSpec &spec = in->spec();
  p.width = spec.width;
  p.height = spec.height;
  p.channels = spec.nchannels;
  for (int c = 0; c < p.channels; ++c) p.names.push_back(spec.channel_name(c));
  p.colour_space = spec.get_string_attribute("oiio:ColorSpace");
  p.data.resize((size_t)p.width * p.height * p.channels);
  EXPECT_TRUE(in->read_image(0, 0, 0, p.channels, OIIO::TypeDesc::FLOAT, p.data.data()));
  return p;
}

std::string module_dir() { return SEQFX_PLUGIN_DIR; }
std::string fixture_dir() { return SEQFX_FIXTURE_DIR; }

bool contains(const std::string &h, const std::string &n) { return h.find(n) != std::string::npos; }

std::string file_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return "";
  }
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

std::string numbered(const std::string &pattern, int f) {
  char buf[512];
  std::snprintf(buf, sizeof buf, pattern.c_str(), f);
  return buf;
}

void make_test_frames(const std::string &pattern, int n, int w, int h) {
  ASSERT_EQ(run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                 "testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) + ":rate=25", "-frames:v",
                 std::to_string(n), "-start_number", "1", pattern}),
            0)
      << pattern;
}

}  // namespace cli_test
