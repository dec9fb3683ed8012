// How many threads the software devices draw with, for programs that
// measure them: a device created after this call draws every frame on
// `threads` threads (the caller's included), or on one per core, its own
// choice draw by draw, when `threads` is 0, as without this call.
#pragma once

#include "platform/d3d9/d3d9types.h"

void d3d9_set_drawing_threads(UINT threads);
