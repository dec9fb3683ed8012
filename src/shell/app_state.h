// The shell's record of one main window: its windows, what it owns and the
// settings. The same pointer sits in GWL_USERDATA of the main window, the
// panel and the render area.
#pragma once

#include <string>

#include "field/density_field.h"
#include "field/kept_points.h"
#include "field/sources/point_reader.h"
#include "platform/win32/windows.h"
#include "render/renderer.h"
#include "shell/range_steps.h"
#include "shell/settings.h"

// The camera under the mouse: a drag in progress and the motion not yet
// worth a whole step.
struct MouseCamera {
    bool dragging;
    POINT last;     // where the pointer was at the last step of the drag
    int turn_rest;  // horizontal motion short of a degree, in 1/width degrees
    int tilt_rest;  // vertical motion likewise
    int wheel_rest; // wheel motion short of a notch
};

// A rectangle being dragged out over the map, from where the button went down.
struct ZoomBand {
    bool on;
    POINT from, to;
};

struct AppState {
    HWND main_window;
    HWND panel;
    HWND render_area;
    WNDPROC old_render_area_proc; // the render area's own procedure
    Renderer* renderer;           // owned
    DensityField* field;          // owned; null until a data file was loaded
    char data_file[kPathBytes];   // the file it was loaded from; empty before
    Settings settings;
    MouseCamera mouse;
    ZoomBand band;
    std::string readout; // what the status line says of the point under the pointer
    RangeHistory history;
    // The columns last chosen for a data file's header, and that header's
    // names; empty until a header of more than two columns was met.
    std::string column_header;
    Columns chosen_columns;
    HWND database_dialog; // the address being typed; null when not open
    // The password typed in that dialog, kept for this session only so
    // that loading again asks no more: never saved, shown or logged.
    std::string database_password;
    // The points of the file shown, where they fit in memory: a zoom or a
    // step back bins them instead of reading the file again.
    KeptPoints kept_points;
};

// The record attached to one of the three windows, or null.
inline AppState* app_state_of(HWND window)
{
    return reinterpret_cast<AppState*>(GetWindowLongPtrA(window, GWL_USERDATA));
}
