#include "headless/headless_level.h"

#include "diag/clock.h"
#include "diag/log.h"
#include "diag/stat_counter.h"
#include "files/load_sequence.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "scene/scene_construction.h"
#include "terrain/terrain.h"

namespace headless {

void LoadLevel(const std::string& swpPath, LoadedLevel& out) {
    out.platform = platform::ScriptedPlatform{};
    out.log.clear();
    ResetLoadedLevel();
    ResetStatCounters();
    ResetClock();
    TheLevelFiles() = LevelFilesBeside(swpPath);
    platform::PlatformScope scope(out.platform);
    SetLogCapture(&out.log);
    SetConsoleStream(out.console);
    InitModels();
    SetConsoleStream(nullptr);
    SetLogCapture(nullptr);
}

void ConstructFromMemory(std::span<const std::uint8_t> grf, std::span<const std::uint8_t> pid,
                         std::span<const std::uint8_t> swp, const std::string& levelName) {
    ResetLoadedLevel();
    TheLevelFiles().LevelName = levelName;
    MemoryStream stream(grf);
    if (!TheSceneFile().Load(stream, "memory.grf")) return;
    TextureDatabase& db = TheTextureDatabase();
    if (!db.ReadFromMemory(pid)) return;
    db.pixelFile.OpenMemory(swp);
    SceneConstruction();
    InitTerrain();
}

}  // namespace headless
