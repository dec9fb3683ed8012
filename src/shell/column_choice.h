// Which of a data file's columns the viewer plots, and what the height
// shows: the count of points, or the sum or the mean of a third column. A
// header of more than two columns is asked about once, in a small dialog
// whose lists start at the columns the reader would pick itself; the answer
// then holds for every file with the same header until the program ends.
#pragma once

#include "field/field_loader.h"
#include "shell/app_state.h"

// The columns for a file with `header` in *columns, which hold the reader's
// own pick; false when the user cancelled the dialog (nothing is to be
// loaded then). The load asks it after its one look at the file.
bool choose_data_columns(AppState* state, const FileHeader& header, Columns* columns);
