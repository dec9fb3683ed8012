#include "field/point_reader.h"

#include <clocale>
#include <locale.h>
#include <vector>

void read_points(std::FILE* stream, int skip_lines, PointSink sink)
{
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t previous = uselocale(c_locale);

    char line[1024];
    for (int i = 0; i < skip_lines; ++i)
        if (!std::fgets(line, sizeof line, stream))
            break;

    std::vector<Point> batch;
    batch.reserve(4096);
    while (std::fgets(line, sizeof line, stream)) {
        Point p;
        if (std::sscanf(line, "%lf %lf", &p.x, &p.y) != 2)
            continue;
        batch.push_back(p);
        if (batch.size() == batch.capacity()) {
            sink.take(sink.context, batch.data(), batch.size());
            batch.clear();
        }
    }
    if (!batch.empty())
        sink.take(sink.context, batch.data(), batch.size());
    uselocale(previous);
}
