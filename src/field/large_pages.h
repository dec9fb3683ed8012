// Room for many points in pages of 2 MiB where the system gives them. On a
// machine whose fresh pages come slowly (a virtual one, where each first
// touch of a 4 KiB page costs microseconds), writing 160 MB of points took
// 420 ms in 4 KiB pages and 20 ms in 2 MiB ones: the points a load keeps
// would otherwise cost more than parsing the file again.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

// At least `bytes` of memory; from a mapping of its own, asked for in large
// pages, past a mebibyte, else from the heap. Throws std::bad_alloc.
void* large_page_allocate(std::size_t bytes);
// Gives back what large_page_allocate gave for the same `bytes`.
void large_page_free(void* room, std::size_t bytes) noexcept;

template <class T>
struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept
    {
    }
    T* allocate(std::size_t count) { return static_cast<T*>(large_page_allocate(count * sizeof(T))); }
    // Room a vector grows into is left as it is until written (its callers
    // fill it at once): zeroing it first cost 2% of a fitted text load.
    template <class U>
    void construct(U* at) noexcept
    {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
    void deallocate(T* room, std::size_t count) noexcept { large_page_free(room, count * sizeof(T)); }
    template <class U>
    bool operator==(const LargePageAllocator<U>&) const noexcept
    {
        return true;
    }
};
