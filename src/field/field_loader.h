// One way to load a field, for the viewer and the command line alike: what
// to read and how (a LoadRequest), and what came of it (a LoadedField). The
// caller shows the outcome in its own words; nothing here prints.
#pragma once

#include <utility>

#include "field/load_request.h"
#include "field/plot_range.h"

LoadedField load_field(const LoadRequest& request, LoadWatch watch = {});

// The parts of each axis (0 to 1) that the binned points reach, from the
// first to the last node that holds any.
std::pair<double, double> filled_parts(const DensityField* field);

// Whether under half of a load's points lie inside its range: a new file
// so placed is shown over a range fitted to it.
bool points_mostly_outside(const LoadedField& loaded);

// Whether a load's points sit badly in its range: mostly outside it, or
// filling under a quarter of an axis. The default range so filled is worth
// a warning.
bool points_poorly_placed(const LoadedField& loaded);

// The extent of the points a load read, from the file again (its columns
// as the load found them): where a warning says where the data lie. False
// for a database, a table of cell sums, a file that can be read once only,
// or one that cannot be read now.
bool read_loaded_bounds(const LoadRequest& request, const LoadedField& loaded, DataBounds* bounds);
