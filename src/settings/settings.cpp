#include "settings/settings.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "render/scene/picture_options.h"
#include "resources/resource_ids.h"

namespace {

// Every value in the range is a choice.
constexpr std::span<const int32_t> kNoChoices;

#define PATH_SETTING(member)                                                                                           \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_SZ, sizeof(Settings::member), 0, 0, 0, 0, 0, kNoChoices               \
    }
#define INT_SETTING(member, initial, control, order, lower, upper)                                                     \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_DWORD, sizeof(Settings::member), initial, control, order, lower,      \
            upper, kNoChoices                                                                                          \
    }
#define CHOICE_SETTING(member, initial, choices)                                                                       \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_DWORD, sizeof(Settings::member), initial, 0, 0, *std::begin(choices), \
            *(std::end(choices) - 1), choices                                                                          \
    }

// Registry order. The panel sets and reads the camera first, then the plot
// range and the marker; the marker's range follows the plot range once a
// data file is loaded.
constexpr SettingRow kRows[] = {
    PATH_SETTING(data_path),
    PATH_SETTING(texture_path),
    INT_SETTING(x_min, 0, IDC_X_MIN_SPIN, 4, -8000, 8000),
    INT_SETTING(x_max, 4000, IDC_X_MAX_SPIN, 5, -8000, 8000),
    INT_SETTING(y_min, 0, IDC_Y_MIN_SPIN, 6, -8000, 8000),
    INT_SETTING(y_max, 4000, IDC_Y_MAX_SPIN, 7, -8000, 8000),
    INT_SETTING(x_marker, 0, IDC_X_MARKER_SPIN, 8, -8000, 8000),
    INT_SETTING(y_marker, 0, IDC_Y_MARKER_SPIN, 9, -8000, 8000),
    INT_SETTING(radius, 100, IDC_RADIUS_SPIN, 1, 0, 100),
    INT_SETTING(azimuth, 0, IDC_AZIMUTH_SPIN, 2, 0, 360),
    INT_SETTING(elevation, 90, IDC_ELEVATION_SPIN, 3, 0, 90),
    INT_SETTING(colour_map, 0, 0, 0, 0, kColourMapCount - 1),
    CHOICE_SETTING(smoothing, 0, kSmoothingChoices),
    INT_SETTING(log_scale, 0, 0, 0, 0, 1),
    INT_SETTING(texture_only, 0, 0, 0, 0, 1),
    INT_SETTING(show_axes, 1, 0, 0, 0, 1),
};

#undef PATH_SETTING
#undef INT_SETTING
#undef CHOICE_SETTING

// A member without a row would never be stored.
constexpr bool rows_cover_the_record()
{
    size_t end = 0;
    for (const SettingRow& row : kRows) {
        if (row.offset != end)
            return false;
        end += row.size;
    }
    return end == sizeof(Settings);
}
static_assert(rows_cover_the_record());

} // namespace

std::span<const SettingRow> setting_rows() { return kRows; }

char* setting_bytes(Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<char*>(settings) + row.offset;
}

const char* setting_bytes(const Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<const char*>(settings) + row.offset;
}

int32_t* setting_int(Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<int32_t*>(setting_bytes(settings, row));
}

const int32_t* setting_int(const Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<const int32_t*>(setting_bytes(settings, row));
}

bool setting_value_allowed(const SettingRow& row, int32_t value)
{
    if (row.type != REG_DWORD || row.control != 0)
        return true;
    if (value < row.lower || value > row.upper)
        return false;
    return row.choices.empty() || std::find(row.choices.begin(), row.choices.end(), value) != row.choices.end();
}

Settings default_settings()
{
    Settings settings;
    std::memset(&settings, 0, sizeof settings);
    for (const SettingRow& row : kRows)
        if (row.type == REG_DWORD)
            *setting_int(&settings, row) = row.initial;
    return settings;
}

void load_settings(Settings* settings)
{
    *settings = default_settings();

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (const SettingRow& row : kRows) {
        char* member = setting_bytes(settings, row);
        DWORD type = row.type;
        DWORD size = row.size;
        const bool read =
            RegQueryValueExA(key, row.name, nullptr, &type, reinterpret_cast<BYTE*>(member), &size) == ERROR_SUCCESS;
        if (row.type == REG_SZ) {
            if (!read)
                member[0] = '\0';
            // A value that fills the member without a terminator would let
            // every later reader run past it.
            else if (!std::memchr(member, '\0', row.size))
                member[row.size - 1] = '\0';
        } else if (!read || size != row.size || !setting_value_allowed(row, *setting_int(settings, row))) {
            // A shorter value would leave default bytes mixed into the number.
            *setting_int(settings, row) = row.initial;
        }
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
    for (const SettingRow& row : kRows) {
        const BYTE* member = reinterpret_cast<const BYTE*>(setting_bytes(settings, row));
        if (RegSetValueExA(key, row.name, 0, row.type, member, row.size) != ERROR_SUCCESS)
            break;
    }
    RegCloseKey(key);
}
