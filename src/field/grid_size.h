// The grid every field is binned on: 201 x 201 nodes, the 200 x 200 cells
// between them. The field, its binning rules, a table of cell sums and the
// database's query all count with these.
#pragma once

inline constexpr int kGridNodes = 201;            // nodes a side
inline constexpr int kGridCells = kGridNodes - 1; // cells a side
