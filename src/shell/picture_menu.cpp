#include "shell/picture_menu.h"

#include <string>
#include <vector>

#include "render/scene/colour_maps.h"
#include "resources/texts.h"
#include "resources/resource_ids.h"
#include "shell/control_panel.h"
#include "shell/picture_view.h"

namespace {

// One item of the menu: the command, the setting it sets and the value it
// sets it to. An on/off item turns its setting over instead.
struct PictureItem {
    UINT command;
    int32_t Settings::*member;
    int32_t value;
    std::string text;
    bool toggles;
};

std::vector<PictureItem> colour_map_items()
{
    std::vector<PictureItem> items;
    for (int k = 0; k < kColourMapCount; ++k) {
        const auto map = static_cast<ColourMap>(k);
        items.push_back({UINT(IDM_COLOUR_MAP_FIRST + k), &Settings::colour_map, k,
                         map == ColourMap::grey ? text(TextId::grey_map_item) : colour_map_name(map), false});
    }
    return items;
}

std::vector<PictureItem> smoothing_items()
{
    std::vector<PictureItem> items;
    UINT command = IDM_SMOOTHING_FIRST;
    for (int32_t cells : kSmoothingChoices)
        items.push_back({command++, &Settings::smoothing, cells,
                         cells == 0                    ? text(TextId::no_smoothing_item)
                             : cells == kSmoothingAuto ? text(TextId::auto_smoothing_item)
                                                       : std::to_string(cells),
                         false});
    return items;
}

std::vector<PictureItem> switch_items()
{
    return {
        {IDM_LOG_SCALE, &Settings::log_scale, 1, text(TextId::log_scale_item), true},
        {IDM_TEXTURE_ONLY, &Settings::texture_only, 1, text(TextId::texture_only_item), true},
        {IDM_SHOW_AXES, &Settings::show_axes, 1, text(TextId::show_axes_item), true},
        {IDM_CLASSIC_BINNING, &Settings::binning, 1, text(TextId::classic_binning_item), true},
        {IDM_MAP_VIEW, &Settings::map_view, 1, text(TextId::map_view_item), true},
        {IDM_LOG_X, &Settings::log_x, 1, text(TextId::log_x_item), true},
        {IDM_LOG_Y, &Settings::log_y, 1, text(TextId::log_y_item), true},
        {IDM_EQUAL_ASPECT, &Settings::equal_aspect, 1, text(TextId::equal_aspect_item), true},
    };
}

// A submenu of radio items, the settings' choice marked.
void append_choices(HMENU menu, const char* title, const std::vector<PictureItem>& items, const Settings& settings)
{
    HMENU sub = CreatePopupMenu();
    if (!sub)
        return;
    for (const PictureItem& item : items)
        AppendMenuA(sub, MF_STRING, item.command, item.text.c_str());
    for (const PictureItem& item : items)
        if (settings.*item.member == item.value)
            CheckMenuRadioItem(sub, items.front().command, items.back().command, item.command, MF_BYCOMMAND);
    if (!AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), title))
        DestroyMenu(sub);
}

} // namespace

void append_picture_menu(HMENU menu, const Settings& settings)
{
    append_choices(menu, text(TextId::colour_map_menu), colour_map_items(), settings);
    append_choices(menu, text(TextId::smoothing_menu), smoothing_items(), settings);
    for (const PictureItem& item : switch_items()) {
        AppendMenuA(menu, MF_STRING, item.command, item.text.c_str());
        CheckMenuItem(menu, item.command, MF_BYCOMMAND | (settings.*item.member ? MF_CHECKED : MF_UNCHECKED));
    }
}

bool choose_picture_item(AppState* state, UINT command)
{
    for (const auto& items : {colour_map_items(), smoothing_items(), switch_items()}) {
        for (const PictureItem& item : items) {
            if (item.command != command)
                continue;
            int32_t& value = state->settings.*item.member;
            value = item.toggles ? !value : item.value;
            // The rule and the axes change the field itself.
            if (item.member == &Settings::binning || item.member == &Settings::log_x || item.member == &Settings::log_y)
                reload_data(state->panel);
            else
                apply_picture_options(state);
            return true;
        }
    }
    return false;
}
