// The text of a data file, plain or decompressed as it is read, as a
// source of chunks of whole pieces. A plain file is mapped rather than read.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "field/sources/point_source.h"

// The source over the rest of `stream`, cut into chunks of about `block`
// bytes, its first `skip_lines` pieces passed over, pieces of at most
// `piece_bytes` (see parse_text_chunk); the watch is asked once a megabyte.
// Its first `skip_chunks` chunks are passed over too, cut as a read from
// the same start cuts them, so that it goes on where such a read stopped.
std::unique_ptr<PointSource> open_text_source(std::FILE* stream, ReadWatch watch, std::size_t block, Columns columns,
                                              int skip_lines, std::size_t piece_bytes, long long skip_chunks = 0);
