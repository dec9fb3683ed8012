#include "render/height_scale_title.h"

#include <cstdio>

#include "resources/texts.h"

std::string height_scale_title(const LoadedField& loaded)
{
    if (loaded.measure == NodeMeasure::count)
        return {};
    const bool mean = loaded.measure == NodeMeasure::mean;
    const std::string& column = mean ? loaded.columns.value_name : loaded.columns.weight_name;
    // A file without a header names its columns by number.
    const int number = mean ? loaded.columns.columns.value : loaded.columns.columns.weight;
    const std::string name = column.empty() ? "column " + std::to_string(number) : column;
    char title[512];
    std::snprintf(title, sizeof title, text(mean ? TextId::scale_mean_format : TextId::scale_sum_format), name.c_str());
    return title;
}
