// Fuzzes the glTF export over a level from memory (as fuzz_scene reads it),
// written as a .glb in memory with a ground over the level's extent (as the
// map would give it); the selector's option keeps the whole sea. Names that
// are not UTF-8 and pieces at huge coordinates live here.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "level_input.h"
#include "output/gltf_export.h"
#include "scene/level.h"
#include "terrain/terrain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzLevel level(data, size, /*withGround=*/false);
    if (!level.loaded) return 0;

    const SceneState& scene = TheScene();
    GltfTerrain ground{2, 2, std::vector<std::uint8_t>(16, 128),
                       std::max(scene.TerrainMin.x, -kTerrainHalfSize), std::max(scene.TerrainMin.y, -kTerrainHalfSize),
                       std::min(scene.TerrainMax.x, kTerrainHalfSize), std::min(scene.TerrainMax.y, kTerrainHalfSize)};
    GltfExportOptions options;
    options.path = "fuzz.glb";
    options.terrain = ground.minX < ground.maxX && ground.minY < ground.maxY ? &ground : nullptr;
    options.fullSea = level.input.option;
    std::vector<std::uint8_t> glb;
    GltfExportReport report;
    std::string error;
    // A written export is a whole .glb: its header states its length.
    if (ExportGlbToMemory(options, glb, report, error) &&
        (glb.size() < 12 || LoadU32(glb.data()) != 0x46546C67u || LoadU32(glb.data() + 8) != glb.size()))
        __builtin_trap();
    return 0;
}
