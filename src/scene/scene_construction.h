// Turns the loaded scene file into the scene: walks the ".region" block's
// records, decides by each object's class what it becomes (instance,
// terrain object, sky, player start, light, fog or nothing), loads the
// geometry through the model cache and applies the per-level adjustments.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "math/vector3.h"

// The ".region" block: a u32 record count, then the records, 44 bytes each.
constexpr std::size_t kRegionRecordSize = 44;
constexpr std::size_t kRegionPositionOffset = 8;  // 3 floats, then the rotation's 3
constexpr std::size_t kRegionRotationOffset = 20;

struct RegionRecord {
    std::uint32_t object;  // block handle of the geometry
    std::uint32_t name;    // symbol handle
    Vector3 position, rotation;
    float scale;
    std::uint32_t table;
    std::uint32_t hasTable;
};

// The count the block states, and how many whole records it holds (the
// only ones ever read).
struct RegionCounts {
    std::uint32_t stated = 0, held = 0;
};
RegionCounts CountRegionRecords(std::span<const std::uint8_t> block);
RegionRecord ReadRegionRecord(std::span<const std::uint8_t> block, std::uint32_t index);

// Builds the scene of the loaded level (scene/level.h) from its scene file,
// with its quirks. Bounds::Skip places ordinary objects without their bounds
// and loads models without their points, for reports that only list and
// count what the level holds; terrain objects get theirs either way (they
// give the ground's extent).
enum class Bounds { Find, Skip };
void SceneConstruction(Bounds bounds = Bounds::Find);
