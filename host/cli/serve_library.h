// What the server offers: the modules with their facts and tables, and the
// pictures a preview may use as strips (the built-in scene, the folders
// given on the command line, uploads).
#pragma once

#include "serve.h"

#include "seqfx/error.h"
#include "seqfx/facts.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace seqfx_cli {
namespace serve {

// A request the server turns down, with the status to answer.
struct BadRequest : seqfx::HostError {
  BadRequest(int s, const std::string &m) : HostError(m), status(s) {}
  int status;
};

struct ModuleEntry {
  std::string name;
  seqfx::ModuleFacts facts;
  std::string display_name;
  nlohmann::json table;  // one object per row
  std::string error;     // why it cannot be loaded; empty when it can
};

class Catalog {
 public:
  explicit Catalog(const std::vector<std::string> &module_dirs);
  nlohmann::json list() const;
  // Throws BadRequest 404 for a name it does not hold.
  const ModuleEntry &find(const std::string &name) const;

 private:
  std::vector<ModuleEntry> modules_;
};

// Largest picture accepted, in bytes and per side.
constexpr std::size_t kMaxUploadBytes = 16u << 20;
constexpr int kMaxSide = 4096;

class Pictures {
 public:
  // Scene strips and uploads are kept in cache_dir.
  Pictures(const std::string &cache_dir, const std::vector<std::string> &folders);
  nlohmann::json list() const;

  // Checks an uploaded file (size, type, a picture that can be read) and
  // keeps it; returns its id. Throws BadRequest.
  std::string add_upload(const std::string &bytes);

  // The file of a scene strip of one frame at w x h, written on first use;
  // depth names its distances file. Throws BadRequest for unknown names.
  std::string scene_file(const std::string &which, int w, int h, int frame, std::string *depth);
  std::string picture_file(const std::string &id) const;
  std::string upload_file(const std::string &id) const;

 private:
  std::string cache_;
  std::vector<std::pair<std::string, std::string>> pictures_;  // id, path
  mutable std::mutex mutex_;
  int uploads_ = 0;
  std::map<std::string, std::string> upload_files_;
};

// A picture file's size. Throws BadRequest 400 for one that cannot be read.
void picture_size(const std::string &path, int &w, int &h);

}  // namespace serve
}  // namespace seqfx_cli
