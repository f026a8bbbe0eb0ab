// backdropkey through the host: table, keying, display modes, backgrounds,
// spill, filters, console and memory.

#include "seqfx_test.h"
