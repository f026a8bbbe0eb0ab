#include "seqfx/plugin.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace seqfx {

namespace {

// Live Plugin objects per dlopen handle: two loads of one file share it.
std::map<void *, int> &live_instances() {
  static std::map<void *, int> m;
  return m;
}

std::string fixed_field(const char *p, std::size_t n) {
  std::size_t len = 0;
  while (len < n && p[len]) ++len;
  return std::string(p, len);
}

std::string lower(std::string s) {
  for (char &c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

std::string number_text(double v) {
  std::ostringstream os;
  os << v;
  return os.str();
}

// Copies a module file to a private temporary name, so that dlopen() maps a
// fresh copy with its own static state. The copy is unlinked once mapped.
void *open_private_copy(const std::string &path, std::string &error) {
  const char *tmp = std::getenv("TMPDIR");
  std::string dir_template = std::string(tmp && *tmp ? tmp : "/tmp") + "/seqfx-module-XXXXXX";
  std::vector<char> dir(dir_template.begin(), dir_template.end());
  dir.push_back('\0');
  if (!mkdtemp(dir.data())) {
    error = "cannot create a private copy (no temporary folder)";
    return nullptr;
  }
  std::string base = path.substr(path.find_last_of('/') + 1);
  std::string copy = std::string(dir.data()) + "/" + base;
  {
    // A copy cut short (a full disk, a file-size limit) would be mapped past
    // its end and crash the program on first use: the copy must be whole.
    std::ifstream in(path, std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    bool whole = in && out && (out << in.rdbuf());
    out.close();
    struct stat a, b;
    whole = whole && !out.fail() && stat(path.c_str(), &a) == 0 && stat(copy.c_str(), &b) == 0 &&
            a.st_size == b.st_size;
    if (!whole) {
      error = "cannot copy the module for a private instance (disk full or file size limit?)";
      std::remove(copy.c_str());
      rmdir(dir.data());
      return nullptr;
    }
  }
  void *h = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) error = dlerror();
  std::remove(copy.c_str());
  rmdir(dir.data());
  return h;
}

}  // namespace

std::string row_label(const ParamDescriptor &row) { return fixed_field(row.name, PLUGIN_NAME_LEN); }

std::string row_key(const ParamDescriptor &row) {
  std::string s = row_label(row);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string row_tip(const ParamDescriptor &row) { return fixed_field(row.tip, PLUGIN_TIP_LEN); }

bool is_known_code(int code) {
  switch (code) {
    case PLUGIN_CODE_LABEL:
    case PLUGIN_CODE_SLIDER_INT:
    case PLUGIN_CODE_SLIDER_FLOAT:
    case PLUGIN_CODE_NUMBER_INT:
    case PLUGIN_CODE_NUMBER_FLOAT:
    case PLUGIN_CODE_TOGGLE:
    case PLUGIN_CODE_TRITOGGLE:
    case PLUGIN_CODE_COLOUR:
    case PLUGIN_CODE_TEXT:
      return true;
    default:
      return false;
  }
}

std::unique_ptr<Plugin> Plugin::load(const std::string &path, const LoadOptions &opts) {
  std::unique_ptr<Plugin> p(new Plugin());
  p->path_ = path;
  p->role_ = opts.role;
  if (access(path.c_str(), R_OK) != 0)
    throw HostError("cannot read module " + path + ": " + std::strerror(errno));
  std::string error;
  if (opts.independent) {
    p->handle_ = open_private_copy(path, error);
    p->private_copy_ = true;
  } else {
    p->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!p->handle_) error = dlerror();
  }
  if (!p->handle_) throw HostError("cannot load module " + path + ": " + error);
  ++live_instances()[p->handle_];

  const char *version_entry =
      opts.role == Role::Texture ? "plugin_tex_getversion" : "plugin_seq_getversion";
  auto version = reinterpret_cast<PluginGetVersionFn>(p->symbol(version_entry));
  if (!version)
    throw HostError(path + " is not a seqfx " +
                    (opts.role == Role::Texture ? "texture" : "sequence") + " module: no " +
                    version_entry + " entry");
  auto getinfo = reinterpret_cast<PluginGetInfoFn>(p->symbol("plugin_getinfo"));
  if (!getinfo) throw HostError(path + " is not a seqfx module: no plugin_getinfo entry");
  const int v = version();
  if (v != SEQFX_PLUGIN_VERSION)
    throw HostError(path + " speaks interface version " + std::to_string(v) + ", this host " +
                    std::to_string(SEQFX_PLUGIN_VERSION));

  std::memset(&p->desc_, 0, sizeof(p->desc_));
  getinfo(&p->desc_);
  const PluginDescription &d = p->desc_;
  if (d.varstr_count < 0 || (d.varstr_count > 0 && !d.varstr))
    throw HostError(path + " describes no valid parameter table");
  if (!d.cfra) throw HostError(path + " provides no frame cell (cfra)");
  if (opts.role == Role::Sequence && !d.seq_doit)
    throw HostError(path + " provides no sequence effect entry");
  if (opts.role == Role::Texture && !d.tex_doit)
    throw HostError(path + " provides no texture entry");
  for (int i = 0; i < d.varstr_count; ++i)
    if (!is_known_code(d.varstr[i].code))
      throw HostError(path + ": row " + std::to_string(i) + " has the unknown code 0x" +
                      [](int c) {
                        char b[16];
                        std::snprintf(b, sizeof b, "%04X", c);
                        return std::string(b);
                      }(d.varstr[i].code));
  if (d.init) d.init();
  p->build_params();
  return p;
}

Plugin::~Plugin() {
  if (!handle_) return;
  auto &m = live_instances();
  if (--m[handle_] == 0) m.erase(handle_);
  dlclose(handle_);
}

std::string Plugin::module_name() const {
  std::string base = path_.substr(path_.find_last_of('/') + 1);
  if (base.size() > 3 && base.compare(base.size() - 3, 3, ".so") == 0) base.resize(base.size() - 3);
  return base;
}

bool Plugin::independent() const { return instances_sharing_state() == 1; }

int Plugin::instances_sharing_state() const {
  auto it = live_instances().find(handle_);
  return it == live_instances().end() ? 0 : it->second;
}

void *Plugin::symbol(const char *name) const {
  dlerror();
  return dlsym(handle_, name);
}

std::string Plugin::display_name() const { return desc_.name ? desc_.name : ""; }

const ParamDescriptor &Plugin::row(int i) const {
  check_row(i);
  return desc_.varstr[i];
}

void Plugin::check_row(int row) const {
  if (row < 0 || row >= desc_.varstr_count)
    throw HostError(module_name() + " has no row " + std::to_string(row) + " (rows 0.." +
                    std::to_string(desc_.varstr_count - 1) + ")");
}

namespace {

// A name as people type it: without the trailing punctuation and blanks of
// labels like "Amount:" or "TexturNr.=".
std::string bare_name(std::string s) {
  while (!s.empty() && (s.back() == ' ' || std::ispunct((unsigned char)s.back()))) s.pop_back();
  return s;
}

// Edits (insert, delete, replace a character) from a to b.
std::size_t edit_distance(const std::string &a, const std::string &b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diag = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diag = up;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string Plugin::unknown_name(const std::string &name) const {
  // The closest names within a third of the name's length (at least one
  // edit); when none is that close, every name.
  const std::string key = lower(bare_name(name));
  const std::size_t limit = std::max<std::size_t>(1, key.size() / 3);
  std::size_t best = limit + 1;
  std::string near, all;
  for (int i = 0; i < desc_.varstr_count; ++i) {
    const ParamDescriptor &r = desc_.varstr[i];
    if (row_kind(r) == PLUGIN_LABEL) continue;
    const std::string shown = "\"" + row_key(r) + "\"";
    all += (all.empty() ? "" : ", ") + shown;
    const std::size_t d = edit_distance(key, lower(bare_name(row_key(r))));
    if (d < best) {
      best = d;
      near = shown;
    } else if (d == best) {
      near += " or " + shown;
    }
  }
  const std::string head = module_name() + " has no parameter \"" + name + "\"";
  if (!near.empty()) return head + "; did you mean " + near + "?";
  return all.empty() ? head + " (it has none)" : head + "; its parameters: " + all;
}

int Plugin::find_row(const std::string &name) const {
  std::string key = name;
  while (!key.empty() && key.back() == ' ') key.pop_back();
  // Exactly, then ignoring case; then both without trailing punctuation.
  for (int pass = 0; pass < 4; ++pass) {
    std::vector<int> hits;
    const std::string want = pass < 2 ? key : bare_name(key);
    if (want.empty()) break;
    for (int i = 0; i < desc_.varstr_count; ++i) {
      const ParamDescriptor &r = desc_.varstr[i];
      if (row_kind(r) == PLUGIN_LABEL) continue;
      const std::string k = pass < 2 ? row_key(r) : bare_name(row_key(r));
      if (pass % 2 == 0 ? k == want : lower(k) == lower(want)) hits.push_back(i);
    }
    if (hits.size() == 1) return hits[0];
    if (hits.size() > 1) {
      std::string list;
      for (int i : hits)
        list += (list.empty() ? "" : ", ") + std::to_string(i) + " \"" + row_label(desc_.varstr[i]) + "\"";
      throw HostError(module_name() + ": parameter name \"" + name + "\" is ambiguous: rows " +
                      list + "; give the row number instead");
    }
  }
  throw HostError(unknown_name(name));
}

void Plugin::build_params() {
  // One 4-byte slot per row at 4 x row; a text row has room for max + 1
  // characters from its slot on.
  std::size_t bytes = 4 * (std::size_t)desc_.varstr_count;
  for (int i = 0; i < desc_.varstr_count; ++i) {
    const ParamDescriptor &r = desc_.varstr[i];
    if (row_kind(r) == PLUGIN_TEXT) {
      double mx = std::isfinite(r.max) && r.max > 0 ? r.max : 0;
      bytes = std::max(bytes, 4 * (std::size_t)i + (std::size_t)mx + 1);
    }
  }
  params_.assign((bytes + 3) / 4 + 1, 0u);
  for (int i = 0; i < desc_.varstr_count; ++i) write_default(i);
}

void Plugin::reset_defaults() {
  std::fill(params_.begin(), params_.end(), 0u);
  for (int i = 0; i < desc_.varstr_count; ++i) write_default(i);
}

namespace {
// Tri-toggle states as two 16-bit halves: 0/0, 1/0, 1/1. Read as one 32-bit
// integer on a little-endian machine these are 0, 1 and 0x10001, so both
// ways modules read the slot see the same state.
void write_tri(unsigned char *slot, int state) {
  std::uint16_t halves[2] = {(std::uint16_t)(state >= 1), (std::uint16_t)(state >= 2)};
  std::memcpy(slot, halves, 4);
}
}  // namespace

void Plugin::write_default(int row) {
  const ParamDescriptor &r = desc_.varstr[row];
  unsigned char *s = slot(row);
  std::memset(s, 0, 4);
  switch (row_kind(r)) {
    case PLUGIN_LABEL:
    case PLUGIN_COLOUR:  // black, fully transparent: the colour of a zero default
    case PLUGIN_TEXT:
      return;
    case PLUGIN_TRITOGGLE: {
      int st = std::isfinite(r.def) ? (int)r.def : 0;
      write_tri(s, std::clamp(st, 0, 2));
      return;
    }
    default:
      if (row_type(r) == PLUGIN_FLOAT) {
        std::memcpy(s, &r.def, 4);
      } else {
        std::int32_t v = std::isfinite(r.def) ? (std::int32_t)r.def : 0;
        std::memcpy(s, &v, 4);
      }
  }
}

unsigned char *Plugin::slot(int row) {
  check_row(row);
  return reinterpret_cast<unsigned char *>(params_.data()) + 4 * (std::size_t)row;
}

const unsigned char *Plugin::slot(int row) const {
  check_row(row);
  return reinterpret_cast<const unsigned char *>(params_.data()) + 4 * (std::size_t)row;
}

void Plugin::changed(int row) {
  if (desc_.but_changed) desc_.but_changed(row);
}

void Plugin::set_value(int row, double value) {
  const ParamDescriptor &r = this->row(row);
  const std::string who = module_name() + " row " + std::to_string(row) + " \"" + row_label(r) + "\"";
  const int kind = row_kind(r);
  if (kind == PLUGIN_LABEL) throw HostError(who + " is a label and holds no value");
  if (kind == PLUGIN_COLOUR) throw HostError(who + " is a colour: give r,g,b[,a] or #rrggbb[aa]");
  if (kind == PLUGIN_TEXT) throw HostError(who + " is a text: give the text");
  if (!std::isfinite(value)) throw HostError(who + ": " + number_text(value) + " is not a number");
  if (kind == PLUGIN_TRITOGGLE) {
    if (value != 0 && value != 1 && value != 2)
      throw HostError(who + " is a three-state button: give 0, 1 or 2");
    write_tri(slot(row), (int)value);
    changed(row);
    return;
  }
  // A toggle is an on/off button whatever bounds its row gives.
  if (kind == PLUGIN_TOGGLE && (value == 0 || value == 1)) {
    const std::int32_t v = (std::int32_t)value;
    std::memcpy(slot(row), &v, 4);
    changed(row);
    return;
  }
  const bool is_int = row_type(r) != PLUGIN_FLOAT;
  if (is_int && value != std::floor(value))
    throw HostError(who + " takes whole numbers, not " + number_text(value));
  // Bounds are floats: compare the value as the float the slot would hold.
  const float f = (float)value;
  if (f < r.min || f > r.max)
    throw HostError(who + ": " + number_text(value) + " is outside its range " +
                    number_text(r.min) + ".." + number_text(r.max));
  if (is_int) {
    std::int32_t v = (std::int32_t)value;
    std::memcpy(slot(row), &v, 4);
  } else {
    std::memcpy(slot(row), &f, 4);
  }
  changed(row);
}

void Plugin::set_colour(int row, unsigned char r, unsigned char g, unsigned char b, unsigned char a) {
  const ParamDescriptor &d = this->row(row);
  if (row_kind(d) != PLUGIN_COLOUR)
    throw HostError(module_name() + " row " + std::to_string(row) + " \"" + row_label(d) +
                    "\" is not a colour");
  unsigned char *s = slot(row);
  s[0] = r;
  s[1] = g;
  s[2] = b;
  s[3] = a;
  changed(row);
}

void Plugin::set_text(int row, const std::string &text) {
  const ParamDescriptor &d = this->row(row);
  const std::string who = module_name() + " row " + std::to_string(row) + " \"" + row_label(d) + "\"";
  if (row_kind(d) != PLUGIN_TEXT) throw HostError(who + " is not a text");
  const std::size_t max = d.max > 0 ? (std::size_t)d.max : 0;
  if (text.size() > max)
    throw HostError(who + " holds at most " + std::to_string(max) + " characters, not " +
                    std::to_string(text.size()));
  if (text.find('\0') != std::string::npos) throw HostError(who + ": text holds a NUL character");
  unsigned char *s = slot(row);
  std::memset(s, 0, max + 1);
  std::memcpy(s, text.data(), text.size());
  changed(row);
}

std::int32_t Plugin::int_slot(int row) const {
  std::int32_t v;
  std::memcpy(&v, slot(row), 4);
  return v;
}

float Plugin::float_slot(int row) const {
  float v;
  std::memcpy(&v, slot(row), 4);
  return v;
}

int Plugin::tri_state(int row) const {
  std::uint16_t h[2];
  std::memcpy(h, slot(row), 4);
  return h[0] == 0 && h[1] == 0 ? 0 : (h[1] != 0 ? 2 : 1);
}

std::string Plugin::text_slot(int row) const {
  const ParamDescriptor &d = this->row(row);
  const std::size_t max = d.max > 0 ? (std::size_t)d.max : 0;
  return fixed_field(reinterpret_cast<const char *>(slot(row)), max + 1);
}

void Plugin::call(float frame, float factor0, float factor1, int width, int height,
                  ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *ibuf3) {
  *desc_.cfra = frame;
  if (!desc_.seq_doit) throw HostError(module_name() + " has no sequence effect entry");
  desc_.seq_doit(params(), factor0, factor1, width, height, ibuf1, ibuf2, out, ibuf3);
}

void Plugin::render(float frame, float factor0, float factor1, Image &ibuf1, Image *ibuf2,
                    Image &out, Image *ibuf3) {
  const int w = out.width(), h = out.height();
  for (Image *in : {&ibuf1, ibuf2, ibuf3})
    if (in && (in->width() != w || in->height() != h))
      throw HostError("input of " + std::to_string(in->width()) + "x" + std::to_string(in->height()) +
                      " does not match the frame size " + std::to_string(w) + "x" + std::to_string(h));
  call(frame, factor0, factor1, w, h, ibuf1.record(), ibuf2 ? ibuf2->record() : nullptr, out.record(),
       ibuf3 ? ibuf3->record() : nullptr);
  int *z = out.record()->zbuf;
  if (!z || out.owns_zbuf()) return;
  // A pointer into any plane of an input (its depth, or even its pixels) is
  // replaced by out's own copy: out must never free or outlive an input's plane.
  for (Image *in : {&ibuf1, ibuf2, ibuf3}) {
    if (in && (in->zbuf() == z || (void *)in->rect() == (void *)z ||
               (void *)in->floatbuf() == (void *)z)) {
      out.record()->zbuf = nullptr;
      int *own = out.add_zbuf();
      std::memcpy(own, z, out.pixels() * sizeof(int));
      return;
    }
  }
  out.adopt_module_zbuf();
}

}  // namespace seqfx
