#include "shell/settings.h"

#include <cstddef>
#include <cstring>

#include "platform/win32/commctrl.h"
#include "platform/win32/winreg.h"
#include "resources/resource_ids.h"

namespace {

struct PathValue {
    const char* name;
    size_t offset;
};
struct IntValue {
    const char* name;
    size_t offset;
    int32_t fallback;
};

const PathValue kPaths[] = {
    {"data_path", offsetof(Settings, data_path)},
    {"texture_path", offsetof(Settings, texture_path)},
};

// Registry order.
const IntValue kInts[] = {
    {"x_min", offsetof(Settings, x_min), 0},        {"x_max", offsetof(Settings, x_max), 4000},
    {"y_min", offsetof(Settings, y_min), 0},        {"y_max", offsetof(Settings, y_max), 4000},
    {"x_marker", offsetof(Settings, x_marker), 0},  {"y_marker", offsetof(Settings, y_marker), 0},
    {"radius", offsetof(Settings, radius), 100},    {"azimuth", offsetof(Settings, azimuth), 0},
    {"elevation", offsetof(Settings, elevation), 90},
};

// Spin control of each integer, in the order they travel to and from the panel.
struct PanelValue {
    size_t offset;
    int control;
};
const PanelValue kPanel[] = {
    {offsetof(Settings, radius), IDC_RADIUS_SPIN},     {offsetof(Settings, azimuth), IDC_AZIMUTH_SPIN},
    {offsetof(Settings, elevation), IDC_ELEVATION_SPIN}, {offsetof(Settings, x_min), IDC_X_MIN_SPIN},
    {offsetof(Settings, x_max), IDC_X_MAX_SPIN},       {offsetof(Settings, y_min), IDC_Y_MIN_SPIN},
    {offsetof(Settings, y_max), IDC_Y_MAX_SPIN},       {offsetof(Settings, x_marker), IDC_X_MARKER_SPIN},
    {offsetof(Settings, y_marker), IDC_Y_MARKER_SPIN},
};

char* path_of(Settings* s, size_t offset)
{
    return reinterpret_cast<char*>(s) + offset;
}

int32_t* int_of(Settings* s, size_t offset)
{
    return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(s) + offset);
}

} // namespace

void load_settings(Settings* settings)
{
    std::memset(settings, 0, sizeof *settings);
    for (const IntValue& v : kInts)
        *int_of(settings, v.offset) = v.fallback;

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (const PathValue& v : kPaths) {
        char* path = path_of(settings, v.offset);
        DWORD type = REG_SZ;
        DWORD size = sizeof settings->data_path;
        if (RegQueryValueExA(key, v.name, nullptr, &type, reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS) {
            path[0] = '\0';
            continue;
        }
        // A value that fills the member without a terminator would let
        // every later reader run past it.
        if (!std::memchr(path, '\0', sizeof settings->data_path))
            path[sizeof settings->data_path - 1] = '\0';
    }
    for (const IntValue& v : kInts) {
        int32_t* value = int_of(settings, v.offset);
        DWORD type = REG_DWORD;
        DWORD size = sizeof *value;
        // A shorter value would leave default bytes mixed into the number.
        if (RegQueryValueExA(key, v.name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
            size != sizeof *value)
            *value = v.fallback;
    }
    RegCloseKey(key);
}

void save_settings(Settings* settings)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, const_cast<LPSTR>(""), REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;
    bool ok = true;
    for (const PathValue& v : kPaths) {
        if (!ok)
            break;
        ok = RegSetValueExA(key, v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(path_of(settings, v.offset)),
                            sizeof settings->data_path) == ERROR_SUCCESS;
    }
    for (const IntValue& v : kInts) {
        if (!ok)
            break;
        ok = RegSetValueExA(key, v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(int_of(settings, v.offset)),
                            sizeof(int32_t)) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

void settings_to_panel(HWND panel, Settings* settings)
{
    for (const PanelValue& v : kPanel)
        SendDlgItemMessageA(panel, v.control, UDM_SETPOS, 0, static_cast<LPARAM>(*int_of(settings, v.offset)));
}

void panel_to_settings(Settings* settings, HWND panel)
{
    for (const PanelValue& v : kPanel) {
        LRESULT result = SendDlgItemMessageA(panel, v.control, UDM_GETPOS, 0, 0);
        *int_of(settings, v.offset) = static_cast<SHORT>(LOWORD(result));
    }
}
