// Every text the program shows, by id, in one table per language
// (texts_japanese.cpp, texts_english.cpp). The language is the user's:
// English when the locale asks for it, Japanese otherwise.
#pragma once

#include <span>

enum class TextId : int {
    program_title,
    title_format, // the title after a load: the name comes with its length, so a long one is cut whole
    // Start-up failures.
    startup_error_caption,
    no_memory,
    no_panel,
    no_direct3d,
    // Data-load failures.
    data_error_caption, // also the caption of a failed save
    cannot_open,        // followed by the file and the system's reason
    not_a_regular_file,
    file_changed,  // why a data file could not be read: it shrank while it was read // the reason given for a device or
                   // pipe chosen as a data file
    path_too_long, // a path longer than the 1023 bytes kept for one
    no_field,
    // A file without a point: the file, and the first line that held text but
    // no point (the second form when there is none).
    no_readable_point_format,
    no_point_format,
    // Points, none inside the range: how many, the range (X from, to; Y from,
    // to), and the question whether to fit the range to them.
    none_in_range_caption,
    none_in_range_format,
    // The number fields of the panel: their names in a message, and the
    // message for text that is no number there (the field, then its text).
    x_min_field,
    x_max_field,
    y_min_field,
    y_max_field,
    x_marker_field,
    y_marker_field,
    not_a_number_format,
    // The progress of a long load: the dialog's title and its button.
    loading_title,
    cancel_button,
    // The dialog that picks which of a data file's columns are x and y.
    columns_title,
    columns_prompt,
    height_label,       // the columns dialog's third list: what the height shows
    height_count_entry, // ... its first entry, the count of points
    // Saving the picture: the render area's menu item, the dialog, and the
    // failure, whose text takes the file's path for %s.
    save_picture_item,
    save_dialog_title,
    fit_range_item,    // the same menu: the plot range fitted to the data file
    range_fitted_note, // after the status line: a new file's range was fitted to its points
    // The same menu: a table in a database, its address typed into a dialog.
    open_data_file_item,
    open_database_item,
    database_title,
    database_label,
    database_password_label,
    open_button,
    // The picture's choices in the same menu. The colour maps other than grey
    // and the smoothing widths show their names and numbers as they are.
    colour_map_menu,
    grey_map_item,
    smoothing_menu,
    no_smoothing_item,
    auto_smoothing_item, // a width from the data
    log_scale_item,
    texture_only_item,
    show_axes_item,
    classic_binning_item, // the same menu: the classic binning rule instead of bilinear
    fit_camera_item,      // the same menu: the distance that shows the whole surface
    map_view_item,        // the same menu: the field flat, seen straight down, axes on its edges
    log_x_item,           // the same menu: x binned and ticked on a logarithmic axis
    log_y_item,
    equal_aspect_item, // the same menu: the map's units of x and y equally long
    zoom_to_peak_item, // the same menu: the range around the highest peak's half-height region
    range_back_item,   // the same menu: the range before, and after, in the history of ranges
    range_forward_item,
    cannot_save_format,
    // The file dialogs.
    data_dialog_title,
    texture_dialog_title,
    data_filter,    // pairs of a name and its patterns, each ending in a zero; a second zero ends the list
    texture_filter, // every kind of file the texture loader reads first, then everything
    // The picture's own words: the axes' names beside their edges, the height
    // scale's unit, and the status line, which takes the data file's name and
    // the counts of points read and in range (then, where there were any, the
    // count of lines rejected) for its %s.
    axis_x_name,
    axis_y_name,
    height_scale_unit,
    status_line_format,
    status_rejected_format,
    status_not_a_number_format, // before the rejected lines: points with a NaN coordinate
    status_smoothing_format,    // the width the automatic smoothing chose
    pointer_readout_format,     // under the pointer: x, y, the nearest node's points and height
    pointer_measure_format,     // ... over sums or means: x, y, the scale's name, the node's value, height
    pointer_no_points_format,   // ... a mean's node that no point reached: x, y
    status_nonpositive_format,  // after the NaN points: points at or below zero on a log axis
    scale_sum_format,           // the height scale's name for weights: the weight column's name for %s
    scale_mean_format,          // ... for means: the averaged column's name for %s
    // The control panel's labels and buttons.
    panel_plot_data,
    panel_load,
    panel_texture,
    panel_clear,
    panel_marker,
    panel_set,
    panel_camera,
    panel_distance,
    panel_azimuth,
    panel_elevation,
    count
};
inline constexpr int kTextCount = static_cast<int>(TextId::count);

enum class UiLanguage { japanese, english };

struct TextRow {
    TextId id;
    const char* text;
};

// The tables, each with one row per id in the order of TextId.
extern const TextRow kJapaneseTexts[kTextCount];
extern const TextRow kEnglishTexts[kTextCount];
std::span<const TextRow> text_table(UiLanguage language);

// Row i holds the text of id i; a table that skips or repeats an id fails to build.
constexpr bool rows_follow_the_ids(const TextRow (&rows)[kTextCount])
{
    for (int i = 0; i < kTextCount; ++i)
        if (static_cast<int>(rows[i].id) != i || !rows[i].text || !rows[i].text[0])
            return false;
    return true;
}

// The language of the user interface, chosen once from the locale.
UiLanguage ui_language();

// The text in the user's language.
const char* text(TextId id);
