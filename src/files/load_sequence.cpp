#include "files/load_sequence.h"

#include "diag/clock.h"
#include "diag/log.h"
#include "diag/stat_counter.h"
#include "files/mesh_objects.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "platform/platform.h"
#include "scene/scene_construction.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"

BlockFile& TheSceneFile() {
    static BlockFile file;
    return file;
}

namespace {
void LoadError(const char* line, const char* text) {
    LogPrintf("%s", line);
    platform::Current().MessageBox(platform::Owner::None, text, "ERROR", platform::Buttons::Ok,
                                   platform::Icon::None);
}
}  // namespace

void InitModels() {
    const LevelFiles& level = TheLevelFiles();
    LogPrintf("\n\n    InitModels (load level)\n    ==========");
    TheScene().ModelList.clear();
    const float start = static_cast<float>(GetTime());
    LogPrintf("\n\nLoading Level '%s'", level.LevelName.c_str());
    LogPrintf("\nLoading GRF file: '%s'...", level.GrfPath.c_str());
    if (!TheSceneFile().Load(level.GrfPath.c_str())) {
        LoadError("\n *** grf.Load failed ***", "Could not load GRF file");
        return;
    }
    LogPrintf(" done.");
    LogPrintf("\nLoading PID file: '%s'...", level.PidPath.c_str());
    ResetTextureDatabase();
    if (!ReadTextureDatabase(level.PidPath.c_str())) {
        LoadError("\n *** pid.Load failed ***", "Could not load PID file");
        return;
    }
    LogPrintf(" done.");
    LogPrintf("\nLoading SWP file: '%s'...", level.SwpPath.c_str());
    if (!TheTextureDatabase().pixelFile.OpenFile(level.SwpPath.c_str())) {
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

void KillModels() {
    LogPrintf("\n\n    KillModels\n    ==========");
    KillTerrain();
    ShadowCandidates().clear();  // no one may look at instances being destroyed
    SceneState& scene = TheScene();
    scene.InstanceList.clear();
    scene.ModelCache.clear();
    scene.ModelList.clear();
    TheMeshLoader().TextureMap.clear();
}

void ResetLoadedLevel() {
    ResetScene();
    ResetMeshLoader();
    ResetTextureDatabase();
    TheSceneFile().Clear();
    ResetCamera();
}
