// The ring of threads that reads any point source: chunks parsed ahead on
// worker threads, their partials added into the total strictly in chunk
// order on the caller's thread, so the total is the same whatever the
// number of threads.
#pragma once

#include "field/sources/point_reading.h"
#include "field/sources/point_source.h"

// Threads a read takes at most, for each core.
inline constexpr unsigned kThreadsPerCore = 4;

// Reads the source to its end (or until its watch stops it) on `threads`
// threads, the caller's included (0: one per core; at most kThreadsPerCore
// a core, whatever is asked). A source that goes on from where an earlier
// read of the same input stopped counts on from that read's counts
// (`before`): its lines are numbered from the input's start, and a header
// is looked for only at the start.
ReadCounts read_source(PointSource& source, ChunkSink sink, unsigned threads, const ReadCounts* before = nullptr);
