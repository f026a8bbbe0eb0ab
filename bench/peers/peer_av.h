// libavfilter graphs, run in one thread on frames in the filter's native
// pixel format (converted from the RGBA picture once, before timing).
#pragma once

#include "peer.h"

namespace peers {

bool av_available();
std::string av_version();

// A graph "<filters>" fed by `inputs` sources of width x height frames in
// pixel format `native`; null with the reason in why when it cannot be set up.
std::unique_ptr<Peer> make_av(const std::string &filters, const std::string &native, int inputs,
                              int width, int height, const unsigned char *const rgba[3],
                              std::string &why);

// The RGBA -> native -> RGBA round trip an RGBA pipeline pays to use such a
// filter (one thread).
std::unique_ptr<Peer> make_av_convert(const std::string &native, int width, int height,
                                      const unsigned char *rgba, std::string &why);

}  // namespace peers
