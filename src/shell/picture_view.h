// The picture the render area shows, as the settings ask for it: what the
// picture menu, the camera and the panel change, given to the renderer.
#pragma once

#include "render/scene/picture_options.h"
#include "shell/app_state.h"

// The settings' picture as the renderer takes it.
PictureOptions picture_options(const Settings& settings);

// Gives the renderer the settings' picture and redraws it.
void apply_picture_options(AppState* state);

// Back to the camera's view where the map was shown: steering the camera
// leaves the map. Nothing otherwise.
void leave_map_view(AppState* state);
