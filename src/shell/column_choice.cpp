#include "shell/column_choice.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "resources/program_resources.h"
#include "resources/resource_ids.h"
#include "resources/texts.h"

namespace {

// An entry of the height's list: the count, or the sum or the mean of a
// numeric column.
struct HeightChoice {
    int weight = 0; // the columns, from 1; 0: none
    int value = 0;
};

// What the dialog shows and what it answers.
struct ColumnsQuestion {
    const FileHeader* header;
    Columns columns; // the lists' first choice, then the answer
    std::vector<HeightChoice> heights;
};

// "3  bill_length_mm": a column by its number and name.
std::string column_entry(int number, const std::string& name) { return std::to_string(number) + "  " + name; }

// The height's list: the count first, then the sum of each column that
// holds numbers, then the mean of each.
std::vector<std::pair<HeightChoice, std::string>> height_entries(const FileHeader& header)
{
    std::vector<std::pair<HeightChoice, std::string>> entries{{HeightChoice{}, text(TextId::height_count_entry)}};
    for (const TextId format : {TextId::scale_sum_format, TextId::scale_mean_format})
        for (std::size_t k = 0; k < header.columns.size(); ++k) {
            const HeaderColumn& column = header.columns[k];
            if (!column.numeric || column.row_index)
                continue;
            char entry[512];
            std::snprintf(entry, sizeof entry, text(format), column.name.c_str());
            const int number = int(k) + 1;
            entries.push_back(
                {format == TextId::scale_sum_format ? HeightChoice{number, 0} : HeightChoice{0, number}, entry});
        }
    return entries;
}

void fill_lists(HWND dialog, ColumnsQuestion* question)
{
    const auto& columns = question->header->columns;
    for (int list : {IDC_X_COLUMN, IDC_Y_COLUMN})
        for (std::size_t k = 0; k < columns.size(); ++k)
            SendDlgItemMessageA(dialog, list, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(column_entry(int(k) + 1, columns[k].name).c_str()));
    SendDlgItemMessageA(dialog, IDC_X_COLUMN, CB_SETCURSEL, WPARAM(question->columns.x - 1), 0);
    SendDlgItemMessageA(dialog, IDC_Y_COLUMN, CB_SETCURSEL, WPARAM(question->columns.y - 1), 0);
    int current = 0;
    for (const auto& [choice, entry] : height_entries(*question->header)) {
        if (choice.weight == question->columns.weight && choice.value == question->columns.value)
            current = int(question->heights.size());
        question->heights.push_back(choice);
        SendDlgItemMessageA(dialog, IDC_HEIGHT_MEASURE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_HEIGHT_MEASURE, CB_SETCURSEL, WPARAM(current), 0);
}

INT_PTR CALLBACK columns_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* question = reinterpret_cast<ColumnsQuestion*>(GetWindowLongPtrA(dialog, GWL_USERDATA));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, GWL_USERDATA, lParam);
        fill_lists(dialog, reinterpret_cast<ColumnsQuestion*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            const auto x = SendDlgItemMessageA(dialog, IDC_X_COLUMN, CB_GETCURSEL, 0, 0);
            const auto y = SendDlgItemMessageA(dialog, IDC_Y_COLUMN, CB_GETCURSEL, 0, 0);
            const auto height = SendDlgItemMessageA(dialog, IDC_HEIGHT_MEASURE, CB_GETCURSEL, 0, 0);
            // One column for both would plot a line, not the data: the
            // dialog stays until they differ.
            if (x == CB_ERR || y == CB_ERR || x == y)
                return TRUE;
            question->columns.x = int(x) + 1;
            question->columns.y = int(y) + 1;
            const HeightChoice chosen = height >= 0 && std::size_t(height) < question->heights.size()
                ? question->heights[std::size_t(height)]
                : HeightChoice{};
            question->columns.weight = chosen.weight;
            question->columns.value = chosen.value;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

// The header's names, one string, to know the same header again.
std::string header_key(const FileHeader& header)
{
    std::string key;
    for (const HeaderColumn& column : header.columns)
        key += column.name + '\x1f';
    return key;
}

} // namespace

bool choose_data_columns(AppState* state, const FileHeader& header, Columns* columns)
{
    const std::string key = header_key(header);
    if (state->column_header != key) {
        ColumnsQuestion question{&header, *columns, {}};
        if (DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &kColumnsTemplate, state->main_window,
                                    columns_dialog_proc, reinterpret_cast<LPARAM>(&question)) != IDOK)
            return false;
        state->column_header = key;
        state->chosen_columns = question.columns;
    }
    columns->x = state->chosen_columns.x;
    columns->y = state->chosen_columns.y;
    columns->weight = state->chosen_columns.weight;
    columns->value = state->chosen_columns.value;
    return true;
}
