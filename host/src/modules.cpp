#include "seqfx/modules.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace seqfx {

namespace {
bool ends_with(const std::string &s, const std::string &tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
bool is_file(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::vector<ModuleFile> find_modules(const std::vector<std::string> &dirs) {
  std::map<std::string, std::string> found;
  for (const std::string &dir : dirs) {
    DIR *d = opendir(dir.c_str());
    if (!d) continue;
    for (dirent *e; (e = readdir(d));) {
      const std::string file = e->d_name;
      if (file.size() <= 3 || !ends_with(file, ".so") || file[0] == '.') continue;
      const std::string path = dir + "/" + file;
      if (!is_file(path)) continue;
      found.emplace(file.substr(0, file.size() - 3), path);  // earlier folders win
    }
    closedir(d);
  }
  std::vector<ModuleFile> out;
  for (auto &kv : found) out.push_back({kv.first, kv.second});
  return out;
}

std::string locate_module(const std::vector<std::string> &dirs, const std::string &name) {
  if (name.find('/') != std::string::npos) {
    if (!is_file(name)) throw HostError("no module file " + name);
    return name;
  }
  std::string key = ends_with(name, ".so") ? name.substr(0, name.size() - 3) : name;
  for (const ModuleFile &m : find_modules(dirs))
    if (m.name == key) return m.path;
  std::string where;
  for (const std::string &d : dirs) where += (where.empty() ? "" : ", ") + d;
  throw HostError("unknown plug-in \"" + name + "\": no " + key + ".so in " +
                  (where.empty() ? std::string("any module folder") : where) +
                  " (seqfx list shows the modules found)");
}

std::string StripCount::text() const {
  if (!known) return "?";
  return (at_least ? ">=" : "") + std::to_string(count);
}

StripCount strips_from_label(const std::string &label) {
  // "Input: 2 strips", "In: >= 1 strip", any case.
  std::string s = label;
  for (char &c : s) c = (char)std::tolower((unsigned char)c);
  StripCount sc;
  const std::size_t colon = s.find(':');
  if (s.compare(0, 2, "in") != 0 || colon == std::string::npos) return sc;
  std::size_t p = colon + 1;
  auto blanks = [&] {
    while (p < s.size() && s[p] == ' ') ++p;
  };
  blanks();
  if (s.compare(p, 2, ">=") == 0) {
    sc.at_least = true;
    p += 2;
    blanks();
  }
  if (p >= s.size() || !std::isdigit((unsigned char)s[p])) return StripCount{};
  sc.count = s[p] - '0';
  ++p;
  blanks();
  if (sc.count < 1 || sc.count > 3 || s.compare(p, 5, "strip") != 0) return StripCount{};
  sc.known = true;
  return sc;
}

StripCount strips_from_table(const Plugin &plugin) {
  for (int i = 0; i < plugin.row_count(); ++i)
    if (row_kind(plugin.row(i)) == PLUGIN_LABEL) return strips_from_label(row_label(plugin.row(i)));
  return StripCount{};
}

}  // namespace seqfx
