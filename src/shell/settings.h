// The settings the program keeps between runs: the folders of the last data
// and texture files, the plot range, the marker and the camera. They live
// in the registry key SETTINGS_KEY of the current user.
#pragma once

#include <cstdint>

#include "platform/win32/windef.h"

#define SETTINGS_KEY "Software\\kestrow\\varnel.exe"

struct Settings {
    char data_path[1024];    // folder of the last data file, with its trailing backslash
    char texture_path[1024]; // folder of the last texture file, likewise
    int32_t x_min;
    int32_t x_max;
    int32_t y_min;
    int32_t y_max;
    int32_t x_marker;
    int32_t y_marker;
    int32_t radius;    // 0 to 100
    int32_t azimuth;   // degrees, 0 to 360
    int32_t elevation; // degrees, 0 to 90
};

// Defaults, then every value the registry has for them.
void load_settings(Settings* settings);
// All eleven values; stops at the first write that fails.
void save_settings(Settings* settings);
// The nine integers into the panel's spin controls, and back.
void settings_to_panel(HWND panel, Settings* settings);
void panel_to_settings(Settings* settings, HWND panel);
