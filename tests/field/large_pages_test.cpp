#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "field/large_pages.h"

namespace {

// Rooms on both sides of the heap's limit, and past a large page, hold what
// is written to their last byte; the mapped ones start on a large page's
// edge, where the system can give them large pages; a vector grown through
// them keeps its values.
TEST(LargePages, RoomsHoldWhatIsWrittenAndMappedOnesStartOnALargePage)
{
    const std::size_t sizes[] = {1, 4096, (1u << 20) - 1, 1u << 20, (2u << 20) + 1, 9u << 20};
    for (const std::size_t bytes : sizes) {
        SCOPED_TRACE(bytes);
        auto* room = static_cast<unsigned char*>(large_page_allocate(bytes));
        ASSERT_NE(room, nullptr);
        std::memset(room, 0xA5, bytes);
        EXPECT_EQ(room[bytes - 1], 0xA5);
        if (bytes >= (1u << 20))
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(room) % (2u << 20), 0u);
        large_page_free(room, bytes);
    }
    std::vector<double, LargePageAllocator<double>> values;
    for (int k = 0; k < 1 << 20; ++k)
        values.push_back(k * 0.5);
    EXPECT_EQ(values[12345], 6172.5);
    EXPECT_EQ(values.back(), ((1 << 20) - 1) * 0.5);
}

} // namespace
