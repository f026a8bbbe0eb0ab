// The frei0r interface header, whose entry points have C linkage.
#pragma once

extern "C" {
#include <frei0r.h>
}
