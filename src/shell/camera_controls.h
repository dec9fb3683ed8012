// The camera steered from the main window: the six camera keys, a drag in
// the render area and its wheel. Every change goes through the panel's
// camera spin controls and then send_camera, as the spin arrows do; each
// leaves the map view for the camera's.
#pragma once

#include "platform/win32/windows.h"
#include "shell/app_state.h"

// A spin control's position as a signed number.
int read_spin(HWND dialog, int id);
// The panel's camera to the renderer, then a repaint.
void send_camera(HWND panel);

// The key command `command` (IDM_AZIMUTH_DOWN ... IDM_FARTHER); others do
// nothing.
void camera_key(AppState* state, int command);
// The distance that frames the whole surface, its labels and the scale in
// the render area, for the camera's angles (F).
void fit_camera(AppState* state);

// The azimuth `azimuth` turned by `degrees` (either sign), kept to 0..360 as
// the keys keep it: turning down never gives 360, turning up never 0.
int turn_azimuth(int azimuth, int degrees);

// A drag with the left button from `at` (render-area client coordinates):
// the render area takes the mouse until the drag ends.
void start_camera_drag(AppState* state, POINT at);
// The pointer now at `at`; `button_down` false ends a drag whose release
// went elsewhere.
void drag_camera(AppState* state, POINT at, bool button_down);
void end_camera_drag(AppState* state);
// The render area lost the mouse: the drag is over.
void drop_camera_drag(AppState* state);
// `delta` wheel units (WHEEL_DELTA a notch, forward positive).
void wheel_camera(AppState* state, int delta);
