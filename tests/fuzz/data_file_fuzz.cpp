// Random files through the whole reading path: plain, gzip or Zstandard
// (picked by the first byte, as are the columns), read for points, for
// their bounds and into the field. No crash, no read past the input, memory
// bounded by stopping any file after 16 MB of text (a small compressed file
// can inflate to terabytes), and every point inside the fitted range.
// Arrays and tables of cell sums come in by their first bytes, as any file
// does. data_file_seeds/ holds a start of each kind, each seed that first
// byte and then the file.
#include <cmath>
#include <limits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "field/sources/data_description.h"
#include "field/sources/data_file.h"
#include "field/field_loader.h"
#include "field/plot_range.h"
#include "field/sources/point_reader.h"

namespace {

const char* const kSuffixes[] = {".txt", ".gz", ".zst"};

struct Budget {
    int blocks = 16;
    static bool go_on(void* context) { return --static_cast<Budget*>(context)->blocks > 0; }
};

std::string write_temp(const uint8_t* data, size_t size, const char* suffix)
{
    std::string path = "/dev/shm/varnel-fuzz-" + std::to_string(getpid()) + suffix;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        std::abort();
    if (size)
        std::fwrite(data, 1, size, out);
    std::fclose(out);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int kind = data[0] % 3;
    const Columns columns = (data[0] & 0x10) ? Columns{3, 1} : Columns{};
    const std::string path = write_temp(data + 1, size - 1, kSuffixes[kind]);

    DataBounds bounds;
    {
        DataFileMeter meter;
        Budget budget;
        std::FILE* in = open_data_file(path.c_str(), &meter);
        if (!in)
            std::abort();
        bounds = read_data_bounds(in, 0, columns, ReadWatch{Budget::go_on, &budget});
        if (meter.done < 0 || meter.done > meter.size)
            std::abort();
        std::fclose(in);
    }
    if (bounds.points > bounds.read.points)
        std::abort();
    Range range;
    const Range& b = bounds.range;
    if (fitted_range(bounds, &range)) {
        const bool holds =
            range.x_min <= b.x_min && b.x_max < range.x_max && range.y_min <= b.y_min && b.y_max < range.y_max;
        // Points past a quarter of the largest double are fitted as if there.
        const double far = std::numeric_limits<double>::max() / 4;
        const bool limited = std::fabs(b.x_min) >= far || std::fabs(b.x_max) >= far || std::fabs(b.y_min) >= far ||
            std::fabs(b.y_max) >= far;
        if (!holds && !limited)
            std::abort();
    }

    Budget budget;
    LoadRequest request;
    request.path = path;
    request.columns.numbers = columns;
    request.columns.chosen = true;
    request.range = Range{0, 4000, 0, 4000};
    const LoadedField loaded = load_field(request, LoadWatch{nullptr, ReadWatch{Budget::go_on, &budget}});
    if (loaded.ok()) {
        DataDescription description;
        std::string problem;
        std::FILE* described = open_described(path.c_str(), 0, nullptr, &description, &problem);
        if (!described)
            std::abort();
        std::fclose(described);
        const FieldCounts& counts = loaded.counts;
        if (counts.in_range > counts.points ||
            (description.kind == DataKind::array && counts.points > static_cast<long long>(description.layout.records)))
            std::abort();
        // Text read again for its bounds, in the columns the load found
        // (the bounds above took any two numbers), meets the same points.
        if (description.kind == DataKind::text && !counts.stopped) {
            DataBounds again;
            read_loaded_bounds(request, loaded, &again);
            if (again.read.points != counts.points)
                std::abort();
        }
    }
    unlink(path.c_str());
    return 0;
}
