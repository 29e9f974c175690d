#include "writer/procedural.h"

#include <algorithm>
#include <cmath>

namespace wvwrite {

std::uint64_t Rng::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Rng::Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

int Rng::Int(int lo, int hi) {
    return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
}

namespace {
float Lattice(std::uint32_t seed, int x, int y) {
    std::uint32_t h = seed * 0x9E3779B1u ^ static_cast<std::uint32_t>(x) * 0x85EBCA6Bu ^
                      static_cast<std::uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}

float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }
}  // namespace

float TileNoise(std::uint32_t seed, float x, float y, int period, int octaves) {
    // Octave o has lattice points every 1 / 2^o units and repeats after
    // period units, so the sum tiles too.
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    for (int o = 0; o < octaves; ++o) {
        const int cells = std::max(1, period) << o;
        const float px = x * static_cast<float>(1 << o), py = y * static_cast<float>(1 << o);
        const int ix = static_cast<int>(std::floor(px)), iy = static_cast<int>(std::floor(py));
        const float tx = Smooth(px - static_cast<float>(ix)), ty = Smooth(py - static_cast<float>(iy));
        auto at = [&](int gx, int gy) {
            return Lattice(seed + static_cast<std::uint32_t>(o) * 7919u, ((gx % cells) + cells) % cells,
                           ((gy % cells) + cells) % cells);
        };
        const float a = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * tx;
        const float b = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * tx;
        sum += (a + (b - a) * ty) * amplitude;
        total += amplitude;
        amplitude *= 0.5f;
    }
    return sum / total;
}

std::vector<Rgb> GradientPalette(const std::vector<Rgb>& stops, std::size_t count) {
    std::vector<Rgb> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = count > 1 ? static_cast<double>(i) / static_cast<double>(count - 1) : 0.0;
        const double s = t * static_cast<double>(stops.size() - 1);
        const std::size_t k = std::min(stops.size() - 2, static_cast<std::size_t>(s));
        const double f = s - static_cast<double>(k);
        auto mix = [&](std::uint8_t a, std::uint8_t b) {
            return static_cast<std::uint8_t>(std::lround(a + (b - a) * f));
        };
        out[i] = Rgb{mix(stops[k].r, stops[k + 1].r), mix(stops[k].g, stops[k + 1].g), mix(stops[k].b, stops[k + 1].b)};
    }
    return out;
}

std::vector<std::uint8_t> NoiseIndices(std::uint32_t seed, std::uint32_t size, int period, int octaves,
                                       std::size_t count) {
    std::vector<std::uint8_t> out(std::size_t{size} * size);
    for (std::uint32_t y = 0; y < size; ++y)
        for (std::uint32_t x = 0; x < size; ++x) {
            const float n = TileNoise(seed, static_cast<float>(x) * period / size, static_cast<float>(y) * period / size,
                                      period, octaves);
            const int k = static_cast<int>(n * static_cast<float>(count));
            out[std::size_t{y} * size + x] = static_cast<std::uint8_t>(std::clamp(k, 0, static_cast<int>(count) - 1));
        }
    return out;
}

std::vector<std::uint16_t> NormalCodesFromHeights(const std::vector<float>& heights, std::uint32_t width,
                                                  std::uint32_t height, float strength) {
    std::vector<std::uint16_t> out(heights.size());
    auto h = [&](int x, int y) {
        x = (x + static_cast<int>(width)) % static_cast<int>(width);
        y = (y + static_cast<int>(height)) % static_cast<int>(height);
        return heights[static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)];
    };
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const int ix = static_cast<int>(x), iy = static_cast<int>(y);
            const float dx = (h(ix + 1, iy) - h(ix - 1, iy)) * 0.5f * strength;
            const float dy = (h(ix, iy + 1) - h(ix, iy - 1)) * 0.5f * strength;
            out[std::size_t{y} * width + x] = EncodeNormal(Vector3(-dx, -dy, 1.0f).Normalised());
        }
    return out;
}

}  // namespace wvwrite
