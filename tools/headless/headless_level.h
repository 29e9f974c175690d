// Loading a level without a window: the whole load sequence against the
// scripted platform, with the log captured. Used by the inspector, the
// benchmarks and the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "level/load_sequence.h"
#include "platform/scripted_platform.h"

namespace headless {

struct LoadedLevel {
    platform::ScriptedPlatform platform;  // message boxes and debug output
    std::string log;                      // everything the debug log received
    std::FILE* console = stderr;          // where the lines meant for standard output go (null: nowhere)
};

// Runs InitModels for the level whose pixel file is swpPath (NAME.grf and
// NAME-130.pid beside it). Every state of the process, and what out captured
// before, is reset first. Nobody clicks boxes away here, so every message
// of the load is recorded as a box.
// Lines meant for standard output go to out.console meanwhile. False when a
// file could not be read; why then says which and why. Ground::Skip for
// reports that never read the ground, and Bounds::Skip beside it for those
// that never read where the objects reach.
bool LoadLevel(const std::string& swpPath, LoadedLevel& out, std::string* why = nullptr, Ground ground = Ground::Infer,
               Bounds bounds = Bounds::Find);

// The same load from files in memory (borrowed until the next reset), as a
// fuzz target drives it; the current platform receives the messages.
// withGround false: no terrain is inferred.
void LoadFromMemory(std::span<const std::uint8_t> grf, std::span<const std::uint8_t> pid,
                    std::span<const std::uint8_t> swp, const std::string& levelName, bool withGround = true);

}  // namespace headless
