// Test hook of the density field: makes create fail as when memory is
// exhausted, so that the callers' failure paths can be driven. Normal code
// never includes this header.
#pragma once

// `skip` creates still succeed, then `times` creates return null (times 0:
// every later create). A new arming replaces the last one.
void density_field_test_fail_create(unsigned skip = 0, unsigned times = 1);

// Whether points may be binned four at a time with AVX2 where the
// processor has it (the default); off, the plain way, which must give the
// same bits.
void density_field_test_wide_binning(bool allowed);

// Back to creates that succeed, and the wide binning allowed.
void density_field_test_reset();
