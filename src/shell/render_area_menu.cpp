#include "shell/render_area_menu.h"

#include "platform/win32/windowsx.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"
#include "shell/camera_controls.h"
#include "shell/control_panel.h"
#include "shell/picture_menu.h"
#include "shell/picture_saving.h"
#include "shell/range_zoom.h"

void render_area_menu(AppState* state, LPARAM screen_point)
{
    POINT at = {GET_X_LPARAM(screen_point), GET_Y_LPARAM(screen_point)};
    if (at.x == -1 && at.y == -1) { // from the keyboard: at the area's corner
        at = {0, 0};
        ClientToScreen(state->render_area, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    AppendMenuA(menu, MF_STRING, IDM_SAVE_PICTURE, text(TextId::save_picture_item));
    AppendMenuA(menu, MF_STRING | (state->data_file[0] ? 0 : MF_GRAYED), IDM_FIT_RANGE, text(TextId::fit_range_item));
    AppendMenuA(menu, MF_STRING, IDM_OPEN_DATA_FILE, text(TextId::open_data_file_item));
    AppendMenuA(menu, MF_STRING, IDM_OPEN_DATABASE, text(TextId::open_database_item));
    AppendMenuA(menu, MF_STRING, IDM_FIT_CAMERA, text(TextId::fit_camera_item));
    append_range_items(menu, state);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    append_picture_menu(menu, state->settings);
    UINT command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, state->render_area, nullptr));
    DestroyMenu(menu);
    if (command == IDM_SAVE_PICTURE)
        save_picture(state);
    else if (command == IDM_FIT_RANGE)
        fit_range_to_data(state->panel);
    else if (command == IDM_FIT_CAMERA)
        fit_camera(state);
    else if (command == IDM_OPEN_DATA_FILE)
        open_data_file_dialog(state->panel);
    else if (command == IDM_OPEN_DATABASE)
        open_database_dialog(state->panel);
    else if (!range_command(state, int(command)))
        choose_picture_item(state, command);
}
