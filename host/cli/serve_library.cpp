// The modules and pictures the server offers.

#include "serve_library.h"

#include "picture.h"
#include "quiet.h"
#include "scene.h"

#include "seqfx/modules.h"
#include "seqfx/values.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace seqfx_cli {
namespace serve {

using nlohmann::json;

namespace {

const char *kind_name(int kind) {
  switch (kind) {
    case PLUGIN_LABEL: return "label";
    case PLUGIN_SLIDER: return "slider";
    case PLUGIN_NUMBER: return "number";
    case PLUGIN_TOGGLE: return "toggle";
    case PLUGIN_TRITOGGLE: return "tritoggle";
    case PLUGIN_COLOUR: return "colour";
    case PLUGIN_TEXT: return "text";
    default: return "unknown";
  }
}

json table_of(const seqfx::Plugin &p) {
  json rows = json::array();
  for (int i = 0; i < p.row_count(); ++i) {
    const ParamDescriptor &r = p.row(i);
    rows.push_back(json{{"row", i},
                        {"kind", kind_name(seqfx::row_kind(r))},
                        {"float", seqfx::row_type(r) == PLUGIN_FLOAT},
                        {"label", seqfx::row_label(r)},
                        {"name", seqfx::row_key(r)},
                        {"default", seqfx::default_text(r)},
                        {"min", r.min},
                        {"max", r.max},
                        {"tip", seqfx::row_tip(r)}});
  }
  return rows;
}

const std::vector<std::pair<std::string, Strip>> kScene{
    {"scene", Strip::Scene}, {"green", Strip::Green},   {"clean", Strip::Clean},
    {"plate", Strip::Plate}, {"second", Strip::Second}, {"third", Strip::Third}};

bool is_file(const std::string &path) { return access(path.c_str(), R_OK) == 0; }

}  // namespace

Catalog::Catalog(const std::vector<std::string> &module_dirs) {
  for (const auto &m : seqfx::find_modules(module_dirs)) {
    ModuleEntry e;
    e.name = m.name;
    try {
      Silence silence(true);
      auto p = seqfx::Plugin::load(m.path);
      e.facts = seqfx::module_facts(*p);
      e.display_name = p->display_name();
      e.table = table_of(*p);
    } catch (const std::exception &ex) {
      e.error = ex.what();
    }
    modules_.push_back(std::move(e));
  }
}

json Catalog::list() const {
  json list = json::array();
  for (const ModuleEntry &e : modules_) {
    json m{{"name", e.name}};
    if (!e.error.empty()) {
      m["error"] = e.error;
    } else {
      m["display_name"] = e.display_name;
      m["description"] = e.facts.description;
      m["strips_needed"] = e.facts.strips_needed;
      m["strips_accepted"] = e.facts.strips_accepted;
      m["keeps_state"] = e.facts.keeps_state;
      m["needs_depth"] = e.facts.needs_depth;
      m["entry"] = seqfx::entry_style_name(e.facts.entry);
    }
    list.push_back(m);
  }
  return list;
}

const ModuleEntry &Catalog::find(const std::string &name) const {
  for (const ModuleEntry &e : modules_)
    if (e.name == name) {
      if (!e.error.empty()) throw BadRequest(409, name + " cannot be loaded: " + e.error);
      return e;
    }
  throw BadRequest(404, "no module named \"" + name + "\"");
}

Pictures::Pictures(const std::string &cache_dir, const std::vector<std::string> &folders) : cache_(cache_dir) {
  for (std::size_t f = 0; f < folders.size(); ++f) {
    DIR *d = opendir(folders[f].c_str());
    if (!d) throw seqfx::HostError("cannot read the folder " + folders[f]);
    std::vector<std::string> names;
    while (dirent *ent = readdir(d)) {
      const std::string n = ent->d_name;
      if (n[0] != '.' && is_picture_name(n) && is_file(folders[f] + "/" + n)) names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) pictures_.emplace_back(std::to_string(f + 1) + "/" + n, folders[f] + "/" + n);
  }
}

json Pictures::list() const {
  json scene = json::array(), pics = json::array();
  for (const auto &s : kScene) scene.push_back(s.first);
  for (const auto &p : pictures_) pics.push_back(p.first);
  return json{{"scene", scene}, {"pictures", pics}};
}

void picture_size(const std::string &path, int &w, int &h) {
  try {
    Picture p = read_picture(path, false);
    w = p.image.width();
    h = p.image.height();
  } catch (const std::exception &e) {
    throw BadRequest(400, std::string("not a picture that can be read: ") + e.what());
  }
}

std::string Pictures::add_upload(const std::string &bytes) {
  if (bytes.empty()) throw BadRequest(400, "the upload is empty");
  if (bytes.size() > kMaxUploadBytes)
    throw BadRequest(413, "the upload is " + std::to_string(bytes.size() >> 20) + " MB, more than the " +
                              std::to_string(kMaxUploadBytes >> 20) + " MB accepted");
  const bool png = bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
  const bool jpeg = bytes.compare(0, 3, "\xFF\xD8\xFF") == 0;
  if (!png && !jpeg) throw BadRequest(415, "the upload is not a PNG or JPEG picture");
  // A cut-short file is refused before the picture reader sees it: a
  // whole PNG ends with its IEND chunk, a whole JPEG with the EOI marker.
  const std::string end = png ? std::string("IEND\xAE\x42\x60\x82", 8) : std::string("\xFF\xD9", 2);
  if (bytes.size() < end.size() || bytes.compare(bytes.size() - end.size(), end.size(), end) != 0)
    throw BadRequest(400, std::string("the ") + (png ? "PNG" : "JPEG") + " picture is cut short");
  std::string id, path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = "upload-" + std::to_string(++uploads_) + (png ? ".png" : ".jpg");
    path = cache_ + "/" + id;
  }
  {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw seqfx::HostError("cannot keep the upload in " + path);
  }
  int w = 0, h = 0;
  try {
    picture_size(path, w, h);
    if (w > kMaxSide || h > kMaxSide)
      throw BadRequest(413, "the picture is " + std::to_string(w) + "x" + std::to_string(h) + ", larger than " +
                                std::to_string(kMaxSide) + " on a side");
  } catch (...) {
    unlink(path.c_str());
    throw;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  upload_files_[id] = path;
  return id;
}

std::string Pictures::scene_file(const std::string &which, int w, int h, int frame, std::string *depth) {
  auto it = std::find_if(kScene.begin(), kScene.end(), [&](const auto &s) { return s.first == which; });
  if (it == kScene.end()) throw BadRequest(400, "no scene strip named \"" + which + "\"");
  const std::string base = cache_ + "/" + which + "-" + std::to_string(w) + "x" + std::to_string(h) + "-" +
                           std::to_string(frame);
  const std::string file = base + ".png", zfile = base + "-depth.exr";
  std::lock_guard<std::mutex> lock(mutex_);
  if (!is_file(file) || !is_file(zfile)) {
    const seqfx::Image img = make_strip(it->second, w, h, frame);
    std::vector<float> d(img.pixels());
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = (float)kSceneDepth.to_distance(img.zbuf()[i]);
    // Written under temporary names and renamed, so that a file seen is whole.
    write_picture(base + ".tmp.png", file, img, false);
    write_depth(base + ".tmp.exr", zfile, d.data(), w, h);
    std::rename((base + ".tmp.png").c_str(), file.c_str());
    std::rename((base + ".tmp.exr").c_str(), zfile.c_str());
  }
  if (depth) *depth = zfile;
  return file;
}

std::string Pictures::picture_file(const std::string &id) const {
  for (const auto &p : pictures_)
    if (p.first == id) return p.second;
  throw BadRequest(404, "no picture \"" + id + "\" in the folders served");
}

std::string Pictures::upload_file(const std::string &id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = upload_files_.find(id);
  if (it == upload_files_.end()) throw BadRequest(404, "no upload \"" + id + "\"");
  return it->second;
}

}  // namespace serve
}  // namespace seqfx_cli
