// seqfx_peers: each module measured beside the nearest filter of another
// video library doing the same job, in one process run, interleaved frame
// by frame, on the same picture.
//
//   seqfx_peers [--picture FILE.ppm] [--reps N] [--only NAME,...] [--out FILE]
//
// Results go to FILE (default standard output, which modules may also
// write their console lines to). They are tab-separated, one line per measured thing:
//   case <name> <who> <what> <median ms> <p10 ms> <p90 ms>
// where <who> is "ours", "peer", "convert" (the RGBA <-> native pixel
// format round trip an RGBA pipeline pays around the peer), "copy" or
// "floor" (the least an exact method spends where the peer approximates).
// Peers whose library is not present are reported as "skip" lines.
#include "blur_floor.h"
#include "peer_av.h"
#include "peer_frei0r.h"
#include "picture.h"

#include "seqfx/plugin.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Timed = std::function<void()>;

double ms_since(Clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Stats {
  double median, p10, p90;
};

Stats stats(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  auto at = [&](double q) { return v[(size_t)(q * (double)(v.size() - 1) + 0.5)]; };
  return {at(0.5), at(0.1), at(0.9)};
}

FILE *results = stdout;

void print(const std::string &name, const char *who, const std::string &what, const Stats &s) {
  std::fprintf(results, "case\t%s\t%s\t%s\t%.3f\t%.3f\t%.3f\n", name.c_str(), who, what.c_str(), s.median,
              s.p10, s.p90);
  std::fflush(results);
}

// One comparison: our module with its settings and the peer doing the job.
struct Case {
  std::string name;
  std::string module;
  int strips;
  bool depth;
  std::function<void(seqfx::Plugin &)> setup;
  enum Kind { None, Av, Frei0r } kind;
  std::string peer;     // filter graph or frei0r plug-in name
  std::string native;   // libavfilter: the filter's native pixel format
  int av_inputs;        // libavfilter: graph inputs
  std::vector<std::pair<int, double>> frei0r_params;
  int width = 1920, height = 1080;
  // The least an exact method must spend on the frame, when the peer
  // approximates what ours computes exactly; reported as "floor".
  std::function<void(int, int)> floor = {};
  std::string floor_what = {};
};

// The library calls the polar mapping with interpolation cannot do without
// for its exact bytes: square root, sine and cosine per pixel, and atan2
// per pixel on the first frame of a size and centre only (the angles are
// kept for the frames that follow, as the harness renders them). The
// turn's own sine and cosine settle most pixels of a noisy picture, but
// not a pixel with a channel flat across its neighbours: the weighted sum
// then equals that value up to rounding, and only the polar rounding tells
// which way it truncates. On the synthetic picture nearly every pixel has
// such a channel, so this floor holds for it.
void polar_floor(int width, int height) {
  const double cx = width / 2, cy = height / 2, deg = 0.5235987755982988;
  static std::vector<double> angles;
  static int kept_w = 0, kept_h = 0;
  if (width != kept_w || height != kept_h) {
    angles.resize((std::size_t)width * height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        angles[(std::size_t)y * width + x] = std::atan2(y - cy, x - cx);
    kept_w = width;
    kept_h = height;
  }
  double acc = 0;
  for (int y = 0; y < height; ++y) {
    const double dy = y - cy;
    const double *phi = &angles[(std::size_t)y * width];
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx, r = std::sqrt(dx * dx + dy * dy), th = phi[x] + deg;
      acc += r * std::cos(th) + r * std::sin(th);
    }
  }
  volatile double sink = acc;
  (void)sink;
}

std::vector<Case> cases() {
  using P = seqfx::Plugin;
  std::vector<Case> c;
  c.push_back({"invert (defaults)", "invert", 1, false, {}, Case::Frei0r, "invert0r", "", 0, {}});
  c.push_back({"invert (Hue 0.25)", "invert", 1, false, [](P &p) { p.set_value("Hue", 0.25); },
               Case::Av, "huesaturation=hue=90", "gbrp", 1, {}});
  c.push_back({"spin (rotate 30°, bilinear)", "spin", 1, false,
               [](P &p) {
                 p.set_value("Spiral", 0);
                 p.set_value("Animate", 0);
                 p.set_value("Degrees:", 30);
               },
               Case::Av,
               "rotate=a=PI/6:bilinear=1", "rgba", 1, {}});
  c.back().floor = polar_floor;
  c.back().floor_what = "sqrt, sin, cos per pixel, atan2 kept from the first frame";
  c.push_back({"spin (rotate 30°, nearest)", "spin", 1, false,
               [](P &p) {
                 p.set_value("Spiral", 0);
                 p.set_value("Animate", 0);
                 p.set_value("Degrees:", 30);
                 p.set_value("Interpolate", 0);
               },
               Case::Av, "rotate=a=PI/6:bilinear=0", "rgba", 1, {}});
  c.push_back({"glow (defaults)", "glow", 1, false, {}, Case::Av, "gblur=sigma=5.3", "gbrp", 1, {}});
  // Blur Distance 3 at Quality 3: a 24-tap window.
  c.back().floor = [](int w, int h) { blur_floor(w, h, 24); };
  c.back().floor_what = "24-tap weighted sums, both passes";
  c.push_back({"wipeout (matte strip)", "wipeout", 3, false, {}, Case::Av, "maskedmerge", "gbrp", 3, {}});
  c.push_back({"tonecut (defaults)", "tonecut", 2, false, {}, Case::Frei0r, "bluescreen0r", "", 0, {}});
  c.push_back({"beamsword (red aura)", "beamsword", 1, false,
               [](P &p) { p.set_colour(1, 255, 40, 20); }, Case::Frei0r, "softglow", "", 0, {}});
  // Blur Aura 10 and Blur Core 0.7 at Quality 3: the aura blurred with 121
  // and 61 taps, the picture with 5.
  c.back().floor = [](int w, int h) {
    for (int taps : {121, 61, 5}) blur_floor(w, h, taps);
  };
  c.back().floor_what = "121-, 61- and 5-tap weighted sums, both passes, no flat block left out";
  c.push_back({"monodrift", "monodrift", 1, true, [](P &p) { p.set_value("Animated", 1); },
               Case::Frei0r, "bw0r", "", 0, {}});
  c.push_back({"invisible", "invisible", 2, false, {}, Case::Frei0r, "bgsubtract0r", "", 0, {}});
  c.push_back({"defocus (defaults)", "defocus", 1, true, {}, Case::Av, "dblur=radius=10", "gbrp", 1, {}});
  // Per-pixel modules, measured against a frame copy.
  for (const char *m : {"desaturate", "truncate", "tintfill", "alphascale", "paintcut"})
    c.push_back({m, m, 1, false, {}, Case::None, "", "", 0, {}});
  // Cost against blur radius and frame size.
  for (int d : {1, 5, 10, 20}) {
    Case g{"glow radius " + std::to_string(d), "glow", 1, false,
           [d](P &p) { p.set_value("Blur Distance", d); }, Case::Av,
           "gblur=sigma=" + std::to_string(5.3 * d / 3.0), "gbrp", 1, {}};
    c.push_back(g);
  }
  for (int w : {480, 960, 1920, 3840}) {
    Case s{"invert size " + std::to_string(w), "invert", 1, false, {}, Case::Frei0r, "invert0r", "", 0, {}};
    s.width = w;
    s.height = w * 9 / 16;
    c.push_back(s);
  }
  return c;
}

bool selected(const std::string &only, const Case &c) {
  if (only.empty()) return true;
  std::stringstream ss(only);
  std::string item;
  while (std::getline(ss, item, ','))
    if (item == c.module || item == c.name) return true;
  return false;
}

// Alternates the timed calls, one frame each per round, so that load from
// other processes falls on all of them alike.
std::vector<std::vector<double>> interleave(const std::vector<Timed> &calls, int reps) {
  for (const Timed &f : calls) f();  // warm caches and lazy set-up
  std::vector<std::vector<double>> t(calls.size());
  for (int r = 0; r < reps; ++r)
    for (size_t i = 0; i < calls.size(); ++i) {
      const auto t0 = Clock::now();
      calls[i]();
      t[i].push_back(ms_since(t0));
    }
  return t;
}

}  // namespace

int main(int argc, char **argv) {
  std::string picture_path, only;
  int reps = 15;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--picture" && i + 1 < argc) picture_path = argv[++i];
    else if (a == "--reps" && i + 1 < argc) reps = std::max(3, std::atoi(argv[++i]));
    else if (a == "--only" && i + 1 < argc) only = argv[++i];
    else if (a == "--out" && i + 1 < argc) {
      results = std::fopen(argv[++i], "w");
      if (!results) {
        std::fprintf(stderr, "seqfx_peers: cannot write %s\n", argv[i]);
        return 1;
      }
    }
    else {
      std::fprintf(stderr, "usage: seqfx_peers [--picture FILE.ppm] [--reps N] [--only NAME,...] [--out FILE]\n");
      return 2;
    }
  }
  peers::Rgba source;
  try {
    source = picture_path.empty() ? peers::synthetic(1920, 1080) : peers::read_ppm(picture_path);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "seqfx_peers: %s\n", e.what());
    return 1;
  }
  std::fprintf(results, "picture\t%s\t%dx%d\n", picture_path.empty() ? "synthetic" : picture_path.c_str(),
              source.width, source.height);
  std::fprintf(results, "av\t%s\n", peers::av_available() ? peers::av_version().c_str() : "skipped (built without libavfilter)");
  std::fprintf(results, "frei0r\t%s\n", peers::frei0r_dir().c_str());

  for (const Case &c : cases()) {
    if (!selected(only, c)) continue;
    const std::string so = std::string(SEQFX_PLUGIN_DIR) + "/" + c.module + ".so";
    std::unique_ptr<seqfx::Plugin> plugin;
    try {
      plugin = seqfx::Plugin::load(so);
      if (c.setup) c.setup(*plugin);
    } catch (const std::exception &e) {
      std::fprintf(results, "skip\t%s\tours\t%s\n", c.name.c_str(), e.what());
      continue;
    }
    const peers::Rgba pic = peers::scaled(source, c.width, c.height);
    std::vector<seqfx::Image> in;
    for (int s = 0; s < 3; ++s) {
      in.emplace_back(c.width, c.height);
      std::memcpy(in.back().rect(), pic.bytes.data(), pic.bytes.size());
      if (c.depth) {
        int *z = in.back().add_zbuf();
        for (int y = 0; y < c.height; ++y)
          for (int x = 0; x < c.width; ++x)
            z[(size_t)y * c.width + x] = -2147483000 + (int)(4294966000.0 * x / c.width);
      }
    }
    // Second and third strips differ from the first: the second is the
    // picture mirrored, the third a horizontal ramp (a matte).
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        std::memcpy(in[1].pixel(x, y), in[0].pixel(c.width - 1 - x, y), 4);
        unsigned char *m = in[2].pixel(x, y);
        m[0] = m[1] = m[2] = (unsigned char)(x * 255 / std::max(1, c.width - 1));
      }
    seqfx::Image out(c.width, c.height);
    float frame = 1;
    std::vector<Timed> calls;
    std::vector<std::pair<const char *, std::string>> labels;
    calls.push_back([&] {
      plugin->render(frame, 0.5f, 0.5f, in[0], c.strips > 1 ? &in[1] : nullptr, out,
                     c.strips > 2 ? &in[2] : nullptr);
      frame += 1;
    });
    labels.push_back({"ours", c.module});

    std::unique_ptr<peers::Peer> peer;
    std::unique_ptr<peers::Peer> convert;
    std::string why;
    const unsigned char *inputs[3] = {in[0].rect(), in[1].rect(), in[2].rect()};
    if (c.kind == Case::Av) {
      peer = peers::make_av(c.peer, c.native, c.av_inputs, c.width, c.height, inputs, why);
      if (peer) convert = peers::make_av_convert(c.native, c.width, c.height, inputs[0], why);
    } else if (c.kind == Case::Frei0r) {
      peer = peers::make_frei0r(c.peer, c.width, c.height, inputs, c.frei0r_params, why);
    } else {
      const size_t n = (size_t)c.width * c.height * 4;
      calls.push_back([&, n] { std::memcpy(out.rect(), in[0].rect(), n); });
      labels.push_back({"copy", "memcpy"});
    }
    if (peer) {
      calls.push_back([&] { peer->run(); });
      labels.push_back({"peer", peer->name()});
    } else if (c.kind != Case::None) {
      std::fprintf(results, "skip\t%s\tpeer\t%s\n", c.name.c_str(), why.c_str());
    }
    if (convert) {
      calls.push_back([&] { convert->run(); });
      labels.push_back({"convert", convert->name()});
    }
    if (c.floor) {
      calls.push_back([&] { c.floor(c.width, c.height); });
      labels.push_back({"floor", c.floor_what});
    }
    const auto times = interleave(calls, c.width * c.height > 4000000 ? std::max(3, reps / 2) : reps);
    for (size_t i = 0; i < calls.size(); ++i) print(c.name, labels[i].first, labels[i].second, stats(times[i]));
  }
  if (results != stdout) std::fclose(results);
  return 0;
}
