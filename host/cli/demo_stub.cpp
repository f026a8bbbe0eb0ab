#include "commands.h"
#include "seqfx/error.h"
namespace seqfx_cli {
int cmd_demo(const Global &, const std::string &, const std::vector<std::string> &) { throw seqfx::HostError("demo: not yet"); }
}
