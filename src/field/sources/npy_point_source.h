// Arrays saved by NumPy (".npy", header versions 1.0 to 3.0) as a source of
// chunks of whole records: a 2-D array of shape (N, k) in C or Fortran order
// (the latter from a plain file only, read in place), or a
// 1-D structured array, of integers or floats of either byte order. The
// file is mapped, never read past its end, and the rest of the reader (the
// ring of threads, the field) is the one text goes through.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "field/sources/point_source.h"

// One value of a record: its name (a structured array's field; empty for a
// plain array's column), where it lies in the record and how it is stored.
struct NpyColumn {
    std::string name;
    std::size_t offset = 0;
    char kind = 'f'; // 'f' float, 'i' signed, 'u' unsigned
    int size = 8;    // bytes
    bool big_endian = false;
};

// A 2-D array in Fortran order (as NumPy saves a DataFrame's values) lies
// column after column: its "record" is then one value, and each column's
// offset is where the column starts.
struct NpyLayout {
    std::size_t data_offset = 0; // bytes before the first record
    std::size_t record_size = 0;
    bool fortran_order = false;
    unsigned long long records = 0;
    bool structured = false;
    std::vector<NpyColumn> columns;
};

// Why an array stored by columns is refused from a stream or a compressed
// file: it would have to be held whole.
inline constexpr char kColumnsStoredApart[] =
    "it is stored column by column (Fortran order), which is read from a plain file only";

// Whether the bytes begin as a .npy file does.
bool is_npy(const void* bytes, std::size_t size);

// Whether bytes that begin as a .npy file does hold its whole header, or
// enough of it to refuse it.
bool holds_npy_header(const std::string& head);

// Whether the name says a .npy file (".npy", ".npy.gz", ".npy.zst").
bool is_npy_name(const char* path);

// From the stream, the bytes of a .npy file's preamble and header where it
// begins as one does, else no more than the magic's length, into *head;
// false on a read error.
bool read_npy_head(std::FILE* stream, std::string* head);

// The layout told by a file's first bytes (the preamble and the whole
// header, at least); false with the reason in `problem` for a header that
// this reader cannot trust or does not take.
bool parse_npy_header(const void* bytes, std::size_t size, NpyLayout* layout, std::string* problem);

// Whether a layout read from a file's first bytes suits the file: a plain
// file's size must hold its records; only a plain file is read by columns.
// False with the reason.
bool npy_layout_fits(const NpyLayout* layout, bool plain, long long file_size, std::string* problem);

// The source over a .npy file at the stream's position, x and y from the
// columns counted from 1, its first `skip_records` records passed over: a
// mapped file is read in place, any other stream (a pipe, a decompressed
// file, a file that could not be mapped) a block at a time. Null when the
// stream holds no .npy file; the bytes read off an unmapped stream to see
// so are then in *head_read, for the text reader to take first. A header
// refused here (the file changed since the loader read it) and a stream
// that ends before its records do read as a changed file.
std::unique_ptr<PointSource> open_npy_source(std::FILE* stream, ReadWatch watch, std::size_t block, Columns columns,
                                             long long skip_records, std::string* head_read);
