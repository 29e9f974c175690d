// Loading and unloading one level: the scene file, the texture database and
// the pixel file, then scene construction and the terrain, with the counter
// report and the load time on the debug output. It sits above the readers,
// the scene and the terrain because it orchestrates all three.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "scene/scene_construction.h"

// Loads the level named by TheLevelFiles(). Failures are logged and shown
// in a box ("Could not load GRF file" and the like) and leave the scene
// empty; the result is false then, and why (when given) receives the box's
// text and the reader's reason, for tools that report on the command line.
// Without the ground, no terrain is inferred (reports that never read it).
// Bounds::Skip (scene/scene_construction.h) is heeded only without the
// ground, which reads the objects' bounds.
enum class Ground { Infer, Skip };
bool InitModels(std::string* why = nullptr, Ground ground = Ground::Infer, Bounds bounds = Bounds::Find);

// The same sequence over the three files' bytes (borrowed until the level
// is unloaded), for the fuzz targets; the names in TheLevelFiles() are only
// logged.
struct LevelBytes {
    std::span<const std::uint8_t> grf, pid, swp;
    // False: the scene alone, no terrain inferred (for callers that build
    // their own ground, or none).
    bool withGround = true;
};
bool InitModelsFromMemory(const LevelBytes& bytes, std::string* why = nullptr);

// Unloads the level: the terrain, then everything a load leaves behind.
void KillModels();
