// The scene's batches on the renderer: each built from the field (and the
// marker) by its scene writer, and set_field and set_marker that rebuild them.
#include <algorithm>
#include <cstdlib>

#include "render/renderer_state.h"
#include "render/scene/node_heights.h"
#include "render/scene_view.h"

namespace {

NodeGrid field_grid(const FieldView& view) { return NodeGrid{view.nx, view.ny, view.nodes}; }

// What every batch is built from: the heights, where the options made any.
NodeGrid read_grid(RendererState* s)
{
    NodeGrid grid = field_grid(s->view);
    if (s->heights)
        grid.nodes = s->heights;
    return grid;
}

// The levels of nodes drawn from their least to their greatest: means in
// their own units, sums of weights over the greatest absolute one, whose
// greatest is then the scale's top.
bool write_least_levels(RendererState* s, const NodeGrid& nodes, std::span<double> levels)
{
    if (s->view.measure == NodeMeasure::mean)
        return write_mean_levels(levels, nodes, s->view.least, s->view.max);
    const double greatest = *std::max_element(nodes.nodes, nodes.nodes + levels.size());
    s->top_weight = greatest * s->view.max;
    return write_mean_levels(levels, nodes, s->view.least / s->view.max, greatest);
}

// The heights for the field and the options; none when the options leave
// the nodes as they are, or when there is no memory for them (the nodes
// are drawn as they are then).
void make_heights(RendererState* s)
{
    std::free(s->heights);
    s->heights = nullptr;
    s->top_weight = s->field ? s->view.max : 0.0;
    s->auto_smoothing_cells = 0;
    // Means, and sums of weights with one below zero, are drawn from their
    // least to their greatest, neither smoothed nor on a log scale: both
    // would blend values with the nodes that have none, or have no
    // logarithm.
    const bool from_least = levels_from_least(s->view);
    if (!s->field || (!from_least && !heights_differ(s->picture)))
        return;
    const NodeGrid nodes = field_grid(s->view);
    if (!nodes.nodes || nodes.nx <= 0 || nodes.ny <= 0)
        return;
    const size_t count = size_t(nodes.nx) * size_t(nodes.ny);
    auto* heights = static_cast<double*>(std::malloc(count * sizeof(double)));
    double smoothing_cells = 0;
    if (heights && from_least && write_least_levels(s, nodes, {heights, count})) {
        s->heights = heights;
    } else if (heights && !from_least &&
               write_heights({heights, count}, nodes, s->view.max, s->picture, &s->top_weight, &smoothing_cells)) {
        s->heights = heights;
        // Kept for the status line, which is laid out again on every camera move.
        if (s->picture.smoothing_cells == kSmoothingAuto)
            s->auto_smoothing_cells = smoothing_cells;
    } else {
        std::free(heights);
    }
}

bool always(const RendererState&) { return true; }

bool while_marked(const RendererState& s) { return s.marker_on != 0; }

// The grid lines stand at tenths of the range, not at the map's round
// ticks, and would read as ticks there: the map has its edges ticked and
// framed instead.
bool in_the_camera_view(const RendererState& s) { return !s.picture.map_view; }

void build_surface(RendererState* s, DrawBatch* batch)
{
    upload_surface(batch, s->device, read_grid(s), s->picture.colour_map, levels_from_least(s->view));
}

void build_grid_lines(RendererState* s, DrawBatch* batch) { upload_grid_lines(batch, s->device, read_grid(s)); }

void build_marker(RendererState* s, DrawBatch* batch) { upload_marker(batch, s->device, read_grid(s), s->marker_pos); }

} // namespace

const BatchEntry kSceneBatches[kBatchCount] = {
    {always, build_surface, false},
    // The overlays are built even when the surface could not be.
    {in_the_camera_view, build_grid_lines, false},
    {while_marked, build_marker, false},
    {axes_shown, build_overlay, true},
};

void set_field(RendererState* s, DensityField* field)
{
    s->field = field;
    s->view = density_field_view(field);
    make_heights(s);
    apply_view(s); // the map's square follows its labels: the range's and the scale's
    for (int k = 0; k < kBatchCount; ++k) {
        if (!field)
            // The field is gone: nothing may be built from it again. The
            // surface keeps its texture for the next field.
            empty_geometry(&s->batches[k]);
        else if (kSceneBatches[k].shown(*s))
            kSceneBatches[k].build(s, &s->batches[k]);
    }
}

void rebuild_screen_batches(RendererState* s)
{
    if (!s->field)
        return;
    for (int k = 0; k < kBatchCount; ++k)
        if (kSceneBatches[k].on_screen && kSceneBatches[k].shown(*s))
            kSceneBatches[k].build(s, &s->batches[k]);
}

void set_marker(RendererState* s, const MarkerPair* pair)
{
    if (!pair) {
        s->marker_on = 0;
        s->marker_pos = MarkerPair{0.0, 0.0};
        release_batch(&s->batches[kMarkerBatch]);
        return;
    }
    s->marker_on = 1;
    s->marker_pos = *pair;
    if (s->field)
        build_marker(s, &s->batches[kMarkerBatch]);
}

void set_picture_options(RendererState* s, const PictureOptions* options)
{
    if (!options)
        return;
    s->picture = *options;
    apply_view(s); // the map, or the frame the axes leave
    if (s->field)
        set_field(s, s->field);
}
