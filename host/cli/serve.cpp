// `seqfx serve`: the routes of the preview server and the checking of
// render requests.

#include "serve.h"
#include "serve_job.h"
#include "serve_library.h"
#include "temp_folder.h"

#include "seqfx/error.h"

#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace seqfx_cli {

using nlohmann::json;
using seqfx::HostError;

namespace serve {
namespace {

constexpr int kMaxSceneWidth = 1920, kMaxSceneHeight = 1080;
constexpr double kRenderTimeout = 60.0;

// A number as --set and --factor read it back: whole numbers without a
// point, others with enough digits to give the same float.
std::string number_text(double v) {
  char buf[40];
  if (v == std::floor(v) && std::fabs(v) < 1e15)
    std::snprintf(buf, sizeof buf, "%.0f", v);
  else
    std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

// A factor in the fewest digits that read back as the same float.
std::string float_text(float f) {
  char buf[40];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, (double)f);
    if ((float)std::strtod(buf, nullptr) == f) break;
  }
  return buf;
}

std::string value_text(const std::string &name, const json &v) {
  if (v.is_boolean()) return v.get<bool>() ? "on" : "off";
  if (v.is_number()) return number_text(v.get<double>());
  if (v.is_string()) return v.get<std::string>();
  throw BadRequest(400, "the value of \"" + name + "\" must be a number, true/false or text");
}

double number_field(const json &req, const char *key, double def, double lo, double hi) {
  if (!req.contains(key)) return def;
  const json &v = req.at(key);
  if (!v.is_number()) throw BadRequest(400, std::string("\"") + key + "\" must be a number");
  const double d = v.get<double>();
  if (!(d >= lo && d <= hi))
    throw BadRequest(400, std::string("\"") + key + "\" must lie in " + number_text(lo) + ".." + number_text(hi) +
                              ", not " + number_text(d));
  return d;
}

}  // namespace

// The server's state and its answers, apart from the HTTP library so that
// they can be driven directly.
class Service {
 public:
  Service(const Global &g, const ServeOptions &o, const std::string &cache)
      : catalog_(g.module_dirs), pictures_(cache, o.folders) {
    // The build's folder comes last in module_dirs and is found without
    // --plugins; the others are passed on to render processes and commands.
    for (std::size_t i = 0; i + 1 < g.module_dirs.size(); ++i) plugin_dirs_.push_back(g.module_dirs[i]);
  }

  Reply modules() const { return json_reply(200, catalog_.list()); }

  Reply module(const std::string &name) const {
    const ModuleEntry &e = catalog_.find(name);
    json m = catalog_.list();
    for (const json &x : m)
      if (x.at("name") == name) {
        json r = x;
        r["table"] = e.table;
        return json_reply(200, r);
      }
    return error_reply(404, "no module named \"" + name + "\"");
  }

  Reply pictures() const { return json_reply(200, pictures_.list()); }

  Reply upload(const std::string &bytes) { return json_reply(200, json{{"upload", pictures_.add_upload(bytes)}}); }

  Reply render(const std::string &body) {
    json req;
    try {
      req = json::parse(body);
    } catch (const std::exception &) {
      throw BadRequest(400, "the request is not JSON");
    }
    if (!req.is_object()) throw BadRequest(400, "the request must be a JSON object");
    if (!req.contains("module") || !req.at("module").is_string())
      throw BadRequest(400, "the request names no \"module\"");
    const ModuleEntry &entry = catalog_.find(req.at("module").get<std::string>());

    Job job;
    job.module = entry.name;
    job.factor0 = float_text((float)number_field(req, "factor0", 0.0, -1e6, 1e6));
    job.factor1 = req.contains("factor1") ? float_text((float)number_field(req, "factor1", 0.0, -1e6, 1e6))
                                          : job.factor0;
    job.frame = (int)number_field(req, "frame", 1, -1000000, 1000000);
    if (req.contains("frame") && req.at("frame").get<double>() != job.frame)
      throw BadRequest(400, "\"frame\" must be a whole number");
    int w = (int)number_field(req, "width", 320, 1, kMaxSceneWidth);
    int h = (int)number_field(req, "height", 180, 1, kMaxSceneHeight);

    if (req.contains("values")) {
      const json &values = req.at("values");
      if (!values.is_object()) throw BadRequest(400, "\"values\" must be an object of names and values");
      for (auto it = values.begin(); it != values.end(); ++it) {
        bool known = false;
        for (const json &row : entry.table)
          known = known || (row.at("kind") != "label" &&
                            (row.at("name") == it.key() || row.at("label") == it.key()));
        if (!known) throw BadRequest(400, entry.name + " has no parameter named \"" + it.key() + "\"");
        std::string key = it.key();
        while (!key.empty() && key.back() == ' ') key.pop_back();
        job.sets.push_back(key + "=" + value_text(it.key(), it.value()));
      }
    }

    // Strips: as asked, else the scene's first, second and third for as
    // many as the module needs.
    json strips = req.value("strips", json::array());
    if (!strips.is_array()) throw BadRequest(400, "\"strips\" must be a list");
    const char *defaults[] = {"scene", "second", "third"};
    for (int i = (int)strips.size(); i < entry.facts.strips_needed && i < 3; ++i)
      strips.push_back(json{{"scene", defaults[i]}});
    if ((int)strips.size() > entry.facts.strips_accepted)
      throw BadRequest(400, entry.name + " takes at most " + std::to_string(entry.facts.strips_accepted) +
                                " strip(s), not " + std::to_string(strips.size()));
    // Pictures first: scene strips take the size of the first one.
    std::vector<std::string> files(strips.size());
    bool sized = false;
    for (std::size_t i = 0; i < strips.size(); ++i) {
      const json &s = strips[i];
      if (!s.is_object()) throw BadRequest(400, "each strip must be an object such as {\"scene\": \"scene\"}");
      if (s.contains("picture")) files[i] = pictures_.picture_file(s.at("picture").get<std::string>());
      else if (s.contains("upload")) files[i] = pictures_.upload_file(s.at("upload").get<std::string>());
      else if (s.contains("png")) files[i] = pictures_.upload_file(pictures_.add_upload(base64_decode(s.at("png").get<std::string>())));
      else if (!s.contains("scene")) throw BadRequest(400, "a strip must give \"scene\", \"picture\", \"upload\" or \"png\"");
      if (!files[i].empty() && !sized) {
        picture_size(files[i], w, h);
        sized = true;
      }
    }
    for (std::size_t i = 0; i < strips.size(); ++i) {
      if (!files[i].empty()) continue;
      std::string depth;
      files[i] = pictures_.scene_file(strips[i].at("scene").get<std::string>(), w, h, job.frame, &depth);
      if (i == 0 && entry.facts.needs_depth) {
        job.depth = depth;
        job.depth_range = "1:30";
      }
    }
    job.inputs = files;

    Reply r = run_job(job, plugin_dirs_, req.value("session", std::string()), kRenderTimeout);
    if (r.status == 200) {
      json j = json::parse(r.body);
      j["command"] = render_command(job, plugin_dirs_, "preview.png");
      r = json_reply(200, j);
    }
    return r;
  }

 private:
  Catalog catalog_;
  Pictures pictures_;
  std::vector<std::string> plugin_dirs_;
};

}  // namespace serve

namespace {

// The page's files: share/seqfx/web beside the program's bin folder (the
// build folder lays them out as an installation does).
std::string web_dir() {
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    std::string dir(exe, (std::size_t)n);
    dir = dir.substr(0, dir.rfind('/'));
    for (const std::string &c : {dir + "/../share/seqfx/web", dir + "/web"})
      if (access((c + "/index.html").c_str(), R_OK) == 0) return c;
  }
  throw seqfx::HostError("the preview page's files (share/seqfx/web beside the program's bin folder) are missing");
}

void answer(httplib::Response &res, const std::function<serve::Reply()> &f) {
  serve::Reply r;
  try {
    r = f();
  } catch (const serve::BadRequest &e) {
    r = serve::error_reply(e.status, e.what());
  } catch (const nlohmann::json::exception &e) {
    r = serve::error_reply(400, std::string("a field of the request has the wrong type: ") + e.what());
  } catch (const seqfx::HostError &e) {
    r = serve::error_reply(400, e.what());
  } catch (const std::exception &e) {
    r = serve::error_reply(500, e.what());
  }
  res.status = r.status;
  res.set_content(r.body, r.type);
}

}  // namespace

int cmd_serve(const Global &g, const ServeOptions &o) {
  for (const std::string &f : o.folders) {
    struct stat st;
    if (stat(f.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw HostError("serve: no folder " + f);
  }
  // INT and TERM stop the server in an orderly way: they are taken by a
  // thread of their own, every other thread blocks them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  // Scene strips and uploads, removed when the server stops.
  TempFolder cache("seqfx-serve", "a folder for the server's pictures");
  serve::Service service(g, o, cache.path());
  httplib::Server svr;
  svr.set_payload_max_length(serve::kMaxUploadBytes * 2);
  const std::string web = web_dir();
  if (!svr.set_mount_point("/", web)) throw HostError("serve: the page's folder " + web + " is missing");

  svr.Get("/api/modules", [&](const httplib::Request &, httplib::Response &res) {
    answer(res, [&] { return service.modules(); });
  });
  svr.Get(R"(/api/modules/([^/]+))", [&](const httplib::Request &req, httplib::Response &res) {
    answer(res, [&] { return service.module(req.matches[1]); });
  });
  svr.Get("/api/pictures", [&](const httplib::Request &, httplib::Response &res) {
    answer(res, [&] { return service.pictures(); });
  });
  svr.Post("/api/upload", [&](const httplib::Request &req, httplib::Response &res) {
    answer(res, [&] {
      if (req.is_multipart_form_data()) {
        if (!req.has_file("file")) throw serve::BadRequest(400, "the form has no \"file\" field");
        return service.upload(req.get_file_value("file").content);
      }
      return service.upload(req.body);
    });
  });
  svr.Post("/api/render", [&](const httplib::Request &req, httplib::Response &res) {
    answer(res, [&] { return service.render(req.body); });
  });
  svr.set_error_handler([](const httplib::Request &, httplib::Response &res) {
    if (!res.body.empty()) return;
    const std::string msg = res.status == 413 ? "the request is larger than the server accepts"
                            : res.status == 404 ? "no such page or API route"
                                                : "the request could not be served";
    res.set_content(nlohmann::json{{"error", msg}}.dump(), "application/json");
  });

  int port = o.port;
  if (port == 0) {
    port = svr.bind_to_any_port(o.host);
    if (port < 0) throw HostError("serve: cannot listen on " + o.host);
  } else if (!svr.bind_to_port(o.host, port)) {
    throw HostError("serve: cannot listen on " + o.host + ":" + std::to_string(port) +
                    " (in use? try --port with another number)");
  }
  std::printf("seqfx serve: http://%s:%d/ (Ctrl-C stops it)\n", o.host.c_str(), port);
  std::fflush(stdout);

  std::thread stopper([&] {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    svr.stop();
  });
  svr.listen_after_bind();
  // Wake the stopper if the server ended by itself.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}

}  // namespace seqfx_cli
