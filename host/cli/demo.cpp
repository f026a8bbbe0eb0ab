// `seqfx demo [DIR]`: every module on the built-in scene, each render in a
// child process of its own so that a module that crashes or hangs is
// reported and the demo goes on.

#include "commands.h"
#include "demo_config.h"
#include "effect.h"
#include "picture.h"
#include "scene.h"
#include "sheet.h"
#include "staging.h"

#include "seqfx/error.h"
#include "seqfx/facts.h"
#include "seqfx/modules.h"
#include "seqfx/values.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace seqfx_cli {

using seqfx::HostError;
using seqfx::Image;

namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr int kMaxShownFrames = 8;
constexpr unsigned kTimeLimit = 300;  // seconds a render may take

Strip strip_named(const std::string &name, Strip fallback) {
  if (name == "scene") return Strip::Scene;
  if (name == "green") return Strip::Green;
  if (name == "clean") return Strip::Clean;
  if (name == "plate") return Strip::Plate;
  if (name == "cutout") return Strip::Cutout;
  if (name == "second") return Strip::Second;
  if (name == "third") return Strip::Third;
  return fallback;
}

// The frames side by side (at most kMaxShownFrames of them, evenly picked).
Image filmstrip(const std::vector<Image> &frames) {
  std::vector<const Image *> shown;
  const std::size_t n = frames.size(), k = std::min<std::size_t>(n, kMaxShownFrames);
  for (std::size_t i = 0; i < k; ++i) shown.push_back(&frames[k == 1 ? n - 1 : i * (n - 1) / (k - 1)]);
  const int w = frames[0].width(), h = frames[0].height();
  Image img(w * (int)k, h);
  for (std::size_t i = 0; i < k; ++i)
    for (int y = 0; y < h; ++y)
      std::memcpy(img.pixel((int)i * w, y), shown[i]->pixel(0, y), (std::size_t)w * 4);
  return img;
}

void report(int fd, const std::string &key, const std::string &value) {
  std::string line = key + "\t" + value;
  for (char &c : line)
    if (c == '\n') c = ' ';
  line += '\n';
  if (write(fd, line.data(), line.size()) < 0) {
  }
}

// Runs in the child: one setting of one module into out_path.
void render_setting(const seqfx::ModuleFile &m, const DemoRender &r, const std::string &out_path, int fd) {
  std::unique_ptr<seqfx::Plugin> plugin = seqfx::Plugin::load(m.path);
  report(fd, "name", plugin->display_name());
  for (const std::string &s : r.opts.sets) seqfx::apply_assignment(*plugin, s);
  const seqfx::ModuleFacts facts = seqfx::module_facts(*plugin);
  const int strips = r.opts.strips ? r.opts.strips : std::max(facts.strips_needed, 1);
  const int first = r.opts.frames_given ? r.opts.first : 1, last = r.opts.frames_given ? r.opts.last : 1;
  const Strip kinds[3] = {strip_named(r.opts.scene, Strip::Scene), strip_named(r.opts.scene2, Strip::Second),
                          strip_named(r.opts.scene3, Strip::Third)};
  Effect effect;
  effect.plugin = plugin.get();
  std::vector<Image> results;
  for (int f = first; f <= last; ++f) {
    std::vector<Image> inputs;
    for (int s = 0; s < strips; ++s) inputs.push_back(make_strip(kinds[s], kWidth, kHeight, f));
    Image out(kWidth, kHeight);
    Frame frame;
    frame.number = f;
    const double t = last > first ? (double)(f - first) / (last - first) : 0.0;
    frame.factor0 = r.opts.factor0_at(t);
    frame.factor1 = r.opts.factor1_at(t);
    frame.strips = &inputs;
    frame.out = &out;
    effect.run(frame);
    if (r.opts.alpha_opaque) make_opaque(out);
    results.push_back(std::move(out));
  }
  Staging staging;
  write_picture(staging.stage(out_path), out_path, filmstrip(results), false);
  staging.commit();
  report(fd, "ok", "");
}

std::string read_all(int fd) {
  std::string s;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);)
    if (n > 0) s.append(buf, (size_t)n);
  return s;
}

// The last lines of what a module printed.
std::string tail_lines(const std::string &text, int keep) {
  std::size_t pos = text.size();
  if (pos && text[pos - 1] == '\n') --pos;
  for (int n = 0; n < keep && pos != std::string::npos && pos > 0; ++n) pos = text.find_last_of('\n', pos - 1);
  if (pos == std::string::npos || pos == 0) return text;
  return "...\n" + text.substr(pos + 1);
}

void run_isolated(const seqfx::ModuleFile &m, const DemoRender &r, const std::string &out_path, DemoEntry &e) {
  std::FILE *log = std::tmpfile();
  int p[2];
  if (!log || pipe(p) != 0) throw HostError("cannot set up a demo render: " + std::string(std::strerror(errno)));
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) throw HostError("cannot start a demo render: " + std::string(std::strerror(errno)));
  if (pid == 0) {
    close(p[0]);
    dup2(fileno(log), 1);
    dup2(fileno(log), 2);
    alarm(kTimeLimit);
    int code = 0;
    try {
      render_setting(m, r, out_path, p[1]);
    } catch (const std::exception &ex) {
      report(p[1], "error", ex.what());
      code = 1;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(code);
  }
  close(p[1]);
  const std::string text = read_all(p[0]);
  close(p[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::rewind(log);
  std::string console;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, log)) > 0;) console.append(buf, n);
  std::fclose(log);
  e.console = tail_lines(console, 40);

  bool ok = false;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
    const std::string line = text.substr(start, nl - start);
    const std::size_t tab = line.find('\t');
    const std::string key = line.substr(0, tab), value = tab == std::string::npos ? "" : line.substr(tab + 1);
    if (key == "name") e.display_name = value;
    if (key == "error") e.error = value;
    if (key == "ok") ok = true;
  }
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    e.error = sig == SIGALRM ? "took longer than " + std::to_string(kTimeLimit) + " s and was stopped"
                             : std::string("crashed: ") + strsignal(sig);
  } else if (!ok && e.error.empty()) {
    e.error = "ended without a picture (exit code " + std::to_string(WEXITSTATUS(status)) + ")";
  }
  if (ok && e.error.empty()) {
    Picture pic = read_picture(out_path, false);
    // The last frame of a filmstrip.
    const int w = std::min(kWidth, pic.image.width());
    e.thumb = Image(w, pic.image.height());
    for (int y = 0; y < pic.image.height(); ++y)
      std::memcpy(e.thumb.pixel(0, y), pic.image.pixel(pic.image.width() - w, y), (std::size_t)w * 4);
  }
}

void make_folder(const std::string &dir) {
  if (mkdir(dir.c_str(), 0777) == 0 || errno == EEXIST) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    throw HostError("cannot write the demo into " + dir + ": not a folder");
  }
  throw HostError("cannot create the demo folder " + dir + ": " + std::strerror(errno));
}

std::string folder_of(const std::string &path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int cmd_demo(const Global &g, const std::string &dir, const std::vector<std::string> &only) {
  std::vector<seqfx::ModuleFile> modules = seqfx::find_modules(g.module_dirs);
  for (const std::string &name : only)
    if (std::none_of(modules.begin(), modules.end(), [&](const seqfx::ModuleFile &m) { return m.name == name; }))
      seqfx::locate_module(g.module_dirs, name);  // throws: unknown plug-in
  if (!only.empty())
    modules.erase(std::remove_if(modules.begin(), modules.end(),
                                 [&](const seqfx::ModuleFile &m) {
                                   return std::find(only.begin(), only.end(), m.name) == only.end();
                                 }),
                  modules.end());
  if (modules.empty()) throw HostError("no modules to show: the module folders hold no *.so files");
  make_folder(dir);

  std::vector<DemoEntry> entries;
  int failed = 0;
  for (const seqfx::ModuleFile &m : modules) {
    std::vector<DemoRender> renders;
    const std::string cfg = find_demo_config(m.name, folder_of(m.path));
    try {
      if (!cfg.empty()) {
        renders = read_demo_config(cfg);
      } else if (auto facts = seqfx::read_manifest(m.path)) {
        renders = parse_demo_config(facts->demo, seqfx::manifest_path(m.path));
      }
    } catch (const HostError &ex) {
      DemoRender bad;
      bad.title = "demo settings";
      bad.error = ex.what();
      renders.push_back(bad);
    }
    if (renders.empty()) {
      DemoRender defaults;
      defaults.title = "defaults";
      renders.push_back(defaults);
    }
    int module_failed = 0;
    for (std::size_t k = 0; k < renders.size(); ++k) {
      const DemoRender &r = renders[k];
      DemoEntry e;
      e.module = m.name;
      e.display_name = m.name;
      e.title = r.title;
      e.options = r.options;
      const std::string picture = m.name + (renders.size() > 1 ? "-" + std::to_string(k + 1) : "") + ".png";
      if (r.error.empty()) {
        try {
          run_isolated(m, r, dir + "/" + picture, e);
        } catch (const HostError &ex) {
          e.error = ex.what();
        }
      } else {
        e.error = r.error;
      }
      if (e.error.empty()) {
        e.picture = picture;
      } else {
        ++module_failed;
        std::fprintf(stderr, "seqfx demo: %s \"%s\" failed: %s\n", m.name.c_str(), r.title.c_str(), e.error.c_str());
      }
      entries.push_back(std::move(e));
    }
    failed += module_failed;
    const int done = (int)renders.size() - module_failed;
    std::printf("  %-16s %d picture%s%s\n", m.name.c_str(), done, done == 1 ? "" : "s",
                module_failed ? (", " + std::to_string(module_failed) + " failed").c_str() : "");
    std::fflush(stdout);
  }

  Staging staging;
  const std::string sheet_path = dir + "/contact-sheet.png", html_path = dir + "/index.html";
  write_picture(staging.stage(sheet_path), sheet_path, contact_sheet(entries), false);
  {
    const std::string tmp = staging.stage(html_path);
    std::ofstream html(tmp);
    html << index_html(entries, "contact-sheet.png");
    if (!html.flush()) throw HostError("cannot write " + html_path);
  }
  staging.commit();
  std::printf("demo: %d pictures of %zu modules in %s%s; open %s\n", (int)entries.size() - failed,
              modules.size(), dir.c_str(), failed ? (" (" + std::to_string(failed) + " failed)").c_str() : "",
              html_path.c_str());
  return 0;
}

}  // namespace seqfx_cli
