// The settings the program keeps between runs: the folders of the last data
// and texture files, the plot range, the marker and the camera. They live
// in the registry key SETTINGS_KEY of the current user, one value per
// member, named like the member. Plain data and the registry only: the
// tools read them without any window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/win32/winreg.h"

#define SETTINGS_KEY "Software\\kestrow\\varnel.exe"

// Bytes of a path buffer: the stored folders, the file names the panel
// handles, and the registry values they are stored in.
inline constexpr std::size_t kPathBytes = 1024;

struct Settings {
    char data_path[kPathBytes];    // folder of the last data file, with its trailing '/'
    char texture_path[kPathBytes]; // folder of the last texture file, likewise
    int32_t x_min;
    int32_t x_max;
    int32_t y_min;
    int32_t y_max;
    int32_t x_marker;
    int32_t y_marker;
    int32_t radius;    // 0 to kFarthestRadius
    int32_t azimuth;   // degrees, 0 to 360
    int32_t elevation; // degrees, 0 to 90
    // The picture, set from the render area's menu.
    int32_t colour_map;   // a ColourMap
    int32_t smoothing;    // cells: one of kSmoothingChoices, 0 none, kSmoothingAuto Scott's rule
    int32_t log_scale;    // 0 or 1
    int32_t texture_only; // 0 or 1
    int32_t show_axes;    // 0 or 1
    // The plot range and the marker as typed, decimals and all. The
    // integers above hold them rounded (the range outward, the marker to
    // the nearest), so that a reader that knows only those still works.
    double x_min_exact;
    double x_max_exact;
    double y_min_exact;
    double y_max_exact;
    double x_marker_exact;
    double y_marker_exact;
    // How points are spread over the grid: 0 bilinear, 1 the classic rule
    // (a BinningRule). Stored files from before it have none: bilinear.
    int32_t binning;
    // 1 while the render area shows the map instead of the camera's view.
    // Stored files from before it have none: the camera's view.
    int32_t map_view;
    // Logarithmic axes, binned as such (0 or 1 each), and a map whose units
    // of x and y are equally long. Stored files from before them have none:
    // linear axes and a square map.
    int32_t log_x;
    int32_t log_y;
    int32_t equal_aspect;
};

// The stored folders' paths use '/' as the separator, which is never the
// trail byte of a double-byte character in the code pages the program
// runs under, so a path can be cut at its last '/' byte.
// The position just after the last '/', or the whole path when it has none.
const char* file_name_of(const char* path);
// Ends the string just after its last '/'; the bytes after the new end stay.
void cut_to_folder(char* path);

// How an exact value becomes the integer stored beside it.
enum class Rounding { None, Down, Up, Nearest };

// One stored setting. A path (REG_SZ) is stored with all the bytes of its
// member and starts empty; an integer (REG_DWORD) or an exact value (an
// 8-byte double as REG_BINARY: exact, of one size, and free of any text
// format) is held by a spin control of the panel while the program runs.
struct SettingRow {
    const char* name; // of the registry value and of the member
    size_t offset;    // of the member in Settings
    DWORD type;       // REG_SZ, REG_DWORD or REG_BINARY
    DWORD size;       // bytes of the member, all of them stored
    int32_t initial;  // an integer's default
    int control;      // its spin control, 0 for a path or a menu choice
    int panel_order;  // 1-based place in the panel's transfer order, 0 for a path
    int32_t lower;    // the spin control's range, or a menu choice's
    int32_t upper;
    std::span<const int32_t> choices; // a menu choice's values where not every one in range is one
    Rounding rounding;                // for an exact value: how its integer follows it
    size_t rounded_offset;            // and where that integer is
};

// Every setting, in the order of the record and the registry.
std::span<const SettingRow> setting_rows();
// The row of the member at `offset` (offsetof(Settings, member)).
const SettingRow& setting_row_at(size_t offset);

// The member a row describes; setting_int only for a REG_DWORD row,
// setting_exact only for a REG_BINARY one.
char* setting_bytes(Settings* settings, const SettingRow& row);
const char* setting_bytes(const Settings* settings, const SettingRow& row);
int32_t* setting_int(Settings* settings, const SettingRow& row);
const int32_t* setting_int(const Settings* settings, const SettingRow& row);
double* setting_exact(Settings* settings, const SettingRow& row);

// The integer an exact value is stored with.
int32_t rounded_setting(double exact, Rounding rounding);

// An exact value as the panel and the tools show it: the shortest text that
// reads back as the same double, without an exponent unless it is tiny.
std::string exact_text(double value);

// Whether a stored value may be read as it is. A menu choice outside its
// range (or not one of its choices) is not: the menu could not show it.
// Spin controls hold their own values to their ranges.
bool setting_value_allowed(const SettingRow& row, int32_t value);

// What loading gives when nothing is stored: zeros and the defaults.
Settings default_settings();

// Defaults, then every value the registry has for them that is allowed. An
// exact value is taken only where it still rounds to the integer beside it:
// an older program that changed only the integer leaves a stale one behind.
// False when nothing is stored at all: a first start.
bool load_settings(Settings* settings);
// Every value, the integers rounded from the exact values; stops at the
// first write that fails.
void save_settings(Settings* settings);
// The same, with the status of the registry call that failed, for a
// caller that says why.
LSTATUS write_settings(Settings* settings);
