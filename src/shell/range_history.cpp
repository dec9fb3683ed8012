#include "shell/range_history.h"

#include <cstring>

#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/camera_controls.h"
#include "shell/pointer_readout.h"

namespace {

void destroy_field(DensityField*& field)
{
    if (field)
        field->ops.destroy(field);
    field = nullptr;
}

// The kept fields farthest from the step shown go first.
void limit_kept_fields(RangeHistory& history)
{
    for (;;) {
        int kept = 0;
        size_t farthest = 0, distance = 0;
        for (size_t k = 0; k < history.steps.size(); ++k) {
            if (!history.steps[k].field)
                continue;
            ++kept;
            const size_t d = k > history.at ? k - history.at : history.at - k;
            if (d >= distance)
                farthest = k, distance = d;
        }
        if (kept <= kKeptFields)
            return;
        destroy_field(history.steps[farthest].field);
    }
}

bool same_place(const RangeStep& step, const char* path, const Range& range)
{
    return step.path == path && step.range == range;
}

} // namespace

void record_range_step(AppState* state, const char* path, const Range& range, DensityField* left)
{
    // What the pointer read was of the field left behind.
    clear_pointer_readout(state);
    RangeHistory& history = state->history;
    const int binning = binned_as(state->settings);
    if (history.going_to >= 0 && size_t(history.going_to) < history.steps.size()) {
        // Back or forward: the step is there already.
        RangeStep& leaving = history.steps[history.at];
        destroy_field(leaving.field);
        leaving.field = left;
        history.at = size_t(history.going_to);
        history.going_to = -1;
        history.steps[history.at].binning = binning;
        limit_kept_fields(history);
        return;
    }
    if (!history.steps.empty() && same_place(history.steps[history.at], path, range)) {
        // The same range again (another binning rule): no new step.
        history.steps[history.at].binning = binning;
        destroy_field(left);
        return;
    }
    if (!history.steps.empty()) {
        RangeStep& leaving = history.steps[history.at];
        destroy_field(leaving.field);
        leaving.field = left;
        // A new step drops the ones ahead.
        for (size_t k = history.at + 1; k < history.steps.size(); ++k)
            destroy_field(history.steps[k].field);
        history.steps.resize(history.at + 1);
    } else {
        destroy_field(left);
    }
    history.steps.push_back(RangeStep{path, range, binning, nullptr});
    if (history.steps.size() > kMostSteps) {
        destroy_field(history.steps.front().field);
        history.steps.erase(history.steps.begin());
    }
    history.at = history.steps.size() - 1;
    limit_kept_fields(history);
}

int binned_as(const Settings& settings)
{
    return settings.binning | (settings.log_x ? 2 : 0) | (settings.log_y ? 4 : 0);
}

void clear_range_history(AppState* state)
{
    for (RangeStep& step : state->history.steps)
        destroy_field(step.field);
    state->history = RangeHistory{};
}
