// frei0r plug-ins, loaded from the system's plug-in folder at run time.
#pragma once

#include "peer.h"

namespace peers {

// The folder plug-ins are loaded from (FREI0R_PATH's first entry when set).
std::string frei0r_dir();

// The plug-in <name>.so on width x height RGBA frames taken from inputs
// (as many as the plug-in mixes), parameters set by index; null with the
// reason in why when it cannot be loaded.
std::unique_ptr<Peer> make_frei0r(const std::string &name, int width, int height,
                                  const unsigned char *const inputs[3],
                                  const std::vector<std::pair<int, double>> &params,
                                  std::string &why);

}  // namespace peers
