// Reads a data file's points: one piece of at most 1023 bytes at a time (a
// line, or a part of a longer one), two numbers from each piece, exactly as
// fgets into a 1024-byte buffer followed by sscanf "%lf %lf" in the "C"
// numeric locale would take them, whatever the process locale is; besides,
// a comma or semicolon may separate the numbers (comma-separated files), and
// other columns can be chosen.
#pragma once

#include <cstddef>
#include <cstdio>

#include "field/point.h"
#include "field/sources/point_reading.h"

// Discards skip_lines pieces, then hands every piece's pair to the sink.
// Reads the stream to its end, or until the watch says stop; neither
// rewinds nor closes it (a plain file is mapped rather than read, and its
// stream left at the end of what was taken). The text is parsed on
// `threads` threads (0: one per core), the caller's included.
// Pieces are at most `piece_bytes` long: kPieceBytes as fgets takes them, or up
// to a mebibyte (kLongestLine), past which a line is rejected whole.
// With `before`, the counts of a read of the same text that its watch
// stopped, the read goes on from where that one stopped (its chunks passed
// over) and its counts include that read's.
ReadCounts read_chunks(std::FILE* stream, int skip_lines, ChunkSink sink, Columns columns = {}, ReadWatch watch = {},
                       unsigned threads = 0, std::size_t piece_bytes = kPieceBytes, const ReadCounts* before = nullptr);

// The same with every point handed to the sink on the caller's thread
// alone, in file order, whatever the threads.
ReadCounts read_points(std::FILE* stream, int skip_lines, PointSink sink, Columns columns = {}, ReadWatch watch = {},
                       unsigned threads = 0, std::size_t piece_bytes = kPieceBytes);

// Bytes of text one thread parses at a time, about 4 MiB unless set (tests
// set less, to cut a small file into many chunks); 0 sets the default again.
void set_point_reader_chunk_bytes(std::size_t bytes);
std::size_t point_reader_chunk_bytes();

// Whether the usual lines may be scanned with AVX2 where the processor has
// it (the default); tests turn it off to check the plain scan, which must
// give the same.
void set_point_reader_wide_scan(bool allowed);
