#include "scene/level.h"

#include <array>

#include "diag/state_registry.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"

namespace {

struct NamedRow {
    std::string_view name;
    int row;
};
constexpr std::array<NamedRow, 8> kLevelRows = {{
    {"be", 1}, {"jr", 2}, {"it", 3}, {"ij", 4}, {"lab", 5}, {"as", 6}, {"as2", 7}, {"sum", 8},
}};

// Everything one level leaves behind, the scene first: instances point at
// models and at names in the scene file, models at the loader's textures.
void ResetLoadedLevel() {
    Level& level = TheLevel();
    level.scene.ShadowCandidates.clear();
    level.scene.InstanceList.clear();
    level.scene.TerrainObjectsByHeight.clear();
    level.scene.ModelCache.clear();
    level.scene.ModelList.clear();
    level.scene = SceneState{};
    level.meshes = MeshLoaderState{};
    level.textures.Reset();
    level.textures.MaxTextureSize = 64;
    level.textures.wantNormals = true;
    level.sceneFile.Clear();
    level.sceneFileStamp.reset();
    level.quirks = LevelQuirks{};
}

const StateReset kLevelReset{"level", StateLayer::Scene, StateScope::Level, &ResetLoadedLevel};
const StateReset kFilesReset{"level files", StateLayer::Files, StateScope::Process, [] {
    TheLevel().files = LevelFiles{};
    platform::ProtectFiles({});
}};

}  // namespace

LevelQuirks QuirksOf(std::string_view name) {
    LevelQuirks q;
    for (const NamedRow& r : kLevelRows)
        if (name == r.name) q.row = r.row;
    q.raisedTestObjects = name == "testscene";
    q.fogRedBlueSwapped = name == "it" || name == "ij" || name == "sum";
    q.raisedGround = name == "it";
    q.tintedLightsAndSky = name == "sum";
    q.groundSkipsOneFace = name == "be";
    return q;
}

bool IsLevelFile(const std::string& path) {
    const LevelFiles& f = TheLevel().files;
    for (const std::string* file : {&f.GrfPath, &f.PidPath, &f.SwpPath})
        if (!file->empty() && (path == *file || platform::Files().SameFile(path, *file))) return true;
    return false;
}

Level& TheLevel() {
    static Level level;
    return level;
}
