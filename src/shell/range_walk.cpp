#include "shell/range_walk.h"

#include <algorithm>
#include <cstring>

#include "shell/app_state.h"
#include "shell/camera_controls.h"
#include "shell/control_panel.h"
#include "shell/range_history.h"

bool step_range(AppState* state, int direction)
{
    RangeHistory& history = state->history;
    const long target = long(history.at) + direction;
    if (history.steps.empty() || target < 0 || size_t(target) >= history.steps.size())
        return false;
    RangeStep& step = history.steps[size_t(target)];
    show_plot_range(state->panel, step.range);
    const bool same_file = step.path == state->data_file;
    if (step.field && same_file && step.binning == binned_as(state->settings)) {
        // Kept: shown at once, the field shown now kept in its place.
        DensityField* field = step.field;
        step.field = nullptr;
        history.going_to = target;
        DensityField* left = state->field;
        state->renderer->ops.set_field(state->renderer, field);
        state->field = field;
        record_range_step(state, state->data_file, step.range, left);
        send_camera(state->panel);
        return true;
    }
    history.going_to = target;
    char path[kPathBytes] = {};
    std::memcpy(path, step.path.c_str(), std::min(step.path.size(), sizeof path - 1));
    load_data_from(state->panel, path);
    history.going_to = -1; // not read: the step shown stays
    return true;
}

bool range_history_key(AppState* state, const MSG* message)
{
    const bool alt = message->message == WM_SYSKEYDOWN;
    if (message->message != WM_KEYDOWN && !alt)
        return false;
    if (alt && (message->wParam == VK_LEFT || message->wParam == VK_RIGHT)) {
        step_range(state, message->wParam == VK_LEFT ? -1 : 1);
        return true;
    }
    const HWND focus = GetFocus();
    const bool in_panel = focus && (focus == state->panel || GetParent(focus) == state->panel);
    if (!alt && message->wParam == VK_BACK && !in_panel) {
        step_range(state, -1);
        return true;
    }
    return false;
}
