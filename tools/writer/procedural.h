// Deterministic procedural images for generated levels: the same seed gives
// the same bytes on every run and every machine (no std::rand, no time).
#pragma once

#include <cstdint>
#include <vector>

#include "writer/texture_writer.h"

namespace wvwrite {

// A small, fully specified generator (SplitMix64).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    double Uniform();                            // [0, 1)
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Int(int lo, int hi);                     // [lo, hi]

private:
    std::uint64_t state_;
};

// Tileable value noise in [0, 1] with a few octaves, period in texels.
float TileNoise(std::uint32_t seed, float x, float y, int period, int octaves);

// A palette that runs linearly through the given colours (at least two).
std::vector<Rgb> GradientPalette(const std::vector<Rgb>& stops, std::size_t count);

// An indexed image of noise mapped through a palette of count colours.
std::vector<std::uint8_t> NoiseIndices(std::uint32_t seed, std::uint32_t size, int period, int octaves,
                                       std::size_t count);

// Normal codes of a height map (heights in texels of depth per texel).
std::vector<std::uint16_t> NormalCodesFromHeights(const std::vector<float>& heights, std::uint32_t width,
                                                  std::uint32_t height, float strength);

}  // namespace wvwrite
