// Test hook of the mapped image file: a call made once a file is mapped,
// before anything reads it, so that a test can cut the file at the one
// moment that matters. Normal code never includes this header.
#pragma once

// `after_map(context)` from now on, each time a file is mapped; null for
// no call, as before any arming.
void image_file_test_after_map(bool (*after_map)(void* context), void* context);
