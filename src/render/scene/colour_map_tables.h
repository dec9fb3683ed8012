// The published colour map tables: 256 entries of red, green and blue in
// 0..1, from the lowest level to the highest.
#pragma once

#include <array>

using ColourTable = std::array<std::array<float, 3>, 256>;

extern const ColourTable kViridis;
extern const ColourTable kMagma;
extern const ColourTable kCividis;
extern const ColourTable kTurbo;
