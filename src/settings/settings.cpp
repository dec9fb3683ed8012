#include "settings/settings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "render/scene/camera.h"
#include "render/scene/picture_options.h"
#include "resources/resource_ids.h"

namespace {

// Every value in the range is a choice.
constexpr std::span<const int32_t> kNoChoices;

#define PATH_SETTING(member)                                                                                           \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_SZ, sizeof(Settings::member), 0, 0, 0, 0, 0, kNoChoices,              \
            Rounding::None, 0                                                                                          \
    }
#define INT_SETTING(member, initial, control, order, lower, upper)                                                     \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_DWORD, sizeof(Settings::member), initial, control, order, lower,      \
            upper, kNoChoices, Rounding::None, 0                                                                       \
    }
#define CHOICE_SETTING(member, initial, choices)                                                                       \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_DWORD, sizeof(Settings::member), initial, 0, 0,                       \
            *std::min_element(std::begin(choices), std::end(choices)),                                                 \
            *std::max_element(std::begin(choices), std::end(choices)), choices, Rounding::None, 0                      \
    }
// The plot range's and the marker's integers keep within a billion either
// way, which an int32_t holds once rounded.
constexpr int32_t kBillion = 1000000000;
constexpr double kRoundedLimit = kBillion;

// Any finite double; the integer kept beside it for older readers is the
// value rounded and held within a billion either way.
#define EXACT_SETTING(member, integer, rounding, control, order)                                                       \
    {                                                                                                                  \
#member, offsetof(Settings, member), REG_BINARY, sizeof(Settings::member), 0, control, order, -kBillion,       \
            kBillion, kNoChoices, rounding, offsetof(Settings, integer)                                                \
    }

// Registry order. The panel sets and reads the camera first, then the plot
// range and the marker; the marker's range follows the plot range once a
// data file is loaded.
constexpr SettingRow kRows[] = {
    PATH_SETTING(data_path),
    PATH_SETTING(texture_path),
    INT_SETTING(x_min, 0, 0, 0, -kBillion, kBillion),
    INT_SETTING(x_max, 4000, 0, 0, -kBillion, kBillion),
    INT_SETTING(y_min, 0, 0, 0, -kBillion, kBillion),
    INT_SETTING(y_max, 4000, 0, 0, -kBillion, kBillion),
    INT_SETTING(x_marker, 0, 0, 0, -kBillion, kBillion),
    INT_SETTING(y_marker, 0, 0, 0, -kBillion, kBillion),
    INT_SETTING(radius, 100, IDC_RADIUS_SPIN, 1, 0, kFarthestRadius),
    INT_SETTING(azimuth, 0, IDC_AZIMUTH_SPIN, 2, 0, 360),
    INT_SETTING(elevation, 90, IDC_ELEVATION_SPIN, 3, 0, 90),
    INT_SETTING(colour_map, 0, 0, 0, 0, kColourMapCount - 1),
    CHOICE_SETTING(smoothing, 0, kSmoothingChoices),
    INT_SETTING(log_scale, 0, 0, 0, 0, 1),
    INT_SETTING(texture_only, 0, 0, 0, 0, 1),
    INT_SETTING(show_axes, 1, 0, 0, 0, 1),
    EXACT_SETTING(x_min_exact, x_min, Rounding::Down, IDC_X_MIN_SPIN, 4),
    EXACT_SETTING(x_max_exact, x_max, Rounding::Up, IDC_X_MAX_SPIN, 5),
    EXACT_SETTING(y_min_exact, y_min, Rounding::Down, IDC_Y_MIN_SPIN, 6),
    EXACT_SETTING(y_max_exact, y_max, Rounding::Up, IDC_Y_MAX_SPIN, 7),
    EXACT_SETTING(x_marker_exact, x_marker, Rounding::Nearest, IDC_X_MARKER_SPIN, 8),
    EXACT_SETTING(y_marker_exact, y_marker, Rounding::Nearest, IDC_Y_MARKER_SPIN, 9),
    INT_SETTING(binning, 0, 0, 0, 0, 1),
    INT_SETTING(map_view, 0, 0, 0, 0, 1),
    INT_SETTING(log_x, 0, 0, 0, 0, 1),
    INT_SETTING(log_y, 0, 0, 0, 0, 1),
    INT_SETTING(equal_aspect, 0, 0, 0, 0, 1),
};

#undef PATH_SETTING
#undef INT_SETTING
#undef CHOICE_SETTING
#undef EXACT_SETTING

// A member without a row would never be stored.
constexpr bool rows_cover_the_record()
{
    size_t end = 0;
    for (const SettingRow& row : kRows) {
        if (row.offset != end)
            return false;
        end += row.size;
    }
    // Only the record's own padding may follow the last member.
    return end <= sizeof(Settings) && sizeof(Settings) - end < alignof(Settings);
}
static_assert(rows_cover_the_record());

int32_t* rounded_member(Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(settings) + row.rounded_offset);
}

bool within_row(double value, const SettingRow& row)
{
    return std::isfinite(value) && (row.type == REG_BINARY || (value >= row.lower && value <= row.upper));
}

// The exact values from the integers, once those are in.
void exact_from_integers(Settings* settings)
{
    for (const SettingRow& row : kRows) {
        if (row.type != REG_BINARY)
            continue;
        double& exact = *setting_exact(settings, row);
        const int32_t integer = *rounded_member(settings, row);
        if (!within_row(exact, row) || rounded_setting(exact, row.rounding) != integer)
            exact = integer;
    }
}

} // namespace

std::span<const SettingRow> setting_rows() { return kRows; }

char* setting_bytes(Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<char*>(settings) + row.offset;
}

const SettingRow& setting_row_at(size_t offset)
{
    for (const SettingRow& row : kRows)
        if (row.offset == offset)
            return row;
    return kRows[0];
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

double* setting_exact(Settings* settings, const SettingRow& row)
{
    return reinterpret_cast<double*>(setting_bytes(settings, row));
}

int32_t rounded_setting(double exact, Rounding rounding)
{
    double rounded = rounding == Rounding::Down ? std::floor(exact)
        : rounding == Rounding::Up              ? std::ceil(exact)
                                                : std::round(exact);
    if (std::isnan(rounded))
        return 0;
    return static_cast<int32_t>(std::clamp(rounded, -kRoundedLimit, kRoundedLimit));
}

std::string exact_text(double value)
{
    char text[64];
    const bool tiny = value != 0 && std::fabs(value) < 1e-4;
    auto [end, error] = tiny ? std::to_chars(text, text + sizeof text, value)
                             : std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (error != std::errc())
        end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

Settings default_settings()
{
    Settings settings;
    std::memset(&settings, 0, sizeof settings);
    for (const SettingRow& row : kRows)
        if (row.type == REG_DWORD)
            *setting_int(&settings, row) = row.initial;
    exact_from_integers(&settings);
    return settings;
}

bool load_settings(Settings* settings)
{
    *settings = default_settings();

    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
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
        } else if (row.type == REG_BINARY) {
            if (!read || size != row.size || type != REG_BINARY)
                *setting_exact(settings, row) = NAN; // taken from its integer below
        } else if (!read || size != row.size || !setting_value_allowed(row, *setting_int(settings, row))) {
            // A shorter value would leave default bytes mixed into the number.
            *setting_int(settings, row) = row.initial;
        }
    }
    RegCloseKey(key);
    exact_from_integers(settings);
    return true;
}

LSTATUS write_settings(Settings* settings)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, const_cast<LPSTR>(""), REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS)
        return status;
    for (const SettingRow& row : kRows)
        if (row.type == REG_BINARY)
            *rounded_member(settings, row) = rounded_setting(*setting_exact(settings, row), row.rounding);
    for (const SettingRow& row : kRows) {
        const BYTE* member = reinterpret_cast<const BYTE*>(setting_bytes(settings, row));
        status = RegSetValueExA(key, row.name, 0, row.type, member, row.size);
        if (status != ERROR_SUCCESS)
            break;
    }
    // The values reach the file as the key closes: a full disk shows there.
    const LSTATUS closed = RegCloseKey(key);
    return status != ERROR_SUCCESS ? status : closed;
}

void save_settings(Settings* settings) { write_settings(settings); }

const char* file_name_of(const char* path)
{
    const char* last = std::strrchr(path, '/');
    return last ? last + 1 : path;
}

void cut_to_folder(char* path)
{
    if (char* last = std::strrchr(path, '/'))
        last[1] = '\0';
}
