// A data file's text as pieces: a line, or a 1023-byte part of a longer
// one, as fgets into a 1024-byte buffer hands them out; and a chunk of
// whole pieces parsed into points.
#pragma once

#include <cstddef>
#include <vector>

#include "field/point_source.h"

// fgets with a 1024-byte buffer hands out at most this many bytes per read.
inline constexpr std::size_t kPieceBytes = 1023;

// End of the piece that starts at `start`: just past its line feed, or
// kPieceBytes on, or the end of the data, whichever comes first.
const char* piece_end(const char* start, const char* end);

// Bytes at the front of `text` that make whole pieces, when more text may
// follow: up to the last line feed, or without one, pieces of kPieceBytes.
std::size_t whole_pieces(const char* text, std::size_t size);

// Every piece of [begin, end), which starts at a piece start and ends at a
// piece end or at the end of the data; the points into `partial`, through
// the `points` scratch. The usual lines are taken the widest way the
// processor allows, unless set_point_reader_wide_scan forbade it.
ChunkCounts parse_text_chunk(const char* begin, const char* end, Columns columns, const ChunkSink& sink, void* partial,
                             std::vector<Point>& points);
