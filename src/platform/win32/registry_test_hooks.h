// Test-only controls of the registry. The program never calls these.
#pragma once

// Makes the n-th RegSetValueExA from now on (1 = the next one) fail with
// ERROR_DISK_FULL without touching the file; 0 cancels. One failure only.
void registry_fail_nth_set_value(unsigned n);
