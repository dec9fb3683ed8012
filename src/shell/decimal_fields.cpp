#include "shell/decimal_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <cstring>
#include <string>
#include <vector>

#include "field/plot_range.h"

#include "platform/win32/commctrl.h"
#include "platform/win32/windows.h"
#include "resources/texts.h"
#include "resources/resource_ids.h"
#include "settings/settings.h"

namespace {

struct DecimalField {
    int spin;
    TextId name;
    int axis_min, axis_max; // the range fields of its axis
};

constexpr DecimalField kFields[] = {
    {IDC_X_MIN_SPIN, TextId::x_min_field, IDC_X_MIN_SPIN, IDC_X_MAX_SPIN},
    {IDC_X_MAX_SPIN, TextId::x_max_field, IDC_X_MIN_SPIN, IDC_X_MAX_SPIN},
    {IDC_Y_MIN_SPIN, TextId::y_min_field, IDC_Y_MIN_SPIN, IDC_Y_MAX_SPIN},
    {IDC_Y_MAX_SPIN, TextId::y_max_field, IDC_Y_MIN_SPIN, IDC_Y_MAX_SPIN},
    {IDC_X_MARKER_SPIN, TextId::x_marker_field, IDC_X_MIN_SPIN, IDC_X_MAX_SPIN},
    {IDC_Y_MARKER_SPIN, TextId::y_marker_field, IDC_Y_MIN_SPIN, IDC_Y_MAX_SPIN},
};

// Any finite number: unix seconds and populations pass a billion.
constexpr double kLimit = std::numeric_limits<double>::max();

const DecimalField* field_for(int spin)
{
    for (const DecimalField& field : kFields)
        if (field.spin == spin)
            return &field;
    return nullptr;
}

// The sum without the binary remainder that shows as 0.30000000000000004:
// fifteen significant digits, read back.
double without_noise(double value)
{
    char text[64];
    auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
    std::from_chars(text, end, value);
    return value;
}

bool is_space(char c) { return c == ' ' || c == '\t'; }

HWND field_of(HWND panel, int spin)
{
    return reinterpret_cast<HWND>(SendDlgItemMessageA(panel, spin, UDM_GETBUDDY, 0, 0));
}

} // namespace

bool parse_field_number(const char* text, double* value)
{
    const char* begin = text;
    const char* end = text + std::strlen(text);
    while (begin != end && is_space(*begin))
        ++begin;
    while (end != begin && is_space(end[-1]))
        --end;
    // from_chars takes a minus sign but no plus.
    if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    double number = 0;
    auto [stop, error] = std::from_chars(begin, end, number, std::chars_format::general);
    if (error != std::errc() || stop != end || begin == end || !std::isfinite(number) || std::fabs(number) > kLimit)
        return false;
    *value = number;
    return true;
}

std::string decimal_field_text(HWND panel, int spin)
{
    // The whole text, however long: a number read from its first part
    // would be another number.
    HWND field = field_of(panel, spin);
    std::vector<char> text(static_cast<size_t>(std::max(0, GetWindowTextLengthA(field))) + 1, '\0');
    GetWindowTextA(field, text.data(), static_cast<int>(text.size()));
    return text.data();
}

bool read_decimal_field(HWND panel, int spin, double* value)
{
    return parse_field_number(decimal_field_text(panel, spin).c_str(), value);
}

void show_decimal_field(HWND panel, int spin, double value)
{
    SetWindowTextA(field_of(panel, spin), exact_text(value).c_str());
}

const char* decimal_field_name(int spin)
{
    const DecimalField* field = field_for(spin);
    return field ? text(field->name) : nullptr;
}

void step_decimal_field(HWND panel, int spin, int steps)
{
    const DecimalField* field = field_for(spin);
    double value, low, high;
    if (!field || !read_decimal_field(panel, spin, &value))
        return;
    // Without a readable span the step is one.
    double span = 0;
    if (read_decimal_field(panel, field->axis_min, &low) && read_decimal_field(panel, field->axis_max, &high))
        span = std::fabs(high - low);
    const double next = without_noise(value + steps * range_step(span));
    show_decimal_field(panel, spin, std::clamp(next, -kLimit, kLimit));
}

void make_fields_decimal(HWND panel)
{
    for (const DecimalField& field : kFields) {
        HWND spin = GetDlgItem(panel, field.spin);
        HWND edit = field_of(panel, field.spin);
        SetWindowLongPtrA(spin, GWL_STYLE, GetWindowLongPtrA(spin, GWL_STYLE) & ~LONG_PTR(UDS_SETBUDDYINT));
        SetWindowLongPtrA(edit, GWL_STYLE, GetWindowLongPtrA(edit, GWL_STYLE) & ~LONG_PTR(ES_NUMBER));
    }
}
