// Points held as short decimals: each number as 32-bit digits over a power
// of ten, half the bytes of a double, for the points a load keeps. Most
// text files write their numbers so ("2000.123"); such a number comes back
// as the very double the file's text was read as, because every number is
// held only after its digits were seen to give its bits again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "field/point.h"

// The most places after the point a decimal holds.
inline constexpr int kMostDecimalPlaces = 9;

// Whether the processor has the instructions that make decimals cheap to
// hold and to read back (else points are kept as doubles).
bool decimals_at_hand();

// The number `digits` over 10 to the power of `places`, rounded once.
double decimal_value(std::int32_t digits, int places);

// The digits of `value` at `places`; false where it is no such decimal
// (or not one the digits give the bits of, such as -0).
bool as_decimal(double value, int places, std::int32_t* digits);

// Digits for as many of the points from the first on as are decimals at
// `places` (x's and y's), x and y in turn into `digits`; how many.
std::size_t points_to_decimals(const Point* points, std::size_t count, const int places[2], std::int32_t* digits);

// The points that `count` pairs of digits at `places` hold.
void decimals_to_points(const std::int32_t* digits, std::size_t count, const int places[2], Point* points);

// The digits of one axis (0 for x, 1 for y) of `count` pairs, from `from`
// places to `to` (more), the numbers unchanged; false, where one does not
// fit 32 bits or comes back otherwise, with the digits as they were.
bool add_decimal_places(std::int32_t* digits, std::size_t count, int axis, int from, int to);
