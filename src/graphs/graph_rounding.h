#pragma once

#include <cstdint>

namespace dova {

// Rounds to the nearest tenth. A value whose decimal form lies exactly half-way between two
// tenths goes to the even one: 36.95 gives 37.0 (369.5 -> 370), 36.85 gives 36.8. The tie
// is judged on the shortest decimal form of the double, not on its binary value, so a
// reading typed or computed as 36.95 counts as a tie even though the nearest double lies a
// hair above it. Non-finite values come back unchanged.
double RoundToTenth(double value);

// Rounds to the nearest multiple of 5; a value exactly half-way goes to the multiple of 10
// (12.5 gives 10, 17.5 gives 20). Non-finite values come back unchanged.
double RoundToFive(double value);

// The axis ends move outwards in whole steps past a bound. RaisePast gives the smallest
// whole number that is at least `value` and greater than `bound` (the result of adding 1
// while value <= bound); LowerPast the largest one at most `value` and below `bound`. Both
// land in one step however far the bound lies and stop at the ends of the 32-bit range; a
// NaN bound leaves the value as it is.
std::int32_t RaisePast(std::int32_t value, long double bound);
std::int32_t LowerPast(std::int32_t value, long double bound);

}  // namespace dova
