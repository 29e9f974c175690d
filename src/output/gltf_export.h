// The loaded level as glTF 2.0, for Blender, game engines and glTF
// viewers: one mesh per model (a primitive per material, shared by every
// instance), the decoded textures as PNG images, one node per placed
// object with the drawing transform, and optionally the inferred ground as
// a grid textured with the level's overview map. The level's z-up world
// hangs under one root node turned to glTF's y-up; a world unit is a metre.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct GltfTerrain {
    // The overview map over [minX, maxX] x [minY, maxY], rows from north
    // (maxY) down, RGBA.
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
};

struct GltfExportOptions {
    std::string path;                  // .glb: one binary file; .gltf: JSON with .bin and .png beside it
    std::vector<std::uint32_t> only;   // the records of the objects to export; empty: every instance
    // Its pixels are handed over: the export empties them once encoded (a
    // big level's map is the largest thing it holds).
    GltfTerrain* terrain = nullptr;
    // The sea as the level has it; otherwise cut to the ground's extent and
    // a quarter of it around, so that a viewer's framing finds the island.
    bool fullSea = false;
    // Called now and then with the share done, 0 to 1; false stops the
    // export before anything is written.
    std::function<bool(float done)> progress;
};

struct GltfExportReport {
    std::size_t nodes = 0, meshes = 0, images = 0, triangles = 0;
    float gridSpacing = 0;  // world units between the ground grid's points (0: no ground)
};

// Writes the level that is loaded. On failure returns false with the
// reason; stopped by the progress, false with no reason and no file.
bool ExportGltf(const GltfExportOptions& options, GltfExportReport& report, std::string& error);

// The same as one .glb in memory (options.path only names it in errors).
bool ExportGlbToMemory(const GltfExportOptions& options, std::vector<std::uint8_t>& out, GltfExportReport& report,
                       std::string& error);

// The drawing rotation of an instance (z, then y, then x, counter-clockwise)
// as a unit quaternion (x, y, z, w); camera-facing instances keep only z.
std::array<double, 4> DrawingQuaternion(float rx, float ry, float rz);
