// The options several of varnel-cli's commands take (range, columns,
// binning, threads, camera), each declared here once with its one rule.
#pragma once

#include <string>

#include "field/field_loader.h"
#include "render/scene/camera.h"
#include "tools/option_table.h"

// The rule every command holds a range to: each axis's ends finite and in
// order (min < max), and their span a finite double, without which every
// point would fall in the first cell. Empty when the range keeps it, else
// the usage error, the same for every command.
std::string range_problem(const Range& r);

// "--range XMIN XMAX YMIN YMAX", or, where `fit` is given, "--range auto":
// the one range rule (range_problem) for every command that takes one.
void add_range_option(OptionTable& table, Range* range, bool* fit);
// "--columns X Y": each by number (1 to kMaxColumn) or by the header's name.
void add_columns_option(OptionTable& table, ColumnRequest* columns);
// "--weight COL" and "--mean COL", each by number or by the header's name,
// and the flags "--log-x" and "--log-y".
void add_value_options(OptionTable& table, LoadRequest* request);
// The flags "--log-x" and "--log-y" alone.
void add_log_options(OptionTable& table, bool* log_x, bool* log_y);
// "--binning RULE"; `chosen` (may be null) is set when it was given.
void add_binning_option(OptionTable& table, BinningRule* rule, bool* chosen);
// "--threads N": 0 (one per core) to kMostThreads.
inline constexpr long kMostThreads = 1024;
void add_threads_option(OptionTable& table, unsigned* threads, const std::string& help);
// "--camera RADIUS AZIMUTH ELEVATION", each within its limits.
void add_camera_option(OptionTable& table, CameraSetting* camera);
