// Data files as the reader takes them: plain text, or text compressed with
// gzip (".gz") or Zstandard (".zst"), decompressed as it is read, so no
// temporary file and no whole-file buffer is ever made.
#pragma once

#include <cstdio>

// How far reading has come through the file as it lies on disk (for a
// compressed file, its compressed bytes), and the file's size.
struct DataFileMeter {
    long long done = 0;
    long long size = 0;
};

// The file opened for reading, or null with errno set. A damaged or cut
// compressed stream shows as a read error on the stream (ferror), after the
// text that could be read. With a meter, which must outlive the stream, the
// stream keeps it up to date as it reads.
std::FILE* open_data_file(const char* path, DataFileMeter* meter = nullptr);
