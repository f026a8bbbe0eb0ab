// The texture role of a module: its sub-types, its result record and its
// texture entry, served by the loaded instance that also serves the
// module's sequence role, so that both roles see the same file-scope state.
#pragma once

#include "seqfx/error.h"
#include "seqfx/image.h"
#include "seqfx/plugin.h"

#include <memory>
#include <string>

namespace seqfx {

class Texture {
 public:
  // Loads the module at path in its texture role: version entry
  // plugin_tex_getversion, then the description, the init entry and a
  // ParamBlock built from the texture table like any other. The instance is
  // the one every shared load of that path uses. Throws HostError for a
  // module without a texture role or without sub-types or result record.
  static std::unique_ptr<Texture> load(const std::string &path);
  // The texture role of the instance seq runs on. A private copy
  // (LoadOptions::independent) cannot be reached a second time, so it is
  // refused with a HostError.
  static std::unique_ptr<Texture> beside(const Plugin &seq);

  // The texture's description, table and ParamBlock (set_value and the
  // slot readers work as for a sequence effect).
  Plugin &plugin() { return *plugin_; }
  const Plugin &plugin() const { return *plugin_; }
  // True when p runs on the same loaded instance.
  bool shares_instance_with(const Plugin &p) const;

  int subtype_count() const { return plugin_->description().stype_count; }
  // The name of sub-type i (at most 16 characters). Throws for a bad index.
  std::string subtype_name(int stype) const;
  // The sub-type with this name (exactly, then ignoring case); throws.
  int find_subtype(const std::string &name) const;

  // The module's result record: 8 floats, the alpha at offset 16.
  float *result() const { return plugin_->description().result; }

  // Shades one point: stores alpha in the result record (the host writes
  // nothing else there) and calls the texture entry with the sub-type, the
  // ParamBlock and the point. Returns what the entry returns.
  int shade(int stype, float x, float y, float z, float alpha);

 private:
  Texture() = default;
  std::unique_ptr<Plugin> plugin_;
};

// Stands in for a renderer that shades the texture on every visible point:
// every pixel of mask whose alpha, as a fraction of 255, is above threshold
// is shaded with sub-type stype at x = 2c/W - 1, y = 2r/H - 1, z = 0
// (column c, row r of a W x H mask) and alpha/255, so that a texture that
// maps (t + 1) * size/2 + 0.5 back to pixels lands on the pixel itself.
// Returns the number of points shaded.
long shade_from_mask(Texture &tex, int stype, const Image &mask, float threshold = 0.0f);

}  // namespace seqfx
