// Saving the edited level: the scene file as it was read, with the records
// of moved and turned objects changed and those of deleted ones removed;
// every other block byte for byte as read. The texture files are the
// level's own and are not written.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Writes the edited scene file to path (through a temporary file renamed
// over it, so that a failure leaves nothing half-written). Refuses the
// scene file the level was loaded from. False with the reason in words.
// A level read from an LZ-compressed file is written plain; note, when
// given, then says so (and is emptied otherwise).
bool SaveLevelAs(const std::string& path, std::string& error, std::string* note = nullptr);

// Whether the scene file on disk is no longer the one the level was loaded
// from (changed or gone): the save writes the level as loaded, with the
// edits, and would drop what changed.
bool SceneFileChangedSinceLoad();

// Why path cannot be saved to (a file the level was loaded from, under
// any spelling), or empty.
std::string SaveRefusal(const std::string& path);

// The ".region" block with the edits applied, from the block as read.
std::vector<std::uint8_t> EditedRegionBlock(std::span<const std::uint8_t> original);
