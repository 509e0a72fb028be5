#include "mime/MakeBoundary.h"

#include <chrono>
#include <random>

namespace postello {

namespace {

struct TBoundaryRandom {
  std::mt19937 Engine;
  bool Seeded = false;
};

TBoundaryRandom& Generator() {
  static TBoundaryRandom generator;
  return generator;
}

} // namespace

void RandomizeBoundaries() {
  auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  SeedBoundaries(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
}

void SeedBoundaries(std::uint32_t seed) {
  Generator().Engine.seed(seed);
  Generator().Seeded = true;
}

std::string MakeBoundary() {
  if (!Generator().Seeded) RandomizeBoundaries();
  const std::uint32_t value = static_cast<std::uint32_t>(Generator().Engine());
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string boundary = "boundary";
  for (int shift = 28; shift >= 0; shift -= 4) boundary += digits[(value >> shift) & 15];
  return boundary;
}

} // namespace postello
