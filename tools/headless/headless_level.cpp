#include "headless/headless_level.h"

#include "app/load_sequence.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "location/level_files.h"

namespace headless {

void LoadLevel(const std::string& swpPath, LoadedLevel& out) {
    out.platform = platform::ScriptedPlatform{};
    out.log.clear();
    ResetState(StateScope::Process);
    TheLevelFiles() = LevelFilesBeside(swpPath);
    platform::PlatformScope scope(out.platform);
    SetLogCapture(&out.log);
    SetConsoleStream(out.console);
    InitModels();
    SetConsoleStream(nullptr);
    SetLogCapture(nullptr);
}

void LoadFromMemory(std::span<const std::uint8_t> grf, std::span<const std::uint8_t> pid,
                    std::span<const std::uint8_t> swp, const std::string& levelName) {
    ResetState(StateScope::Process);
    TheLevelFiles() = LevelFilesBeside(levelName + "-130.swp");
    InitModelsFromMemory({grf, pid, swp});
}

}  // namespace headless
