// State of the registry's test hook.
#include "platform/win32/registry_test_hooks.h"

#include <array>
#include <cstddef>

namespace {

struct ArmedFailure {
    bool armed = false;
    unsigned skip = 0;
    unsigned times = 0; // 0: for ever
    LSTATUS result = ERROR_DISK_FULL;
};

struct HookState {
    std::array<ArmedFailure, static_cast<size_t>(RegistryCall::Count)> failures{};
    std::array<unsigned, static_cast<size_t>(RegistryCall::Count)> counts{};
};

HookState& hook()
{
    static HookState state;
    return state;
}

} // namespace

void registry_test_fail(RegistryCall call, unsigned skip, unsigned times, LSTATUS result)
{
    hook().failures[static_cast<size_t>(call)] = ArmedFailure{true, skip, times, result};
}

unsigned registry_test_call_count(RegistryCall call) { return hook().counts[static_cast<size_t>(call)]; }

void registry_test_reset() { hook() = HookState{}; }

LSTATUS registry_injected_failure(RegistryCall call)
{
    const size_t index = static_cast<size_t>(call);
    ++hook().counts[index];
    ArmedFailure& failure = hook().failures[index];
    if (!failure.armed)
        return ERROR_SUCCESS;
    if (failure.skip > 0) {
        --failure.skip;
        return ERROR_SUCCESS;
    }
    if (failure.times > 0 && --failure.times == 0)
        failure.armed = false;
    return failure.result;
}
