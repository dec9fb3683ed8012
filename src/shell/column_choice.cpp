#include "shell/column_choice.h"

#include <cstdio>
#include <string>
#include <vector>

#include "field/sources/clickhouse_source.h"
#include "field/sources/data_description.h"
#include "resources/program_resources.h"
#include "resources/resource_ids.h"

namespace {

// What the dialog shows and what it answers.
struct ColumnsQuestion {
    const FileHeader* header;
    Columns columns; // the lists' first choice, then the answer
};

// "3  bill_length_mm": a column by its number and name.
std::string column_entry(int number, const std::string& name) { return std::to_string(number) + "  " + name; }

INT_PTR CALLBACK columns_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* question = reinterpret_cast<ColumnsQuestion*>(GetWindowLongPtrA(dialog, GWL_USERDATA));
    switch (message) {
    case WM_INITDIALOG: {
        question = reinterpret_cast<ColumnsQuestion*>(lParam);
        SetWindowLongPtrA(dialog, GWL_USERDATA, lParam);
        const auto& columns = question->header->columns;
        for (int list : {IDC_X_COLUMN, IDC_Y_COLUMN})
            for (std::size_t k = 0; k < columns.size(); ++k)
                SendDlgItemMessageA(dialog, list, CB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(column_entry(int(k) + 1, columns[k].name).c_str()));
        SendDlgItemMessageA(dialog, IDC_X_COLUMN, CB_SETCURSEL, WPARAM(question->columns.x - 1), 0);
        SendDlgItemMessageA(dialog, IDC_Y_COLUMN, CB_SETCURSEL, WPARAM(question->columns.y - 1), 0);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            const auto x = SendDlgItemMessageA(dialog, IDC_X_COLUMN, CB_GETCURSEL, 0, 0);
            const auto y = SendDlgItemMessageA(dialog, IDC_Y_COLUMN, CB_GETCURSEL, 0, 0);
            // One column for both would plot a line, not the data: the
            // dialog stays until they differ.
            if (x == CB_ERR || y == CB_ERR || x == y)
                return TRUE;
            question->columns = Columns{int(x) + 1, int(y) + 1};
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

bool choose_data_columns(AppState* state, const char* path, ColumnRequest* columns)
{
    if (is_database_address(path))
        return true;
    // One look at the file, as the load takes it: an array or a table of
    // cell sums has no columns to choose here.
    DataDescription description;
    std::string problem;
    std::FILE* file = open_described(path, 0, nullptr, &description, &problem);
    if (file)
        std::fclose(file);
    const FileHeader& header = description.header;
    if (!file || description.kind != DataKind::text || !header.present || header.columns.size() <= 2)
        return true; // the load says what is wrong with the file, or picks the two there are
    const std::string key = header_key(header);
    if (state->column_header != key) {
        ColumnsQuestion question{&header, columns_to_plot(header)};
        if (DialogBoxIndirectParamA(GetModuleHandleA(nullptr), &kColumnsTemplate, state->main_window,
                                    columns_dialog_proc, reinterpret_cast<LPARAM>(&question)) != IDOK)
            return false;
        state->column_header = key;
        state->chosen_columns = question.columns;
    }
    columns->numbers = state->chosen_columns;
    columns->chosen = true;
    return true;
}
