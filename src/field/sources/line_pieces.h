// A data file's text as pieces: a line, or a 1023-byte part of a longer
// one, as fgets into a 1024-byte buffer hands them out; and a chunk of
// whole pieces parsed into points.
#pragma once

#include <cstddef>
#include <vector>

#include "field/sources/point_source.h"

// Lines are read in pieces of kPieceBytes (point_reader.h), or else whole
// up to this bound; a longer line is one rejected line, none of its parts
// read as a line of its own.
inline constexpr std::size_t kLongestLine = std::size_t(1) << 20;

// parse_text_chunk hands its points to the sink this many at a time, while
// they are still in the cache, from the front of its `points` scratch.
inline constexpr std::size_t kBatchPoints = 4096;

// End of the piece that starts at `start`: just past its line feed, or
// `piece_bytes` on, or the end of the data, whichever comes first.
const char* piece_end(const char* start, const char* end, std::size_t piece_bytes);

// Bytes at the front of `text` that make whole pieces, when more text may
// follow: up to the last line feed, or without one, pieces of `piece_bytes`.
std::size_t whole_pieces(const char* text, std::size_t size, std::size_t piece_bytes);

// Every piece of [begin, end), which starts at a piece start and ends at a
// piece end or at the end of the data; the points into `partial`, through
// the `points` scratch, made at least kBatchPoints long. The usual lines are taken the widest way the
// processor allows, unless set_point_reader_wide_scan forbade it.
// Pieces are at most `piece_bytes` long: kPieceBytes as fgets takes them,
// or kLongestLine, past which a line is rejected whole.
ChunkCounts parse_text_chunk(const char* begin, const char* end, Columns columns, std::size_t piece_bytes,
                             const ChunkSink& sink, void* partial, std::vector<Point>& points);
