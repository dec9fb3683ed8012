// What the scene is seen through, read from the renderer's state: the
// eye and projection of the map or the camera, the frame the axes leave,
// and the view set on the device. The batches, the pick of a pixel and the
// frame all read the scene this one way.
#pragma once

#include "platform/d3d9/d3d9.h"
#include "render/renderer_state.h"
#include "render/scene/camera.h"
#include "render/text/map_frame.h"

// Whether the axes, the height scale and the status line are drawn: the
// overlay's batch is shown then, and the scene framed in what they leave.
bool axes_shown(const RendererState& state);
// The view and projection of the camera or the map, after a change of
// either, of the picture's options or of the field's range.
HRESULT apply_view(RendererState* state);
// What the scene is seen through: the map's or the camera's eye, and the
// projection for a back buffer of that size; the back buffer's size, false
// without one.
Matrix4 scene_projection(const RendererState& s, unsigned width, unsigned height);
CameraVectors scene_eye(const RendererState& s);
bool scene_size(const RendererState& s, unsigned* width, unsigned* height);
// What shapes the map's frame: the scale's foot, log axes, equal units.
MapShape scene_map_shape(const RendererState& s);
// Whether the heights and colours run from the least node to the
// greatest: for means, and for sums of weights with one below zero (up
// from zero, those would look like nothing there).
bool levels_from_least(const FieldView& view);
// Whether the heights are on a log scale: never where they run from the least.
bool scale_is_log(const RendererState& s);
