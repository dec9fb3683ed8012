// Random bytes through the data-file reader: no crash, no read past the
// input, and exactly the points fgets+sscanf would take from them, one
// comma or semicolon allowed between the two numbers.
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <vector>

#include "field/density_field.h"
#include "field/sources/point_reader.h"

namespace {

std::FILE* open_bytes(const uint8_t* data, size_t size)
{
    // fmemopen refuses an empty buffer; an empty file is a fresh tmpfile.
    if (size == 0)
        return std::tmpfile();
    return fmemopen(const_cast<uint8_t*>(data), size, "r");
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    int skip = size > 0 ? data[0] % 4 : 0;

    std::vector<Point> want;
    if (std::FILE* in = open_bytes(data, size)) {
        locale_t previous = uselocale(c_locale);
        char line[1024];
        for (int i = 0; i < skip && std::fgets(line, sizeof line, in); ++i) {}
        // sscanf's two numbers, but that one comma or semicolon may stand
        // between them, as in a comma-separated file.
        while (std::fgets(line, sizeof line, in)) {
            Point p;
            int after_x = 0, after_gap = 0;
            if (std::sscanf(line, "%lf %n", &p.x, &after_x) != 1)
                continue;
            const char* rest = line + after_x;
            if (*rest == ',' || *rest == ';')
                ++rest;
            if (std::sscanf(rest, " %n%lf", &after_gap, &p.y) == 1)
                want.push_back(p);
        }
        uselocale(previous);
        std::fclose(in);
    }

    std::vector<Point> got;
    if (std::FILE* in = open_bytes(data, size)) {
        read_points(in, skip,
                    PointSink{[](void* context, const Point* points, std::size_t count) {
                                  auto* out = static_cast<std::vector<Point>*>(context);
                                  out->insert(out->end(), points, points + count);
                              },
                              &got});
        std::fclose(in);
    }
    if (got.size() != want.size())
        std::abort();
    for (size_t i = 0; i < got.size(); ++i)
        if (!same(got[i].x, want[i].x) || !same(got[i].y, want[i].y))
            std::abort();

    if (std::FILE* in = open_bytes(data, size)) {
        DensityField* field = create_density_field(Range{0, 4000, 0, 4000});
        field->ops.load(field, in, skip);
        const double* nodes = field->ops.data(field);
        for (int k = 0; k < 201 * 201; ++k)
            if (!(nodes[k] >= 0.0 && nodes[k] <= 1.0))
                std::abort();
        field->ops.destroy(field);
        std::fclose(in);
    }
    return 0;
}
