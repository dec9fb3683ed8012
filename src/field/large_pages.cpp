#include "field/large_pages.h"

#include <cstdint>

#include <sys/mman.h>

namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;
// Below this the heap's own pages serve: a mapping each would cost more.
constexpr std::size_t kLeastMapped = std::size_t(1) << 20;

std::size_t whole_pages(std::size_t bytes) { return (bytes + kLargePage - 1) / kLargePage * kLargePage; }

} // namespace

void* large_page_allocate(std::size_t bytes)
{
    if (bytes < kLeastMapped)
        return ::operator new(bytes);
    if (bytes > SIZE_MAX - 2 * kLargePage)
        throw std::bad_alloc();
    // One large page more than asked, so that the room can start on a
    // large page's edge; what lies outside it is given back at once.
    const std::size_t room = whole_pages(bytes), mapped = room + kLargePage;
    void* map = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(map);
    const std::uintptr_t aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
    if (aligned > start)
        munmap(map, aligned - start);
    if (const std::size_t after = start + mapped - (aligned + room))
        munmap(reinterpret_cast<void*>(aligned + room), after);
    // Only a hint: without large pages the room works as well, slower.
    madvise(reinterpret_cast<void*>(aligned), room, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void large_page_free(void* room, std::size_t bytes) noexcept
{
    if (!room)
        return;
    if (bytes < kLeastMapped)
        ::operator delete(room);
    else
        munmap(room, whole_pages(bytes));
}
