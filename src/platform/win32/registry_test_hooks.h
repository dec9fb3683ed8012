// Test hook of the registry: chosen calls made to fail, so that every
// failure path of the callers can be driven without breaking the files
// underneath. The program never arms it; without it every call goes ahead.
//
// The hook is process-wide and not synchronised: set it up from the test's
// thread while nothing else uses the registry.
#pragma once

#include "platform/win32/winreg.h"

enum class RegistryCall {
    OpenKey,    // RegOpenKeyExA
    CreateKey,  // RegCreateKeyExA
    QueryValue, // RegQueryValueExA
    SetValue,   // RegSetValueExA
    FlushKey,   // RegFlushKey, and the flush RegCloseKey does before it lets go
    Count
};

// Makes calls of one kind fail: `skip` calls still succeed, then `times`
// calls fail with `result` (times 0: every later call fails). The failed call
// does nothing else; a key handle it would give back is set to null. A new
// arming replaces the last one for the same kind.
void registry_test_fail(RegistryCall call, unsigned skip = 0, unsigned times = 1, LSTATUS result = ERROR_DISK_FULL);

// Number of calls of this kind made since the last registry_test_reset,
// failed ones included.
unsigned registry_test_call_count(RegistryCall call);

// No armed failures, all counts 0.
void registry_test_reset();

// The registry's side: counts the call; ERROR_SUCCESS when it is to go
// ahead, else the result it fails with.
LSTATUS registry_injected_failure(RegistryCall call);
