// Overflow-checked size arithmetic for values taken from image headers, and
// the ceiling on the memory one decoded image may claim.
#pragma once

#include <cstdint>

#include "platform/win32/windef.h"

// No decoded level may need more than 1 GiB: a small hostile header must not
// make the program allocate gigabytes.
constexpr uint64_t kMaxDecodedImageBytes = uint64_t(1) << 30;

inline bool checked_mul(uint64_t a, uint64_t b, uint64_t* out) { return !__builtin_mul_overflow(a, b, out); }

inline bool checked_add(uint64_t a, uint64_t b, uint64_t* out) { return !__builtin_add_overflow(a, b, out); }

// rows x pitch as the byte size of a decoded image: S_OK when it fits the
// ceiling, E_OUTOFMEMORY when it does not (or overflows).
inline HRESULT decoded_size(uint64_t rows, uint64_t pitch, uint64_t* total)
{
    if (!checked_mul(rows, pitch, total) || *total > kMaxDecodedImageBytes)
        return E_OUTOFMEMORY;
    return S_OK;
}

// Rounds up to a multiple of 4 (bitmap rows); false on overflow.
inline bool round_up4(uint64_t value, uint64_t* out)
{
    if (!checked_add(value, 3, out))
        return false;
    *out &= ~uint64_t(3);
    return true;
}
