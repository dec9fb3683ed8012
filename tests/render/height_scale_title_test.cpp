#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "render/height_scale_title.h"
#include "resources/texts.h"

namespace {

std::string said(TextId format, const char* column)
{
    char text_said[256];
    std::snprintf(text_said, sizeof text_said, text(format), column);
    return text_said;
}

// The scale names the summed or averaged column by the header's name, by
// its number where the file has no header, and nothing for counts.
TEST(HeightScaleTitle, NamesTheColumnSummedOrAveraged)
{
    struct Case {
        NodeMeasure measure;
        const char* weight_name;
        const char* value_name;
        int weight, value;
        std::string title;
    } cases[] = {
        {NodeMeasure::count, "", "", 0, 0, ""},
        {NodeMeasure::weight, "population", "", 3, 0, said(TextId::scale_sum_format, "population")},
        {NodeMeasure::weight, "", "", 3, 0, said(TextId::scale_sum_format, "column 3")},
        {NodeMeasure::mean, "population", "delay", 3, 4, said(TextId::scale_mean_format, "delay")},
        {NodeMeasure::mean, "", "", 0, 7, said(TextId::scale_mean_format, "column 7")},
    };
    for (const Case& c : cases) {
        LoadedField loaded;
        loaded.measure = c.measure;
        loaded.columns.weight_name = c.weight_name;
        loaded.columns.value_name = c.value_name;
        loaded.columns.columns.weight = c.weight;
        loaded.columns.columns.value = c.value;
        EXPECT_EQ(height_scale_title(loaded), c.title) << c.title;
    }
}

} // namespace
