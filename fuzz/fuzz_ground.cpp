// Fuzzes the inferred ground: a level from memory (as fuzz_scene reads it)
// with its terrain built around the player start, wherever the level puts
// it and its pieces; with the selector's option, built again far off.
#include <cmath>
#include <cstdint>

#include "level_input.h"
#include "scene/view.h"
#include "terrain/terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzLevel level(data, size, /*withGround=*/true);
    if (!level.loaded) return 0;
    if (level.input.option) UpdateTerrain({3.0e9f, -2.5e9f, 0.0f});
    // Every sample is a height: the fill leaves no hole and no sign.
    for (float s : TheTerrain().field.samples)
        if (std::isnan(s) || s < 0.0f) __builtin_trap();
    return 0;
}
