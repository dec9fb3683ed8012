#include "shell/camera_controls.h"

#include <algorithm>
#include <cstddef>

#include "render/text/camera_fit.h"
#include "resources/resource_ids.h"
#include "settings/settings.h"
#include "shell/picture_view.h"

namespace {

// Held to the range the settings keep each value in.
int held(int value, size_t member)
{
    const SettingRow& row = setting_row_at(member);
    return std::clamp(value, int(row.lower), int(row.upper));
}

int raise_elevation(int elevation, int degrees) { return held(elevation + degrees, offsetof(Settings, elevation)); }

int move_out(int radius, int steps) { return held(radius + 5 * steps, offsetof(Settings, radius)); }

// The six camera keys: which spin control each steps, and how.
struct CameraKey {
    int command;
    int control;
    int (*step)(int position);
};

const CameraKey kCameraKeyRules[] = {
    {IDM_AZIMUTH_DOWN, IDC_AZIMUTH_SPIN, [](int a) { return turn_azimuth(a, -5); }},
    {IDM_AZIMUTH_UP, IDC_AZIMUTH_SPIN, [](int a) { return turn_azimuth(a, 5); }},
    {IDM_ELEVATION_UP, IDC_ELEVATION_SPIN, [](int e) { return raise_elevation(e, 5); }},
    {IDM_ELEVATION_DOWN, IDC_ELEVATION_SPIN, [](int e) { return raise_elevation(e, -5); }},
    {IDM_NEARER, IDC_RADIUS_SPIN, [](int r) { return move_out(r, -1); }},
    {IDM_FARTHER, IDC_RADIUS_SPIN, [](int r) { return move_out(r, 1); }},
};

void set_spin(HWND panel, int control, int position)
{
    SendDlgItemMessageA(panel, control, UDM_SETPOS, 0, MAKELPARAM(position, 0));
}

// Whole units in `amount` at `per_unit` a unit, with what is left over from
// the last motion; what is left now stays in `rest`, so that slow motion
// still adds up. Either sign; the rest keeps the sign of the motion.
int whole_units(long long amount, int per_unit, int* rest)
{
    long long total = *rest + amount;
    long long units = total / per_unit;
    *rest = static_cast<int>(total - units * per_unit);
    return static_cast<int>(std::clamp<long long>(units, -1000000, 1000000));
}

} // namespace

int read_spin(HWND dialog, int id)
{
    return static_cast<SHORT>(LOWORD(SendDlgItemMessageA(dialog, id, UDM_GETPOS, 0, 0)));
}

void send_camera(HWND panel)
{
    AppState* state = app_state_of(panel);
    if (!state)
        return;
    CameraSetting camera;
    camera.radius = read_spin(panel, IDC_RADIUS_SPIN);
    camera.azimuth = read_spin(panel, IDC_AZIMUTH_SPIN);
    camera.elevation = read_spin(panel, IDC_ELEVATION_SPIN);
    state->renderer->ops.set_camera(state->renderer, &camera);
    InvalidateRect(state->render_area, nullptr, FALSE);
}

int turn_azimuth(int azimuth, int degrees)
{
    int turned = azimuth + degrees;
    if (degrees < 0)
        return turned >= 0 ? turned : (turned % 360 + 360) % 360;
    return turned <= 360 ? turned : 1 + (turned - 1) % 360;
}

void fit_camera(AppState* state)
{
    RECT area;
    GetClientRect(state->render_area, &area);
    const int width = std::max<int>(1, area.right - area.left), height = std::max<int>(1, area.bottom - area.top);
    leave_map_view(state);
    HWND panel = state->panel;
    set_spin(panel, IDC_RADIUS_SPIN,
             fitted_camera_radius(read_spin(panel, IDC_AZIMUTH_SPIN), read_spin(panel, IDC_ELEVATION_SPIN),
                                  unsigned(width), unsigned(height)));
    send_camera(panel);
}

void camera_key(AppState* state, int command)
{
    if (command == IDM_FIT_CAMERA) {
        fit_camera(state);
        return;
    }
    for (const CameraKey& key : kCameraKeyRules) {
        if (key.command != command)
            continue;
        // Even a key held at its end (K at 90 degrees) leaves the map.
        leave_map_view(state);
        set_spin(state->panel, key.control, key.step(read_spin(state->panel, key.control)));
        send_camera(state->panel);
        return;
    }
}

void start_camera_drag(AppState* state, POINT at)
{
    SetCapture(state->render_area);
    state->mouse.dragging = true;
    state->mouse.last = at;
    state->mouse.turn_rest = 0;
    state->mouse.tilt_rest = 0;
}

// One degree per width / 360 pixels: across the render area is one full
// turn. Grabbed, the surface follows the pointer: dragging right turns its
// near side to the right, which takes the camera the other way round (the
// azimuth goes down, as with H), and dragging up tips its near side up,
// which raises the camera (as K does).
void drag_camera(AppState* state, POINT at, bool button_down)
{
    MouseCamera& mouse = state->mouse;
    if (!mouse.dragging)
        return;
    if (!button_down) {
        end_camera_drag(state);
        return;
    }
    RECT area;
    GetClientRect(state->render_area, &area);
    int turn_pixels = std::max<int>(1, area.right - area.left);
    int turn = -whole_units(360LL * (at.x - mouse.last.x), turn_pixels, &mouse.turn_rest);
    int tilt = whole_units(360LL * (mouse.last.y - at.y), turn_pixels, &mouse.tilt_rest);
    mouse.last = at;
    if (turn != 0 || tilt != 0)
        leave_map_view(state);

    HWND panel = state->panel;
    int azimuth = read_spin(panel, IDC_AZIMUTH_SPIN);
    int elevation = read_spin(panel, IDC_ELEVATION_SPIN);
    int new_azimuth = turn_azimuth(azimuth, turn);
    int new_elevation = raise_elevation(elevation, tilt);
    // Pushed past 0 or 90, the elevation keeps no motion in store: turning
    // back moves it at once.
    if (new_elevation != elevation + tilt)
        mouse.tilt_rest = 0;
    if (new_azimuth == azimuth && new_elevation == elevation)
        return;
    if (new_azimuth != azimuth)
        set_spin(panel, IDC_AZIMUTH_SPIN, new_azimuth);
    if (new_elevation != elevation)
        set_spin(panel, IDC_ELEVATION_SPIN, new_elevation);
    send_camera(panel);
}

void end_camera_drag(AppState* state)
{
    state->mouse.dragging = false;
    if (GetCapture() == state->render_area)
        ReleaseCapture();
}

void drop_camera_drag(AppState* state) { state->mouse.dragging = false; }

// A notch forward, away from the user, brings the camera nearer, as S does;
// backward moves it away, as X does.
void wheel_camera(AppState* state, int delta)
{
    int notches = whole_units(delta, WHEEL_DELTA, &state->mouse.wheel_rest);
    if (notches == 0)
        return;
    leave_map_view(state);
    HWND panel = state->panel;
    set_spin(panel, IDC_RADIUS_SPIN, move_out(read_spin(panel, IDC_RADIUS_SPIN), -notches));
    send_camera(panel);
}
