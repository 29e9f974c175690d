// Loading and unloading one level: the scene file, the texture database and
// the pixel file, then scene construction and the terrain, with the counter
// report and the load time on the debug output. It sits above the readers,
// the scene and the terrain because it orchestrates all three.
#pragma once

#include <cstdint>
#include <span>

// Loads the level named by TheLevelFiles(). Failures are logged and shown
// in a box ("Could not load GRF file" and the like) and leave the scene empty.
void InitModels();

// The same sequence over the three files' bytes (borrowed until the level
// is unloaded), for the fuzz targets; the names in TheLevelFiles() are only
// logged.
struct LevelBytes {
    std::span<const std::uint8_t> grf, pid, swp;
};
void InitModelsFromMemory(const LevelBytes& bytes);

// Unloads the level: the terrain, then everything a load leaves behind.
void KillModels();
