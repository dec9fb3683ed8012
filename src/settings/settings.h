// The settings the program keeps between runs: the folders of the last data
// and texture files, the plot range, the marker and the camera. They live
// in the registry key SETTINGS_KEY of the current user, one value per
// member, named like the member. Plain data and the registry only: the
// tools read them without any window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/win32/winreg.h"

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
    // The picture, set from the render area's menu.
    int32_t colour_map;   // a ColourMap
    int32_t smoothing;    // cells: 0, 1, 2 or 4
    int32_t log_scale;    // 0 or 1
    int32_t texture_only; // 0 or 1
    int32_t show_axes;    // 0 or 1
};

// One stored setting. A path (REG_SZ) is stored with all the bytes of its
// member and starts empty; an integer (REG_DWORD) is held by a spin control
// of the panel while the program runs.
struct SettingRow {
    const char* name; // of the registry value and of the member
    size_t offset;    // of the member in Settings
    DWORD type;       // REG_SZ or REG_DWORD
    DWORD size;       // bytes of the member, all of them stored
    int32_t initial;  // an integer's default
    int control;      // its spin control, 0 for a path or a menu choice
    int panel_order;  // 1-based place in the panel's transfer order, 0 for a path
    int32_t lower;    // the spin control's range, or a menu choice's
    int32_t upper;
    std::span<const int32_t> choices; // a menu choice's values where not every one in range is one
};

// Every setting, in the order of the record and the registry.
std::span<const SettingRow> setting_rows();

// The member a row describes; setting_int only for a REG_DWORD row.
char* setting_bytes(Settings* settings, const SettingRow& row);
const char* setting_bytes(const Settings* settings, const SettingRow& row);
int32_t* setting_int(Settings* settings, const SettingRow& row);
const int32_t* setting_int(const Settings* settings, const SettingRow& row);

// Whether a stored value may be read as it is. A menu choice outside its
// range (or not one of its choices) is not: the menu could not show it.
// Spin controls hold their own values to their ranges.
bool setting_value_allowed(const SettingRow& row, int32_t value);

// What loading gives when nothing is stored: zeros and the defaults.
Settings default_settings();

// Defaults, then every value the registry has for them that is allowed.
void load_settings(Settings* settings);
// Every value; stops at the first write that fails.
void save_settings(Settings* settings);
