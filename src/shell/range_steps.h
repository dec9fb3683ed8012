// The record of the ranges the plot has shown, which the application's
// state holds; range_history.h walks it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "field/density_field.h"
#include "field/range.h"

struct RangeStep {
    std::string path; // the data file or the database's address
    Range range;
    int binning;         // the rule and the log axes it was binned with, as binned_as gives them
    DensityField* field; // owned; kept while another step is shown, else null
};

struct RangeHistory {
    std::vector<RangeStep> steps;
    size_t at = 0;      // the step shown; steps is empty before the first load
    long going_to = -1; // a step being loaded again, while back or forward reads it
};
