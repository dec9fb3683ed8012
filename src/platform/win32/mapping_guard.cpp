#include "platform/win32/mapping_guard.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>

namespace {

// Views read at once: a data file and a texture, with room to spare. Slots
// are plain atomics, so the signal handler reads them without a lock.
constexpr int kSlots = 16;

struct Slot {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> start{0}; // 0: nothing guarded here
    std::atomic<std::size_t> length{0};
    std::atomic<bool> changed{false};
};
Slot g_slots[kSlots];

struct sigaction g_previous;

void on_bus_error(int signal, siginfo_t* info, void* context)
{
    // Only a fault has an address; a SIGBUS sent by kill() is passed on.
    const auto address = info->si_code > 0 ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
    for (Slot& slot : g_slots) {
        const std::uintptr_t start = slot.start.load(std::memory_order_acquire);
        if (start == 0 || address == 0 || address < start ||
            address - start >= slot.length.load(std::memory_order_relaxed))
            continue;
        // Zeros over the page that is gone; the faulting read runs again.
        const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        void* at = reinterpret_cast<void*>(address / page * page);
        if (mmap(at, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            slot.changed.store(true, std::memory_order_relaxed);
            return;
        }
        break;
    }
    // Not ours: what was there before takes it, as if this handler had never
    // been (a handler that re-raises the signal must not meet this one again).
    (void)context;
    sigaction(signal, &g_previous, nullptr);
    raise(signal);
}

// Installed while a view is guarded; put back in front of a handler
// installed since, which it then passes other faults on to.
void install_handler()
{
    struct sigaction current;
    if (sigaction(SIGBUS, nullptr, &current) != 0)
        return;
    if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == on_bus_error)
        return;
    struct sigaction action = {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    g_previous = current;
    sigaction(SIGBUS, &action, nullptr);
}

} // namespace

int guard_mapped_view(const void* start, std::size_t length)
{
    if (!start || length == 0)
        return -1;
    for (int k = 0; k < kSlots; ++k) {
        Slot& slot = g_slots[k];
        if (slot.taken.exchange(true))
            continue;
        slot.length.store(length, std::memory_order_relaxed);
        slot.changed.store(false, std::memory_order_relaxed);
        slot.start.store(reinterpret_cast<std::uintptr_t>(start), std::memory_order_release);
        install_handler();
        return k;
    }
    return -1;
}

bool mapped_view_changed(int slot)
{
    return slot >= 0 && slot < kSlots && g_slots[slot].changed.load(std::memory_order_relaxed);
}

void unguard_mapped_view(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    g_slots[slot].start.store(0, std::memory_order_release);
    g_slots[slot].taken.store(false, std::memory_order_release);
}
