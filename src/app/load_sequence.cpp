#include "app/load_sequence.h"

#include "diag/clock.h"
#include "diag/log.h"
#include "diag/stat_counter.h"
#include "diag/state_registry.h"
#include "files/block_file.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "platform/platform.h"
#include "scene/scene_construction.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"

namespace {

void LoadError(const char* line, const char* text) {
    LogPrintf("%s", line);
    platform::Current().MessageBox(platform::Owner::None, text, "ERROR", platform::Buttons::Ok,
                                   platform::Icon::None);
}

// From files when bytes is null, else from memory.
void LoadLevel(const LevelBytes* bytes) {
    const LevelFiles& level = TheLevelFiles();
    LogPrintf("\n\n    InitModels (load level)\n    ==========");
    TheScene().ModelList.clear();
    const float start = static_cast<float>(GetTime());
    LogPrintf("\n\nLoading Level '%s'", level.LevelName.c_str());
    LogPrintf("\nLoading GRF file: '%s'...", level.GrfPath.c_str());
    bool loaded = false;
    if (bytes) {
        MemoryStream stream(bytes->grf);
        loaded = TheSceneFile().Load(stream, level.GrfPath.c_str());
    } else {
        loaded = TheSceneFile().Load(level.GrfPath.c_str());
    }
    if (!loaded) {
        LoadError("\n *** grf.Load failed ***", "Could not load GRF file");
        return;
    }
    LogPrintf(" done.");
    LogPrintf("\nLoading PID file: '%s'...", level.PidPath.c_str());
    ResetTextureDatabase();
    TextureDatabase& db = TheTextureDatabase();
    if (!(bytes ? db.ReadFromMemory(bytes->pid) : db.Read(level.PidPath.c_str()))) {
        LoadError("\n *** pid.Load failed ***", "Could not load PID file");
        return;
    }
    LogPrintf(" done.");
    LogPrintf("\nLoading SWP file: '%s'...", level.SwpPath.c_str());
    if (bytes) {
        db.pixelFile.OpenMemory(bytes->swp);
    } else if (!db.pixelFile.OpenFile(level.SwpPath.c_str())) {
        LoadError("\n *** swp.Load failed ***", "Could not load SWP file");
        return;
    }
    LogPrintf(" done.");
    gVisibleTris.value = 0;
    gNeighbourTriTex.value = 0;
    SceneConstruction();
    InitTerrain();
    DebugPrintf("%s", StatReport().c_str());
    const float seconds = static_cast<float>(GetTime()) - start;
    DebugPrintf("\n\nLevel load time: %.1f seconds", seconds);
    DebugPrintf("\n\n\n");
}

}  // namespace

void InitModels() { LoadLevel(nullptr); }

void InitModelsFromMemory(const LevelBytes& bytes) { LoadLevel(&bytes); }

void KillModels() {
    LogPrintf("\n\n    KillModels\n    ==========");
    KillTerrain();
    ResetState(StateScope::Level);
}
