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

// fgets with a 1024-byte buffer hands out at most this many bytes per read.
inline constexpr std::size_t kPieceBytes = 1023;

// Receives the points in file order, a batch at a time.
struct PointSink {
    void (*take)(void* context, const Point* points, std::size_t count);
    void* context;
};

// Which columns of a line hold x and y, from 1, and how a line splits into
// columns. With no separator, columns are separated by white space, or by
// one comma, semicolon or tab with spaces around it, so that two tabs hold
// an empty column; columns 1 and 2 are read as sscanf "%lf %lf" reads
// them. With the separator a file's first lines show (text_dialect.h),
// only it ends a column: spaces belong to the field ("United States"), a
// field may be quoted, and with decimal_comma "1,5" is one and a half.
struct Columns {
    int x = 1;
    int y = 2;
    char separator = 0;           // 0, or ',', ';' or '\t'
    bool decimal_comma = false;   // a comma in a number is its decimal mark
    bool byte_order_mark = false; // the file begins with UTF-8's, to pass over
    int weight = 0;               // the column of each point's weight; 0: none
    int value = 0;                // the column averaged at the nodes; 0: none
    bool has_values() const { return weight > 0 || value > 0; }
};

// What a read found, piece by piece (a piece is a line, or a part of a line
// longer than 1023 bytes), after the skipped ones.
struct ReadCounts {
    long long points = 0;              // pieces that gave a point
    long long rejected_lines = 0;      // pieces with text but no point, comments and the header aside
    long long first_rejected_line = 0; // the first of those, counted from 1; 0 for none
    bool header = false;               // the first piece was text without a point, and passed over
    bool stopped = false;              // the watch ended the read before the end of the stream
    bool changed = false;              // the file shrank while it was read: what was read is not the file
};

// Asked after each megabyte the reader takes from the stream, so rarely
// enough to cost nothing; false stops the read there.
struct ReadWatch {
    bool (*go_on)(void* context) = nullptr;
    void* context = nullptr;
};

// Two numbers from one piece [begin, end), as sscanf "%lf %lf" takes them
// from the same bytes, except that one comma or semicolon may stand between
// them; false when the piece does not start with two numbers.
bool parse_point(const char* begin, const char* end, Point* point);

// Takes the points a chunk at a time. A chunk is a run of whole pieces cut
// from the text by its bytes alone (see the chunk bytes below), never by the
// threads. Each chunk's points go into a partial of the chunk's own on
// whichever thread parsed it; the partials are then added into the total one
// by one in file order on the caller's thread, so the total is the same
// whatever the number of threads.
struct ChunkSink {
    // A new, empty partial.
    void* (*make)(void* context);
    // Points into a partial: called on several threads at once, each with a
    // partial of its own, while `add` works on others.
    void (*take)(void* context, void* partial, const Point* points, std::size_t count);
    // The partial into the total, leaving the partial empty again.
    void (*add)(void* context, void* partial);
    void (*destroy)(void* context, void* partial);
    void* context;
    // Points with their values, where the columns name a weight or a value
    // column; a sink without it gets the points alone through `take`.
    void (*take_values)(void* context, void* partial, const Point* points, const PointValues* values,
                        std::size_t count) = nullptr;
};

// Discards skip_lines pieces, then hands every piece's pair to the sink.
// Reads the stream to its end, or until the watch says stop; neither
// rewinds nor closes it (a plain file is mapped rather than read, and its
// stream left at the end of what was taken). The text is parsed on
// `threads` threads (0: one per core), the caller's included.
// Pieces are at most `piece_bytes` long: kPieceBytes as fgets takes them, or up
// to a mebibyte (kLongestLine), past which a line is rejected whole.
ReadCounts read_chunks(std::FILE* stream, int skip_lines, ChunkSink sink, Columns columns = {}, ReadWatch watch = {},
                       unsigned threads = 0, std::size_t piece_bytes = kPieceBytes);

// The same with every point handed to the sink on the caller's thread
// alone, in file order, whatever the threads.
ReadCounts read_points(std::FILE* stream, int skip_lines, PointSink sink, Columns columns = {}, ReadWatch watch = {},
                       unsigned threads = 0, std::size_t piece_bytes = kPieceBytes);

// Bytes of text one thread parses at a time, about 4 MiB unless set (tests
// set less, to cut a small file into many chunks); 0 sets the default again.
void set_point_reader_chunk_bytes(std::size_t bytes);

// Whether the usual lines may be scanned with AVX2 where the processor has
// it (the default); tests turn it off to check the plain scan, which must
// give the same.
void set_point_reader_wide_scan(bool allowed);
