// What a read of points takes and gives: the sinks its points go to, the
// columns it reads, what it counted and the watch that may stop it. Every
// source hands its points out through these; point_reader.h reads text.
#pragma once

#include <cstddef>

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
    long long pieces = 0;              // pieces read, with and without a point
    long long chunks = 0;              // chunks cut whole before the read ended (a stopped one's last is cut short)
};

// Asked after each megabyte the reader takes from the stream, so rarely
// enough to cost nothing; false stops the read there.
struct ReadWatch {
    bool (*go_on)(void* context) = nullptr;
    void* context = nullptr;
};

// Takes the points a chunk at a time. A chunk is a run of whole pieces cut
// from the text by its bytes alone (see the chunk bytes below), never by the
// threads. Each chunk's points go into a partial of the chunk's own on
// whichever thread parsed it; the partials are then added into the total one
// by one in file order on the caller's thread, so the total is the same
// whatever the number of threads.
struct ChunkSink {
    // A new partial, on the caller's thread; `clear` empties it before
    // each chunk, on the thread that parses the chunk.
    void* (*make)(void* context);
    // Points into a partial: called on several threads at once, each with a
    // partial of its own, while `add` works on others.
    void (*take)(void* context, void* partial, const Point* points, std::size_t count);
    // The partial into the total, on the caller's thread.
    void (*add)(void* context, void* partial);
    // A partial made empty, on the thread that parses into it next, before
    // it does.
    void (*clear)(void* context, void* partial);
    void (*destroy)(void* context, void* partial);
    void* context;
    // Points with their values, where the columns name a weight or a value
    // column; a sink without it gets the points alone through `take`.
    void (*take_values)(void* context, void* partial, const Point* points, const PointValues* values,
                        std::size_t count) = nullptr;
    // Float32 pairs (x, y, x, y, …) as an array of two float32 columns
    // holds them, for a sink that bins them without widening them first; a
    // sink without it gets them as points through `take`.
    void (*take_float_pairs)(void* context, void* partial, const float* pairs, std::size_t count) = nullptr;
};
