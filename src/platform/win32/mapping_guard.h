// Mapped files that may shrink while they are read. A read of a mapped page
// past a file's new end raises SIGBUS, which would end the process; while a
// view is guarded, such a page reads as zeros instead and the view is marked
// as changed, so that its reader can say so and drop what it read.
#pragma once

#include <cstddef>

// A slot for the view [start, start + length), or -1 when every slot is
// taken (the view then goes unguarded).
int guard_mapped_view(const void* start, std::size_t length);
// Whether a page of the view had to be replaced since it was guarded.
bool mapped_view_changed(int slot);
// Before the view is unmapped.
void unguard_mapped_view(int slot);
