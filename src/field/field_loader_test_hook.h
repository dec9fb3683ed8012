// Test hook of the field loader: the sizes at which a fit of an array first
// guesses its range from the array's first part, so that a small file can
// take that way. Normal code never includes this header.
#pragma once

// Arrays of `least_bytes` or more guess; the first part is a 32nd of the
// array, `least_megabytes` at least. 0 for either: its default again.
void field_loader_test_guess_sizes(unsigned long long least_bytes, long long least_megabytes);
