#include "shell/picture_view.h"

PictureOptions picture_options(const Settings& settings)
{
    PictureOptions options;
    options.colour_map = static_cast<ColourMap>(settings.colour_map);
    options.smoothing_cells = settings.smoothing;
    options.log_scale = settings.log_scale != 0;
    options.texture_only = settings.texture_only != 0;
    options.show_axes = settings.show_axes != 0;
    options.map_view = settings.map_view != 0;
    options.equal_aspect = settings.equal_aspect != 0;
    return options;
}

void leave_map_view(AppState* state)
{
    if (!state->settings.map_view)
        return;
    state->settings.map_view = 0;
    apply_picture_options(state);
}

void apply_picture_options(AppState* state)
{
    const PictureOptions options = picture_options(state->settings);
    state->renderer->ops.set_picture_options(state->renderer, &options);
    InvalidateRect(state->render_area, nullptr, FALSE);
}
