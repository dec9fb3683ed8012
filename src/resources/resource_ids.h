// Ids of the program's resources, controls and commands: one list for the
// templates, the shell and the tests.
#pragma once

// Resources of the program's module.
enum : int {
    IDI_VARNEL = 101, // the window icon
    IDD_MAIN = 102,   // the main window
    IDD_PANEL = 103,  // the control panel
};
#define ACCELERATOR_TABLE_NAME "VARNEL_ACCELERATOR"

// Controls nobody asks for (labels, group boxes).
#define IDC_STATIC 0xFFFF

// Controls of the panel, the render area of the main window, and the
// commands of the camera keys.
enum : int {
    IDC_X_MIN_EDIT = 1002,
    IDC_X_MAX_EDIT = 1003,
    IDC_LOAD_DATA = 1004,
    IDC_X_MIN_SPIN = 1005,
    IDC_X_MAX_SPIN = 1006,
    IDC_Y_MIN_EDIT = 1007,
    IDC_Y_MAX_EDIT = 1008,
    IDC_Y_MIN_SPIN = 1009,
    IDC_Y_MAX_SPIN = 1010,
    IDC_LOAD_TEXTURE = 1011,
    IDC_RADIUS_EDIT = 1012,
    IDC_RADIUS_SPIN = 1013,
    IDC_AZIMUTH_EDIT = 1014,
    IDC_AZIMUTH_SPIN = 1015,
    IDC_ELEVATION_EDIT = 1016,
    IDC_ELEVATION_SPIN = 1017,
    IDC_RENDER_AREA = 1018,
    IDC_CLEAR_TEXTURE = 1019,
    IDM_AZIMUTH_DOWN = 1020,   // H
    IDM_AZIMUTH_UP = 1021,     // L
    IDM_ELEVATION_UP = 1022,   // K
    IDM_ELEVATION_DOWN = 1023, // J
    IDM_NEARER = 1024,         // S
    IDM_FARTHER = 1025,        // X
    IDC_X_MARKER_EDIT = 1026,
    IDC_X_MARKER_SPIN = 1027,
    IDC_Y_MARKER_EDIT = 1028,
    IDC_Y_MARKER_SPIN = 1029,
    IDC_SET_MARKER = 1030,
    IDC_CLEAR_MARKER = 1031,
    IDM_SAVE_PICTURE = 1032,     // the render area's context menu
    IDM_FIT_RANGE = 1033,        // likewise
    IDC_LOAD_PROGRESS = 1034,    // the bar of the progress dialog
    IDM_OPEN_DATABASE = 1035,    // the render area's context menu
    IDC_DATABASE_ADDRESS = 1036, // the address typed in its dialog
    // The password typed in the same dialog, hidden.
    IDC_DATABASE_PASSWORD = 1037,
    IDM_OPEN_DATA_FILE = 1038, // the render area's context menu
    // The picture's choices in the same menu: a colour map each (in the
    // order of ColourMap), a smoothing width each (in the order of
    // kSmoothingChoices), and three on/off items.
    IDM_COLOUR_MAP_FIRST = 1040,
    IDM_SMOOTHING_FIRST = 1050,
    IDM_LOG_SCALE = 1060,
    IDM_TEXTURE_ONLY = 1061,
    IDM_SHOW_AXES = 1062,
    IDM_CLASSIC_BINNING = 1063,
    IDM_MAP_VIEW = 1064,
    IDM_LOG_X = 1065,
    IDM_LOG_Y = 1066,
    IDM_EQUAL_ASPECT = 1067,
    IDM_FIT_CAMERA = 1080,    // F, and the render area's context menu
    IDM_ZOOM_TO_PEAK = 1081,  // P, and the same menu
    IDM_RANGE_BACK = 1082,    // Alt+Left (and Backspace), and the same menu
    IDM_RANGE_FORWARD = 1083, // Alt+Right, and the same menu
    // The lists of the dialog that picks a data file's columns.
    IDC_X_COLUMN = 1070,
    IDC_Y_COLUMN = 1071,
    IDC_HEIGHT_MEASURE = 1072, // the count, or the sum or mean of a column
};
