// seqfx: runs the effect modules on pictures, sequences and video.

#include "commands.h"
#include "farm.h"
#include "program_dir.h"
#include "serve.h"
#include "staging.h"

#include "seqfx/error.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <sstream>

namespace {

const char kUsage[] =
    "usage: seqfx [--plugins DIR]... [--quiet | --verbose] COMMAND ...\n"
    "  seqfx list                      the modules found: strips, state, a line about each\n"
    "  seqfx info NAME                 a module's parameter table and its page\n"
    "  seqfx render NAME -i IN [-i IN2 [-i IN3]] -o OUT [options]\n"
    "      --set NAME=VALUE            a parameter by its label (or row number): numbers, on/off, 0/1/2,\n"
    "                                  #rrggbb[aa] or r,g,b[,a], text\n"
    "      -y                          overwrite outputs that exist (else they are refused)\n"
    "      --factor F | --factor A:B   factor0, constant or ramped over the frames (default 0)\n"
    "      --factor1 F | A:B           factor1 (default: as factor0)\n"
    "      --frames S-E                frames S to E (cfra); IN/OUT may be numbered: shot_%04d.png,\n"
    "                                  shot_####.png\n"
    "      --shot S-E                  the whole shot the factor ramp spans, when --frames renders a part\n"
    "      -j N                        N workers (default: every core); the output is the same for any N\n"
    "      --depth FILE                camera distances for the first strip (else its Z/depth channel)\n"
    "      --depth-range NEAR:FAR      distances mapped onto the depth values (default: the shot's first frame's)\n"
    "      --depth-out FILE            the output's depth plane as distances (.exr, .tif, .pfm)\n"
    "      --float                     float pixels in (floatbuf) and out (to .exr, .hdr, .pfm)\n"
    "      --colorspace SPACE          after an -i or the -o: srgb, linear or raw, the colours that file\n"
    "                                  holds (default: its label, else linear for float files, else sRGB)\n"
    "      --alpha keep|opaque         opaque writes alpha 1, so that viewers show every pixel's colour\n"
    "      --fps N                     frame rate of a video made from pictures: 25, 29.97, 30000/1001\n"
    "                                  (default 25)\n"
    "      --codec NAME                video encoder (default by container: .mov ProRes 4444, .webm VP9,\n"
    "                                  .mkv FFV1, .mp4 H.264; the first three keep alpha)\n"
    "      --crf N | --quality N       the codec's quality number, lower is better\n"
    "      --pix-fmt NAME              the video's pixel format (as ffmpeg names it)\n"
    "      --no-audio                  leave out the first input's sound and subtitles\n"
    "      --texture-from MASK         before each frame, shade the module's texture role at MASK's pixels\n"
    "                                  whose alpha is not 0 (a renderer's visible points)\n"
    "      --texture-threshold T       only MASK pixels with alpha above T (0..1)\n"
    "  seqfx farm NAME -i IN -o OUT [render options] [--chunk N] [--partition P] [--time T]\n"
    "             [--sbatch OPTION]... [--dry-run]\n"
    "                                  the render as a Slurm array job, --chunk frames a task (default 10)\n"
    "  seqfx farm --status JOB         its tasks: completed, running, pending, failed\n"
    "  seqfx farm --resubmit JOB --task K[,K...]   failed tasks again\n"
    "  seqfx demo [DIR] [--only A,B]   every module on a built-in scene, into DIR (default demo)\n"
    "  seqfx serve [--port P] [--host ADDR] [FOLDER...]\n"
    "                                  a live preview in the browser (default http://127.0.0.1:8642/),\n"
    "                                  offering the pictures in the FOLDERs as strips\n"
    "  seqfx --version                 the program's version\n"
    "Modules are searched in the --plugins folders, then in the program's own module folder\n"
    "(lib/seqfx/modules beside its bin folder once installed, modules in a build folder).\n"
    "Their console lines are shown once each after a render with the frames they came from;\n"
    "--verbose shows them as they come, --quiet not at all.\n"
    "Every module has a page: docs/modules/README.md lists them (seqfx info NAME names the page).\n";

struct UsageError : seqfx::HostError {
  using HostError::HostError;
};

// The modules that come with the program, found from where the program
// itself is: <prefix>/lib/seqfx/modules for <prefix>/bin/seqfx once
// installed, <build>/modules for <build>/bin/seqfx in a build folder.
std::string own_module_dir() {
  const std::string bin = seqfx_cli::program_dir();
  const std::string installed = bin + "/../lib/seqfx/modules", built = bin + "/../modules";
  return seqfx_cli::is_folder(installed) || !seqfx_cli::is_folder(built) ? installed : built;
}

}  // namespace

int main(int argc, char **argv) {
  std::signal(SIGPIPE, SIG_IGN);
  seqfx_cli::install_cleanup_handlers();
  std::vector<std::string> args(argv + 1, argv + argc);
  seqfx_cli::Global g;
  std::vector<std::string> rest;
  try {
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string &a = args[i];
      if (a == "--plugins") {
        if (i + 1 >= args.size()) throw UsageError("--plugins needs a folder");
        g.module_dirs.push_back(args[++i]);
      } else if (a.compare(0, 10, "--plugins=") == 0) {
        g.module_dirs.push_back(a.substr(10));
      } else if (a == "--quiet" || a == "-q") {
        g.quiet = true;
      } else if (a == "--verbose" || a == "-v") {
        g.verbose = true;
      } else if (a == "--version") {
        std::printf("seqfx %s\n", SEQFX_VERSION);
        return 0;
      } else if (a == "-h" || a == "--help" || a == "help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else {
        rest.push_back(a);
      }
    }
    for (const std::string &d : g.module_dirs)
      if (!seqfx_cli::is_folder(d)) throw seqfx::HostError("--plugins: no folder " + d);
    g.module_dirs.push_back(own_module_dir());

    if (g.quiet && g.verbose) throw UsageError("--quiet and --verbose exclude each other");
    // Without a command nothing is written anywhere: the usage says what
    // there is to do (seqfx demo DIR for the demo).
    if (rest.empty()) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    const std::string cmd = rest[0];
    if (cmd == "list") {
      if (rest.size() > 1) throw UsageError("list takes no arguments, not \"" + rest[1] + "\"");
      return seqfx_cli::cmd_list(g);
    }
    if (cmd == "info") {
      if (rest.size() != 2) throw UsageError("info wants one module name: seqfx info NAME");
      return seqfx_cli::cmd_info(g, rest[1]);
    }
    if (cmd == "render") {
      if (rest.size() < 2 || rest[1][0] == '-') throw UsageError("render wants a module name first: seqfx render NAME -i IN -o OUT");
      seqfx_cli::RenderOptions o;
      o.module = rest[1];
      for (std::size_t i = 2; i < rest.size(); ++i)
        if (!seqfx_cli::take_option(rest, i, o, seqfx_cli::OptionSet::Render))
          throw UsageError(rest[i][0] == '-' ? "unknown render option " + rest[i]
                                             : "unexpected argument \"" + rest[i] + "\" (inputs are given with -i)");
      return seqfx_cli::cmd_render(g, o);
    }
    if (cmd == "farm") return seqfx_cli::cmd_farm(g, std::vector<std::string>(rest.begin() + 1, rest.end()));
    if (cmd == "demo") {
      std::string dir;
      std::vector<std::string> only;
      for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] == "--only" && i + 1 < rest.size()) {
          std::stringstream ss(rest[++i]);
          for (std::string m; std::getline(ss, m, ',');)
            if (!m.empty()) only.push_back(m);
        } else if (rest[i][0] != '-' && dir.empty()) {
          dir = rest[i];
        } else {
          throw UsageError("unexpected demo argument \"" + rest[i] + "\"");
        }
      }
      return seqfx_cli::cmd_demo(g, dir.empty() ? "demo" : dir, only);
    }
    if (cmd == "serve") return seqfx_cli::cmd_serve(g, seqfx_cli::parse_serve_options(rest));
    if (cmd == "serve-job" && rest.size() == 2) return seqfx_cli::cmd_serve_job(g, rest[1]);
    throw UsageError("unknown command \"" + cmd + "\" (seqfx --help lists the commands)");
  } catch (const UsageError &e) {
    std::fprintf(stderr, "seqfx: %s\n", e.what());
    return 2;
  } catch (const std::bad_alloc &) {
    // The readers name the file they could not hold; this is any other.
    std::fprintf(stderr, "seqfx: not enough memory to go on\n");
    return 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "seqfx: %s\n", e.what());
    return 1;
  }
}
