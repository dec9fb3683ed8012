#include "field/decimal_points.h"

#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr double kTens[kMostDecimalPlaces + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
// Their reciprocals, each rounded once.
constexpr double kTenths[kMostDecimalPlaces + 1] = {1 / 1e0, 1 / 1e1, 1 / 1e2, 1 / 1e3, 1 / 1e4,
                                                    1 / 1e5, 1 / 1e6, 1 / 1e7, 1 / 1e8, 1 / 1e9};
// Digits are below this in size.
constexpr double kDigitsLimit = 2147483647.0;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

#if defined(__x86_64__)
bool has_avx512()
{
    static const bool has =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
    return has;
}

// Four numbers (x, y, x, y) from their digits: the product by the
// reciprocal, corrected by the remainder it leaves, as decimal_value.
[[gnu::target("avx2,fma")]] inline __m256d values_of(__m128i digits, __m256d tens, __m256d tenths)
{
    const __m256d m = _mm256_cvtepi32_pd(digits);
    const __m256d q = _mm256_mul_pd(m, tenths);
    return _mm256_fmadd_pd(_mm256_fnmadd_pd(q, tens, m), tenths, q);
}

// Eight, likewise.
[[gnu::target("avx512f")]] inline __m512d values_of(__m256i digits, __m512d tens, __m512d tenths)
{
    const __m512d m = _mm512_cvtepi32_pd(digits);
    const __m512d q = _mm512_mul_pd(m, tenths);
    return _mm512_fmadd_pd(_mm512_fnmadd_pd(q, tens, m), tenths, q);
}

// The powers of ten at `places` for x and y in turn, in every lane pair.
[[gnu::target("avx2")]] inline void powers_of_ten(const int places[2], __m256d* tens, __m256d* tenths)
{
    *tens = _mm256_setr_pd(kTens[places[0]], kTens[places[1]], kTens[places[0]], kTens[places[1]]);
    *tenths = _mm256_setr_pd(kTenths[places[0]], kTenths[places[1]], kTenths[places[0]], kTenths[places[1]]);
}
[[gnu::target("avx512f")]] inline void powers_of_ten(const int places[2], __m512d* tens, __m512d* tenths)
{
    __m256d four, four_tenths;
    powers_of_ten(places, &four, &four_tenths);
    *tens = _mm512_insertf64x4(_mm512_castpd256_pd512(four), four, 1);
    *tenths = _mm512_insertf64x4(_mm512_castpd256_pd512(four_tenths), four_tenths, 1);
}

// Two points a step with AVX2; how many were held before one was not.
[[gnu::target("avx2,fma")]] std::size_t points_to_decimals_wide(const Point* points, std::size_t count,
                                                                const int places[2], std::int32_t* digits)
{
    __m256d tens, tenths;
    powers_of_ten(places, &tens, &tenths);
    const __m256d limit = _mm256_set1_pd(kDigitsLimit);
    const __m256d sign = _mm256_set1_pd(-0.0);
    std::size_t k = 0;
    for (; k + 2 <= count; k += 2) {
        const __m256d v = _mm256_loadu_pd(&points[k].x);
        const __m256d rounded = _mm256_round_pd(_mm256_mul_pd(v, tens), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        // Below the limit in size (NaN is not).
        if (_mm256_movemask_pd(_mm256_cmp_pd(_mm256_andnot_pd(sign, rounded), limit, _CMP_LT_OQ)) != 0xF)
            break;
        const __m128i d = _mm256_cvtpd_epi32(rounded);
        const __m256i same =
            _mm256_cmpeq_epi64(_mm256_castpd_si256(values_of(d, tens, tenths)), _mm256_castpd_si256(v));
        if (_mm256_movemask_pd(_mm256_castsi256_pd(same)) != 0xF)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 2 * k), d);
    }
    return k;
}

// Four points a step with AVX-512, likewise.
[[gnu::target("avx512f,avx512dq,avx512vl,fma")]] std::size_t
points_to_decimals_wider(const Point* points, std::size_t count, const int places[2], std::int32_t* digits)
{
    __m512d tens, tenths;
    powers_of_ten(places, &tens, &tenths);
    const __m512d limit = _mm512_set1_pd(kDigitsLimit);
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m512d v = _mm512_loadu_pd(&points[k].x);
        const __m512d rounded =
            _mm512_roundscale_pd(_mm512_mul_pd(v, tens), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        // Below the limit in size (NaN is not).
        if (_mm512_cmp_pd_mask(_mm512_abs_pd(rounded), limit, _CMP_LT_OQ) != 0xFF)
            break;
        const __m256i d = _mm512_cvtpd_epi32(rounded);
        if (_mm512_cmpeq_epi64_mask(_mm512_castpd_si512(values_of(d, tens, tenths)), _mm512_castpd_si512(v)) != 0xFF)
            break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(digits + 2 * k), d);
    }
    return k;
}

[[gnu::target("avx2,fma")]] std::size_t decimals_to_points_wide(const std::int32_t* digits, std::size_t count,
                                                                const int places[2], Point* points)
{
    __m256d tens, tenths;
    powers_of_ten(places, &tens, &tenths);
    std::size_t k = 0;
    for (; k + 2 <= count; k += 2)
        _mm256_storeu_pd(&points[k].x,
                         values_of(_mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 2 * k)), tens, tenths));
    return k;
}

[[gnu::target("avx512f,avx512dq,avx512vl,fma")]] std::size_t
decimals_to_points_wider(const std::int32_t* digits, std::size_t count, const int places[2], Point* points)
{
    __m512d tens, tenths;
    powers_of_ten(places, &tens, &tenths);
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
        _mm512_storeu_pd(&points[k].x,
                         values_of(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(digits + 2 * k)), tens, tenths));
    return k;
}
#endif

} // namespace

bool decimals_at_hand()
{
#if defined(__x86_64__)
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
#else
    return false;
#endif
}

double decimal_value(std::int32_t digits, int places)
{
    const double m = digits;
    const double q = m * kTenths[places];
    return std::fma(std::fma(-q, kTens[places], m), kTenths[places], q);
}

bool as_decimal(double value, int places, std::int32_t* digits)
{
    const double rounded = std::nearbyint(value * kTens[places]);
    if (!(std::fabs(rounded) < kDigitsLimit))
        return false;
    const auto d = static_cast<std::int32_t>(rounded);
    if (!same_bits(decimal_value(d, places), value))
        return false;
    *digits = d;
    return true;
}

std::size_t points_to_decimals(const Point* points, std::size_t count, const int places[2], std::int32_t* digits)
{
    std::size_t k = 0;
#if defined(__x86_64__)
    // The widest form first; a narrower one takes the points it left.
    if (decimals_at_hand() && has_avx512())
        k = points_to_decimals_wider(points, count, places, digits);
    if (decimals_at_hand())
        k += points_to_decimals_wide(points + k, count - k, places, digits + 2 * k);
#endif
    for (; k < count; ++k)
        if (!as_decimal(points[k].x, places[0], &digits[2 * k]) ||
            !as_decimal(points[k].y, places[1], &digits[2 * k + 1]))
            break;
    return k;
}

void decimals_to_points(const std::int32_t* digits, std::size_t count, const int places[2], Point* points)
{
    std::size_t k = 0;
#if defined(__x86_64__)
    if (decimals_at_hand() && has_avx512())
        k = decimals_to_points_wider(digits, count, places, points);
    if (decimals_at_hand())
        k += decimals_to_points_wide(digits + 2 * k, count - k, places, points + k);
#endif
    for (; k < count; ++k)
        points[k] = Point{decimal_value(digits[2 * k], places[0]), decimal_value(digits[2 * k + 1], places[1])};
}

bool add_decimal_places(std::int32_t* digits, std::size_t count, int axis, int from, int to)
{
    const double times = kTens[to - from];
    std::vector<std::int32_t> more(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::int32_t d = digits[2 * k + std::size_t(axis)];
        const double scaled = double(d) * times;
        if (!(std::fabs(scaled) < kDigitsLimit))
            return false;
        more[k] = static_cast<std::int32_t>(scaled);
        if (!same_bits(decimal_value(more[k], to), decimal_value(d, from)))
            return false;
    }
    for (std::size_t k = 0; k < count; ++k)
        digits[2 * k + std::size_t(axis)] = more[k];
    return true;
}
