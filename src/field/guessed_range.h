// A fitted range at the cost of one read, where it can be had. A fit of a
// large array or text file guesses its range from a part of the file (a
// text file's first part; pieces spread over an array, whose records can
// be reached anywhere), then bins the whole file in it once, gathering
// every point's bounds as it goes; where the range fitted to those is the
// guess, the field is the one a bounds pass and a load in its range make,
// from one read instead of two (an array's bounds pass was a third of its
// fit; text's kept points cost fresh memory, which on some machines costs
// more than parsing). A guess is made only where the part's extremes have
// settled, and the load gives it up as soon as a point falls outside it.
#pragma once

#include "field/load_request.h"
#include "field/kept_points.h"
#include "field/sources/data_description.h"

// The bytes of points in a file a fit may guess the range of: an array's
// records; a plain text file's size, where the load neither keeps its
// points for the caller nor reads a weight or a value (a fit reads x and y
// alone, and its bounds are those of lines short of the others too). 0 for
// any other.
unsigned long long guessed_bytes(const LoadRequest& request, const DataDescription& description,
                                 const Columns& columns);

// A fit by a guessed range: false where none was made or the load gave it
// up, for a fit with a bounds pass; true where the result is the load's (a
// field, a failure or a stop). Text whose extremes move on keeps its points
// in `store` (for `key`), where it is given.
bool load_in_guessed_range(const LoadRequest& request, const LoadWatch& watch, const DataDescription& description,
                           unsigned long long bytes, KeptPoints* store, const KeptPointsKey* key, LoadedField& result);
