// Test hook of the data files: makes mapping a file fail, as it does where
// the address space is short (ulimit -v) or the file system cannot map, so
// that the readers' other way can be driven. Normal code never includes
// this header.
#pragma once

// `skip` mappings still succeed, then `times` fail (times 0: every later
// one). A new arming replaces the last one.
void data_file_test_fail_maps(unsigned skip = 0, unsigned times = 0);

// Back to mappings that succeed.
void data_file_test_reset();
