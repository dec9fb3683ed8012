// Four floats (one pixel's red, green, blue and alpha) as one vector value,
// which the compiler keeps in a single SIMD register.
#pragma once

#include <cstring>

typedef float float4 __attribute__((vector_size(16)));
typedef int int4 __attribute__((vector_size(16)));

inline float4 load4(const float* p)
{
    float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, float4 v) { std::memcpy(p, &v, sizeof v); }
