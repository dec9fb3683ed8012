#include "field/peak_region.h"

#include <algorithm>
#include <vector>

bool peak_region(const FieldView& view, Range* region)
{
    const int nx = view.nx, ny = view.ny;
    if (!view.nodes || nx < 2 || ny < 2)
        return false;
    const size_t count = size_t(nx) * size_t(ny);
    const size_t top = size_t(std::max_element(view.nodes, view.nodes + count) - view.nodes);
    const double half = view.nodes[top] / 2;
    if (!(view.nodes[top] > 0))
        return false;
    // A flood from the top through the nodes at half height or more.
    std::vector<char> seen(count, 0);
    std::vector<size_t> waiting{top};
    seen[top] = 1;
    int i0 = nx, i1 = -1, j0 = ny, j1 = -1;
    while (!waiting.empty()) {
        const size_t k = waiting.back();
        waiting.pop_back();
        const int i = int(k % size_t(nx)), j = int(k / size_t(nx));
        i0 = std::min(i0, i), i1 = std::max(i1, i), j0 = std::min(j0, j), j1 = std::max(j1, j);
        const int next[4][2] = {{i - 1, j}, {i + 1, j}, {i, j - 1}, {i, j + 1}};
        for (const auto& [a, b] : next) {
            if (a < 0 || a >= nx || b < 0 || b >= ny)
                continue;
            const size_t n = size_t(b) * size_t(nx) + size_t(a);
            if (!seen[n] && view.nodes[n] >= half) {
                seen[n] = 1;
                waiting.push_back(n);
            }
        }
    }
    const Range& r = view.range;
    const double cell_x = (r.x_max - r.x_min) / (nx - 1), cell_y = (r.y_max - r.y_min) / (ny - 1);
    *region = Range{r.x_min + std::max(0, i0 - 1) * cell_x, r.x_min + std::min(nx - 1, i1 + 1) * cell_x,
                    r.y_min + std::max(0, j0 - 1) * cell_y, r.y_min + std::min(ny - 1, j1 + 1) * cell_y};
    // The far ends exactly, as the rounding of the steps may miss them.
    if (i1 + 1 >= nx - 1)
        region->x_max = r.x_max;
    if (j1 + 1 >= ny - 1)
        region->y_max = r.y_max;
    return true;
}
