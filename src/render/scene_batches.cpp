// The scene's batches on the renderer: each built from the field (and the
// marker) by its scene writer, and set_field and set_marker that rebuild them.
#include "render/renderer_state.h"

namespace {

// Width, height and nodes, asked for in that order.
NodeGrid read_grid(DensityField* field)
{
    NodeGrid grid;
    grid.nx = field->ops.width(field);
    grid.ny = field->ops.height(field);
    grid.nodes = field->ops.data(field);
    return grid;
}

bool always(const RendererState&) { return true; }

bool while_marked(const RendererState& s) { return s.marker_on != 0; }

void build_surface(RendererState* s, DrawBatch* batch) { upload_surface(batch, s->device, read_grid(s->field)); }

void build_grid_lines(RendererState* s, DrawBatch* batch) { upload_grid_lines(batch, s->device, read_grid(s->field)); }

void build_marker(RendererState* s, DrawBatch* batch)
{
    upload_marker(batch, s->device, read_grid(s->field), s->marker_pos);
}

} // namespace

const BatchEntry kSceneBatches[kBatchCount] = {
    {always, build_surface, false},
    // The overlays are built even when the surface could not be.
    {always, build_grid_lines, false},
    {while_marked, build_marker, false},
    {axes_shown, build_overlay, true},
};

void set_field(Renderer* renderer, DensityField* field)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return;
    s->field = field;
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

void set_marker(Renderer* renderer, const MarkerPair* pair)
{
    RendererState* s = renderer_state(renderer);
    if (!s)
        return;
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

void set_picture_options(Renderer* renderer, const PictureOptions* options)
{
    RendererState* s = renderer_state(renderer);
    if (!s || !options)
        return;
    s->picture = *options;
    if (s->field)
        set_field(renderer, s->field);
}
