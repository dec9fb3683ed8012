// Pictures as files: what varnel-cli render writes and the viewer saves,
// in the format the file's extension names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/win32/windef.h"

enum class PictureFormat { png, jpeg, bmp, ppm };

// Writes width x height pixels 0x..RRGGBB (rows top first, packed; the top
// byte is not looked at) to `out`: an 8-bit RGB PNG file, a baseline JPEG
// file of quality 92, a 24-bit BMP file or a binary PPM (P6) file. False on
// any failure; the file is then incomplete, and errno holds the system's
// reason where a write failed (0 where the format cannot hold the picture).
bool write_picture(std::FILE* out, PictureFormat format, std::span<const uint32_t> pixels, UINT width, UINT height);

// The format the extension of `path`'s last part names (in any case); PNG
// for a name without an extension (/dev/stdout); false for any other
// extension.
bool picture_format_of(const char* path, PictureFormat* format);

// The extensions known, with their dots, in the formats' order.
std::vector<std::string> picture_extensions();

// The formats as a file dialog's filter: pairs of a name and its patterns,
// each ending in a zero, and a second zero at the end (in the string's bytes).
std::string picture_dialog_filter();
