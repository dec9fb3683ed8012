// Which of a data file's columns the viewer plots. A header of more than
// two columns is asked about once, in a small dialog whose lists start at
// the columns the reader would pick itself; the answer then holds for every
// file with the same header until the program ends.
#pragma once

#include "field/field_loader.h"
#include "shell/app_state.h"

// The columns for the file at `path` in *columns; false when the user
// cancelled the dialog (nothing is to be loaded then). A file without such
// a header leaves *columns as it was.
bool choose_data_columns(AppState* state, const char* path, ColumnRequest* columns);
