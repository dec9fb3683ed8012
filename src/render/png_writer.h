// Pictures as PNG files: what varnel-cli render writes and the viewer saves.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "platform/win32/windef.h"

// Writes width x height pixels 0x..RRGGBB (rows top first, packed; the top
// byte is not looked at) to `out` as an 8-bit RGB PNG file. False on any
// failure; the file is then incomplete.
bool write_png(std::FILE* out, std::span<const uint32_t> pixels, UINT width, UINT height);
