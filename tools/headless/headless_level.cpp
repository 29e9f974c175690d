#include "headless/headless_level.h"

#include <cstdint>

#include "level/load_sequence.h"
#include "diag/log.h"
#include "diag/notices.h"
#include "diag/state_registry.h"
#include "location/level_files.h"
#include "scene/level.h"

namespace headless {

bool LoadLevel(const std::string& swpPath, LoadedLevel& out, std::string* why, Ground ground, Bounds bounds) {
    out.platform = platform::ScriptedPlatform{};
    out.log.clear();
    ResetState(StateScope::Process);
    TheNotices().limit = SIZE_MAX;
    TheLevelFiles() = LevelFilesBeside(swpPath);
    platform::PlatformScope scope(out.platform);
    SetLogCapture(&out.log);
    SetConsoleStream(out.console);
    const bool ok = InitModels(why, ground, bounds);
    RestoreConsoleStream();
    SetLogCapture(nullptr);
    return ok;
}

void LoadFromMemory(std::span<const std::uint8_t> grf, std::span<const std::uint8_t> pid,
                    std::span<const std::uint8_t> swp, const std::string& levelName, bool withGround) {
    ResetState(StateScope::Process);
    TheNotices().limit = SIZE_MAX;
    TheLevelFiles() = LevelFilesBeside(levelName + "-130.swp");
    InitModelsFromMemory({grf, pid, swp, withGround});
}

}  // namespace headless
