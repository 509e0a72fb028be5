#pragma once
// Boundaries of multipart containers: "boundary" and eight upper-case hex
// digits of a pseudo-random 32-bit value. The generator is seeded once from
// the clock on first use (the program calls RandomizeBoundaries at start-up);
// tests seed it to get the same boundaries, and so the same message bytes,
// on every run.
#include <cstdint>
#include <string>

namespace postello {

std::string MakeBoundary();

// Seeds the generator from the clock.
void RandomizeBoundaries();

// Seeds the generator with a fixed value: the draws that follow repeat.
void SeedBoundaries(std::uint32_t seed);

} // namespace postello
