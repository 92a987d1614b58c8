#include "platform/random.h"

#include <chrono>
#include <random>

namespace dova {

namespace {
std::mt19937_64& Generator() {
  static std::mt19937_64 gen(12345);
  return gen;
}
}  // namespace

void Randomize() {
  RandSeed(static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}

void RandSeed(std::uint64_t seed) {
  Generator().seed(seed);
}

double Random() {
  return std::uniform_real_distribution<double>(0.0, 1.0)(Generator());
}

std::uint32_t RandomInt(std::uint32_t range) {
  if (range == 0) return 0;
  return std::uniform_int_distribution<std::uint32_t>(0, range - 1)(Generator());
}

}  // namespace dova
