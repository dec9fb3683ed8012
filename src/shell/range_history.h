// The ranges the plot has shown, in order: every zoom, fit, typed range and
// new file is a step, and the user walks back and forward through them.
// The last few fields left behind are kept, so that a step back to one of
// them draws at once instead of reading the data again.
#pragma once

#include <cstddef>

#include "field/density_field.h"
#include "field/range.h"
#include "platform/win32/windows.h"
#include "shell/range_steps.h"

struct AppState;

// How many fields left behind stay in memory, and steps in the history.
inline constexpr int kKeptFields = 4;
inline constexpr size_t kMostSteps = 100;

// A field of `path` over `range` is now shown, `left` being the one it
// replaced (owned from here on: kept for its step or destroyed).
void record_range_step(AppState* state, const char* path, const Range& range, DensityField* left);
// Destroys every kept field.
void clear_range_history(AppState* state);

// How the settings bin a field now (rule and log axes): a kept field is
// shown again only where it was binned alike.
struct Settings;
int binned_as(const Settings& settings);
