// What a data file holds, found once, from one look at its first bytes:
// an array (.npy, by its magic, also compressed), a table of cell sums (by
// its header's names), or points as text, with its header and the way its
// lines split. The load reads this description, never the first bytes
// again, and reads its first pass from the stream the look was taken on.
#pragma once

#include <cstdio>
#include <string>

#include "field/sources/data_file.h"
#include "field/sources/file_header.h"
#include "field/sources/npy_point_source.h"

enum class DataKind {
    text,
    array,
    cell_sums,
};

struct DataDescription {
    DataKind kind = DataKind::text;
    bool read_once = false; // a pipe, a FIFO or a device: one pass, and never opened again
    FileHeader header;      // text and cell sums
    NpyLayout layout;       // an array
};

// The file at `path` (plain, .gz, .zst, or what a pipe gives) opened once,
// metered where a meter is given, and described. The stream returned gives
// the file from its start. Null with errno set when the file cannot be
// opened or read; null with `problem` set for an array whose header is
// refused.
std::FILE* open_described(const char* path, int skip_lines, DataFileMeter* meter, DataDescription* description,
                          std::string* problem);
