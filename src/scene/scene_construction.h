// Turns the loaded scene file into the scene: walks the ".region" block's
// records, decides by each object's class what it becomes (instance,
// terrain object, sky, player start, light, fog or nothing), loads the
// geometry through the model cache and applies the per-level adjustments.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The ".region" record: 44 bytes.
constexpr std::size_t kRegionRecordSize = 44;

void SceneConstruction();

// The per-level row (0 for every unlisted name, compared exactly).
int LevelRow(std::string_view levelName);
