#pragma once

#include <cstdint>

namespace dova {

// The program-wide pseudo-random generator (tile names, new bridge serials). Seeded once
// from the clock at start-up; tests seed it with a fixed value.
void Randomize();
void RandSeed(std::uint64_t seed);
// A uniform fraction in [0, 1).
double Random();
// A uniform whole number in [0, range), 0 when range is 0.
std::uint32_t RandomInt(std::uint32_t range);

}  // namespace dova
