// The region around a field's highest peak: the nodes joined to the
// highest one through nodes at least half its height, framed.
#pragma once

#include "field/density_field.h"
#include "field/range.h"

// The range that holds the highest node's half-height region, a cell
// beyond its outermost nodes on each side (where the half height is
// crossed), kept inside the field's range. False for a field without a
// node above zero.
bool peak_region(const FieldView& view, Range* region);
