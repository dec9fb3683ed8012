#include "tools/interruption.h"

#include <signal.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_signal = 0;
struct sigaction g_before[sizeof kSignals / sizeof kSignals[0]];
bool g_kept[sizeof kSignals / sizeof kSignals[0]];

void note(int signal) { g_signal = signal; }

} // namespace

InterruptionWatch::InterruptionWatch()
{
    g_signal = 0;
    for (int k = 0; k < int(sizeof kSignals / sizeof kSignals[0]); ++k) {
        g_kept[k] = false;
        // A signal the process was started ignoring (a job in the
        // background) stays ignored.
        if (sigaction(kSignals[k], nullptr, &g_before[k]) != 0 || g_before[k].sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = note;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a read of the terminal returns at once.
        action.sa_flags = 0;
        g_kept[k] = sigaction(kSignals[k], &action, nullptr) == 0;
    }
}

InterruptionWatch::~InterruptionWatch()
{
    for (int k = 0; k < int(sizeof kSignals / sizeof kSignals[0]); ++k)
        if (g_kept[k])
            sigaction(kSignals[k], &g_before[k], nullptr);
    if (g_signal != 0)
        raise(g_signal);
}

bool InterruptionWatch::interrupted() { return g_signal != 0; }
