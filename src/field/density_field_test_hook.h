// Test hook of the density field: makes create fail as when memory is
// exhausted, so that the callers' failure paths can be driven. Normal code
// never includes this header.
#pragma once

// `skip` creates still succeed, then `times` creates return null (times 0:
// every later create). A new arming replaces the last one.
void density_field_test_fail_create(unsigned skip = 0, unsigned times = 1);

// The most points binned a step: 8 (the default) takes AVX-512 where the
// processor has it, 4 AVX2, 1 the plain way; each must give the same bits.
void density_field_test_binning_lanes(unsigned lanes);

// Later loads count their rejected points on from `count`, as if that many
// had already been read: counts past 32 bits without billions of lines.
void density_field_test_rejected_before_load(long long count);

// Back to creates that succeed, the widest binning, counts from 0.
void density_field_test_reset();
