// KERNEL32's millisecond clock, and the clock a test may put in its place.
#include <atomic>
#include <chrono>

#include "platform/win32/winbase.h"
#include "platform/win32/win32_test_hooks.h"

namespace {

// A test's clock: where it stands, and how far each read moves it on.
std::atomic<bool> g_scripted_clock{false};
std::atomic<DWORD> g_scripted_now{0};
std::atomic<DWORD> g_scripted_step{0};

} // namespace

void win32_script_tick_count(DWORD step_ms)
{
    g_scripted_step = step_ms;
    g_scripted_clock = true;
}

void win32_real_tick_count() { g_scripted_clock = false; }

DWORD GetTickCount(void)
{
    if (g_scripted_clock)
        return g_scripted_now += g_scripted_step;
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
