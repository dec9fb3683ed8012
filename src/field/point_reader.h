// Reads a data file's points: one piece of at most 1023 bytes at a time (a
// line, or a part of a longer one), two numbers from each piece, exactly as
// fgets into a 1024-byte buffer followed by sscanf "%lf %lf" in the "C"
// numeric locale would take them, whatever the process locale is.
#pragma once

#include <cstddef>
#include <cstdio>

struct Point {
    double x;
    double y;
};

// Receives the points in file order, a batch at a time.
struct PointSink {
    void (*take)(void* context, const Point* points, std::size_t count);
    void* context;
};

// Two numbers from one piece [begin, end), as sscanf "%lf %lf" takes them
// from the same bytes; false when the piece does not start with two numbers.
bool parse_point(const char* begin, const char* end, Point* point);

// Discards skip_lines pieces, then hands every piece's pair to the sink.
// Reads the stream to its end; neither rewinds nor closes it.
void read_points(std::FILE* stream, int skip_lines, PointSink sink);
