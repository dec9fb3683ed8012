// The height scale's title for a loaded field: the summed or averaged
// column's name in the program's words ("mean of dep_delay"), or empty for
// counts, which the scale calls points per cell.
#pragma once

#include <string>

#include "field/field_loader.h"

std::string height_scale_title(const LoadedField& loaded);
