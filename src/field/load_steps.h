// The steps every load of points shares: opening the source, telling a
// read error from an end of file, and binning a read into a new field.
#pragma once

#include <cstdio>
#include <memory>

#include "field/load_request.h"
#include "field/sources/data_file.h"

// The request's file opened through the watch's meter; null with
// cannot_open and the error where it cannot be.
File open_source(const LoadRequest& request, const LoadWatch& watch, LoadedField& result);

// Damaged compressed data says how (the decompressor told the meter), not
// just EIO.
void name_damage(const LoadWatch& watch, LoadedField& result);

// A read error is no end of file: what was read would show part of the data
// (or none, for a folder, which fopen opens) as if it were all. True, with
// cannot_read and the reason, where the read failed.
bool read_failed(std::FILE* file, const LoadWatch& watch, LoadedField& result);

// The one place a field is made: over the result's range, spreading points
// by the request's rule; null with no_memory when it cannot be made.
FieldPtr new_field(LoadedField& result);

// Bins the file's points (or the kept ones) into a new field over the
// result's range, and hands the field to the result with what the load
// counted. The load reads under `read_watch`, and gathers the points'
// bounds in `gathered` where it is given. With `beginning`, the kept points
// of the file's beginning, the file is read from where they end.
void bin_into_field(const LoadRequest& request, const LoadWatch& watch, ReadWatch read_watch, std::FILE* file,
                    KeptPoints* keep, bool from_kept, KeptPoints* load_keeps, PlacedBounds* gathered,
                    LoadedField& result, const KeptPoints* beginning = nullptr);
