#include "shell/settings.h"

#include <algorithm>
#include <vector>

#include "platform/win32/commctrl.h"
#include "shell/decimal_fields.h"

namespace {

// The rows that have a spin control, in the panel's transfer order.
std::vector<const SettingRow*> panel_rows()
{
    std::vector<const SettingRow*> rows;
    for (const SettingRow& row : setting_rows())
        if (row.control)
            rows.push_back(&row);
    std::sort(rows.begin(), rows.end(),
              [](const SettingRow* a, const SettingRow* b) { return a->panel_order < b->panel_order; });
    return rows;
}

} // namespace

void set_panel_ranges(HWND panel)
{
    for (const SettingRow* row : panel_rows())
        SendDlgItemMessageA(panel, row->control, UDM_SETRANGE32, static_cast<WPARAM>(row->lower),
                            static_cast<LPARAM>(row->upper));
}

void settings_to_panel(HWND panel, Settings* settings)
{
    for (const SettingRow* row : panel_rows()) {
        if (row->type == REG_BINARY)
            show_decimal_field(panel, row->control, *setting_exact(settings, *row));
        else
            SendDlgItemMessageA(panel, row->control, UDM_SETPOS, 0, static_cast<LPARAM>(*setting_int(settings, *row)));
    }
}

void panel_to_settings(Settings* settings, HWND panel)
{
    for (const SettingRow* row : panel_rows()) {
        if (row->type == REG_BINARY) {
            // Text that is no number keeps the value the field last held.
            double value;
            if (read_decimal_field(panel, row->control, &value))
                *setting_exact(settings, *row) = value;
            continue;
        }
        LRESULT result = SendDlgItemMessageA(panel, row->control, UDM_GETPOS, 0, 0);
        *setting_int(settings, *row) = static_cast<SHORT>(LOWORD(result));
    }
}
