// Data files as the reader takes them: plain text, or text compressed with
// gzip (".gz") or Zstandard (".zst"), decompressed as it is read, so no
// temporary file and no whole-file buffer is ever made.
#pragma once

#include <cstdio>

// The file opened for reading, or null with errno set. A damaged or cut
// compressed stream shows as a read error on the stream (ferror), after the
// text that could be read.
std::FILE* open_data_file(const char* path);
