// Test hook of the density field: makes create fail as when memory is
// exhausted, so that the callers' failure paths can be driven. Normal code
// never includes this header.
#pragma once

// `skip` creates still succeed, then `times` creates return null (times 0:
// every later create). A new arming replaces the last one.
void density_field_test_fail_create(unsigned skip = 0, unsigned times = 1);

// Back to creates that succeed.
void density_field_test_reset();
