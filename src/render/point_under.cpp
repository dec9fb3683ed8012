// What a pixel of the picture shows: the map's square read straight from
// its frame, the camera's surface through the pick of the drawn cells; and
// the nearest node's count and height.
#include "render/point_under.h"

#include <algorithm>
#include <cmath>

#include "render/renderer_state.h"
#include "render/scene/node_heights.h"
#include "render/scene/surface_pick.h"
#include "render/scene_view.h"
#include "render/text/map_frame.h"

namespace {

// The box's edges lie half a pixel outside the square's outer pixel
// centres (map_projection), y growing up the picture.
void map_point(const RendererState& s, unsigned width, unsigned height, int x, int y, PointUnder* point)
{
    const MapFrame frame =
        map_frame(width, height, s.view.range, s.top_weight, scale_is_log(s), s.picture.show_axes, scene_map_shape(s));
    point->u = (x - frame.x0 + 0.5) / double(frame.x1 - frame.x0);
    point->v = 1.0 - (y - frame.y0 + 0.5) / double(frame.y1 - frame.y0);
    point->on_surface = frame.x0 <= x && x < frame.x1 && frame.y0 <= y && y < frame.y1;
}

void read_node(const RendererState& s, PointUnder* point)
{
    const int nx = s.view.nx, ny = s.view.ny;
    point->node_i = std::clamp(int(std::lround(point->u * (nx - 1))), 0, nx - 1);
    point->node_j = std::clamp(int(std::lround(point->v * (ny - 1))), 0, ny - 1);
    const size_t k = size_t(point->node_j) * size_t(nx) + size_t(point->node_i);
    const double drawn = s.heights ? s.heights[k] : s.view.nodes[k];
    if (s.view.measure != NodeMeasure::count)
        point->measure = s.scale_title ? s.scale_title : "";
    if (levels_from_least(s.view)) {
        // A mean (NaN where it has none) or a sum is its own height: neither is smoothed.
        point->count = point->height = s.view.nodes[k] * (s.view.measure == NodeMeasure::mean ? 1.0 : s.view.max);
        return;
    }
    point->count = s.view.nodes[k] * s.view.max;
    point->height = s.picture.log_scale ? weight_at_log_height(drawn, s.top_weight) : drawn * s.top_weight;
}

} // namespace

bool point_under(RendererState* s, int x, int y, PointUnder* point)
{
    unsigned width = 0, height = 0;
    if (!point || !s->field || !s->view.nodes || s->view.nx < 2 || s->view.ny < 2 || !scene_size(*s, &width, &height))
        return false;
    *point = PointUnder{};
    point->range = s->view.range;
    if (s->picture.map_view) {
        map_point(*s, width, height, x, y, point);
    } else {
        const CameraVectors eye = scene_eye(*s);
        const NodeGrid drawn{s->view.nx, s->view.ny, s->heights ? s->heights : s->view.nodes};
        const SurfaceHit hit =
            surface_point_at(build_view_matrix(eye.eye, eye.at, eye.up), scene_projection(*s, width, height), width,
                             height, drawn, float(x), float(y));
        if (!hit.found)
            return false;
        point->on_surface = true;
        point->u = hit.u;
        point->v = hit.v;
    }
    const Range& r = s->view.range;
    // On a log axis the part is of the logarithm's span.
    const auto along = [](double low, double high, double part, bool log) {
        return log ? low * std::pow(high / low, part) : low + part * (high - low);
    };
    point->x = along(r.x_min, r.x_max, point->u, s->view.log_x);
    point->y = along(r.y_min, r.y_max, point->v, s->view.log_y);
    read_node(*s, point);
    return true;
}
