#include "seqfx/texture.h"

#include <dlfcn.h>

#include <cctype>
#include <cstring>

namespace seqfx {

namespace {

std::string lower(std::string s) {
  for (char &c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

}  // namespace

std::unique_ptr<Texture> Texture::load(const std::string &path) {
  LoadOptions opts;
  opts.role = Role::Texture;
  std::unique_ptr<Texture> t(new Texture());
  t->plugin_ = Plugin::load(path, opts);
  const PluginDescription &d = t->plugin_->description();
  if (d.stype_count <= 0 || !d.stnames)
    throw HostError(path + " describes a texture without sub-types");
  if (!d.result) throw HostError(path + " provides no texture result record");
  return t;
}

std::unique_ptr<Texture> Texture::beside(const Plugin &seq) {
  // dlopen() without loading: the instance registered under the path, if
  // any. It is seq's own unless seq runs on a private copy.
  void *h = dlopen(seq.path().c_str(), RTLD_LAZY | RTLD_NOLOAD);
  const bool same = h && dlsym(h, "plugin_getinfo") == seq.symbol("plugin_getinfo");
  if (h) dlclose(h);
  if (!same)
    throw HostError(seq.module_name() +
                    " runs on a private copy, which cannot serve its texture role; load it "
                    "shared to use both roles");
  std::unique_ptr<Texture> t = load(seq.path());
  if (!t->shares_instance_with(seq))
    throw HostError(seq.module_name() + ": the texture role was loaded on another instance");
  return t;
}

bool Texture::shares_instance_with(const Plugin &p) const {
  void *mine = plugin_->symbol("plugin_getinfo");
  return mine && mine == p.symbol("plugin_getinfo");
}

std::string Texture::subtype_name(int stype) const {
  if (stype < 0 || stype >= subtype_count())
    throw HostError(plugin_->module_name() + " has no texture sub-type " + std::to_string(stype) +
                    " (sub-types 0.." + std::to_string(subtype_count() - 1) + ")");
  const char *field = plugin_->description().stnames + (std::size_t)stype * PLUGIN_STNAME_LEN;
  return std::string(field, strnlen(field, PLUGIN_STNAME_LEN));
}

int Texture::find_subtype(const std::string &name) const {
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < subtype_count(); ++i)
      if (pass == 0 ? subtype_name(i) == name : lower(subtype_name(i)) == lower(name)) return i;
  std::string list;
  for (int i = 0; i < subtype_count(); ++i) list += (i ? ", \"" : "\"") + subtype_name(i) + "\"";
  throw HostError(plugin_->module_name() + " has no texture sub-type \"" + name + "\" (" + list +
                  ")");
}

int Texture::shade(int stype, float x, float y, float z, float alpha) {
  subtype_name(stype);  // checks the index
  result()[4] = alpha;
  float point[3] = {x, y, z};
  return plugin_->description().tex_doit(stype, plugin_->params(), point);
}

long shade_from_mask(Texture &tex, int stype, const Image &mask, float threshold) {
  const int w = mask.width(), h = mask.height();
  const unsigned char *px = mask.rect();
  if (!px) return 0;
  long shaded = 0;
  for (int r = 0; r < h; ++r) {
    const float y = (float)(2.0 * r / h - 1.0);
    for (int c = 0; c < w; ++c, px += 4) {
      const float alpha = px[3] / 255.0f;
      if (!(alpha > threshold)) continue;
      tex.shade(stype, (float)(2.0 * c / w - 1.0), y, 0.0f, alpha);
      ++shaded;
    }
  }
  return shaded;
}

}  // namespace seqfx
