// Loading a seqfx module and driving it as a host does.
#pragma once

#include "seqfx/error.h"
#include "seqfx/image.h"
#include "seqfx_plugin.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace seqfx {

enum class Role { Sequence, Texture };

struct LoadOptions {
  // The role the module is loaded in: it decides which version entry is
  // asked first (plugin_seq_getversion or plugin_tex_getversion).
  Role role = Role::Sequence;
  // Load a private copy of the module, so that its file-scope state is not
  // shared with any other instance. dlopen() hands out one copy per file,
  // so without this two loads of one path share every static variable.
  bool independent = false;
};

// The label of a row: at most 16 characters (a full field has no NUL).
std::string row_label(const ParamDescriptor &row);
// The label without its trailing blanks, as names are compared.
std::string row_key(const ParamDescriptor &row);
// The tip of a row (at most 80 characters).
std::string row_tip(const ParamDescriptor &row);
// True for the nine codes parameter tables may use.
bool is_known_code(int code);
inline int row_kind(const ParamDescriptor &row) { return row.code & PLUGIN_KIND_MASK; }
inline int row_type(const ParamDescriptor &row) { return row.code & PLUGIN_TYPE_MASK; }

// One loaded module with its description and its ParamBlock.
class Plugin {
 public:
  // Loads, checks the version, fills the description, calls the init entry
  // and builds the ParamBlock from the defaults. Throws HostError with a
  // one-line reason for a file that cannot be loaded, is not a module,
  // lacks an entry point or reports another interface version.
  static std::unique_ptr<Plugin> load(const std::string &path, const LoadOptions &opts = {});
  ~Plugin();
  Plugin(const Plugin &) = delete;
  Plugin &operator=(const Plugin &) = delete;

  const std::string &path() const { return path_; }
  // The module's file name without folder and ".so": its deliverable name.
  std::string module_name() const;
  Role role() const { return role_; }
  // True when no other loaded instance shares this one's static state.
  bool independent() const;
  // How many live Plugin objects share this instance's loaded copy.
  int instances_sharing_state() const;

  // A symbol the module exports, or null.
  void *symbol(const char *name) const;

  const PluginDescription &description() const { return desc_; }
  std::string display_name() const;

  int row_count() const { return desc_.varstr_count; }
  const ParamDescriptor &row(int i) const;

  // The row a name refers to: compared without trailing blanks (exactly,
  // then ignoring case), then also without trailing punctuation ("Amount"
  // for "Amount:"). Label rows hold no value and are not found. Throws for
  // an ambiguous name listing the matches, and for an unknown one with the
  // names closest to it (or all of them when none is close).
  int find_row(const std::string &name) const;

  // Setting values. Each checks the row's kind and range, stores the value
  // in the row's slot and calls the module's change entry with the row.
  //  - numeric rows (slider, number, toggle): min..max; int rows take whole
  //    numbers only; tri-toggles take the states 0, 1 and 2; toggles take 0
  //    and 1 also where the row's bounds are narrower (an on/off button).
  //  - colour rows: four bytes R, G, B, A.
  //  - the text row: at most max characters.
  void set_value(int row, double value);
  void set_value(const std::string &name, double value) { set_value(find_row(name), value); }
  void set_colour(int row, unsigned char r, unsigned char g, unsigned char b, unsigned char a = 255);
  void set_text(int row, const std::string &text);
  // Puts every slot back to its row's default (no change calls).
  void reset_defaults();

  // Reading slots back (values a module wrote during the effect call too).
  std::int32_t int_slot(int row) const;
  float float_slot(int row) const;
  int tri_state(int row) const;  // 0, 1 or 2
  std::string text_slot(int row) const;
  // The raw 4-byte slot of a row (colour bytes, tri-toggle halves).
  unsigned char *slot(int row);
  const unsigned char *slot(int row) const;

  void *params() { return params_.data(); }
  std::size_t params_size() const { return params_.size() * sizeof(std::uint32_t); }

  // Writes the frame number into the module's cfra and calls the effect
  // entry with its nine arguments, exactly as given.
  void call(float frame, float factor0, float factor1, int width, int height,
            ImageBuffer *ibuf1, ImageBuffer *ibuf2, ImageBuffer *out, ImageBuffer *ibuf3);

  // Renders one frame: the frame size is out's size and every given input
  // must have it. Afterwards a depth plane the module attached to out
  // belongs to out: a malloc'ed plane is adopted, and a pointer to an input's
  // plane is replaced by out's own copy of it, so out stands alone.
  void render(float frame, float factor0, float factor1, Image &ibuf1, Image *ibuf2,
              Image &out, Image *ibuf3 = nullptr);

 private:
  Plugin() = default;
  void build_params();
  void write_default(int row);
  void check_row(int row) const;
  std::string unknown_name(const std::string &name) const;
  void changed(int row);

  std::string path_;
  Role role_ = Role::Sequence;
  void *handle_ = nullptr;
  bool private_copy_ = false;
  PluginDescription desc_{};
  std::vector<std::uint32_t> params_;
};

}  // namespace seqfx
