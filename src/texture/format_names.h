// Names of pixel formats as the program prints them: the platform's D3DFMT_
// names, and "AL16" / "R16" for the two loader-internal codes.
#pragma once

#include "platform/d3d9/d3d9types.h"

// The name of `format`, or null when it is none the program knows.
const char* format_name(D3DFORMAT format);
