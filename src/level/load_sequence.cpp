#include "level/load_sequence.h"

#include <cstdio>

#include "diag/clock.h"
#include "diag/log.h"
#include "diag/notices.h"
#include "diag/stat_counter.h"
#include "diag/state_registry.h"
#include "files/block_file.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "platform/large_memory.h"
#include "platform/platform.h"
#include "scene/level.h"
#include "scene/scene_construction.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"

namespace {

bool LoadError(const char* line, const char* text, const std::string& reason, std::string* why) {
    LogPrintf("%s", line);
    ShowNotice(platform::Owner::None, text, "ERROR");
    if (why) *why = reason.empty() ? std::string(text) : std::string(text) + ": " + reason;
    return false;
}

// A database that did not read: the file cannot be opened, or its first
// word is not the version (an empty file among them).
std::string WhyNoDatabase(const char* path) {
    if (path) {
        std::string error;
        if (!platform::Files().OpenForReading(path, error)) return error;
    }
    return "not a texture database (its first word is not the version 0x130)";
}

// Both happen with files cut short or written by a broken tool; the
// textures then come out wrong, so the log says why.
void WarnShortTextureFiles(const TextureDatabase& db) {
    if (db.Truncated()) {
        LogPrintf("\nWARNING: the texture database is shorter than its header and palettes say: "
                  "%zu entries and %zu palettes were read",
                  db.entries.size(), db.palettes.size() - 1);
        DebugPrintf("\nWARNING: the texture database is shorter than its header and palettes say: "
                    "%zu entries and %zu palettes were read",
                    db.entries.size(), db.palettes.size() - 1);
    }
    const std::uint64_t needed = db.PixelExtent(), size = db.pixelFile.Size();
    if (needed > size) {
        LogPrintf("\nWARNING: the texture pixel file holds %llu bytes, but the texture database points "
                  "up to byte %llu; texels past its end read as colour 0",
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(needed));
        DebugPrintf("\nWARNING: the texture pixel file holds %llu bytes, but the texture database points "
                    "up to byte %llu; texels past its end read as colour 0",
                    static_cast<unsigned long long>(size), static_cast<unsigned long long>(needed));
    }
}

// A damaged scene file can read as one that places nothing: the user is
// told, rather than shown a level without a single object.
void WarnEmptyLevel(const LevelFiles& level) {
    const SceneState& scene = TheScene();
    if (!scene.InstanceList.empty() || !scene.TerrainObjectsByHeight.empty()) return;
    const std::string text = "The level has no objects: " + level.GrfPath +
                             " places nothing that could be read (it may be damaged).";
    LogPrintf("\nWARNING: %s", text.c_str());
    ShowNotice(platform::Owner::None, text, "NOTE");
}

// From files when bytes is null, else from memory.
bool LoadLevel(const LevelBytes* bytes, std::string* why, Ground ground, Bounds bounds) {
    const LevelFiles& level = TheLevelFiles();
    // From here on no writer of ours replaces them, whatever name it is given.
    platform::ProtectFiles({level.GrfPath, level.PidPath, level.SwpPath});
    LogPrintf("\n\n    InitModels (load level)\n    ==========");
    // What the level's name changes is decided here, once.
    TheLevel().quirks = QuirksOf(level.LevelName);
    TheScene().ModelList.clear();
    const platform::LoadHeapScope heap;
    const float start = static_cast<float>(GetTime());
    LogPrintf("\n\nLoading Level '%s'", level.LevelName.c_str());
    LogPrintf("\nLoading GRF file: '%s'...", level.GrfPath.c_str());
    bool loaded = false;
    BlockFile& grf = TheSceneFile();
    if (bytes) {
        MemoryStream stream(bytes->grf);
        loaded = grf.Load(stream, level.GrfPath.c_str());
    } else {
        platform::FileStamp stamp;
        if (platform::Files().StampOf(level.GrfPath, stamp)) TheLevel().sceneFileStamp = stamp;
        loaded = grf.Load(level.GrfPath.c_str());
    }
    if (!loaded)
        return LoadError("\n *** grf.Load failed ***", "Could not load GRF file", level.GrfPath + ": " + grf.LastError(),
                         why);
    LogPrintf(" done.");
    LogPrintf("\nLoading PID file: '%s'...", level.PidPath.c_str());
    TextureDatabase& db = TheTextureDatabase();
    db.Reset();
    if (!(bytes ? db.ReadFromMemory(bytes->pid) : db.Read(level.PidPath.c_str())))
        return LoadError("\n *** pid.Load failed ***", "Could not load PID file",
                         level.PidPath + ": " + WhyNoDatabase(bytes ? nullptr : level.PidPath.c_str()), why);
    LogPrintf(" done.");
    LogPrintf("\nLoading SWP file: '%s'...", level.SwpPath.c_str());
    if (bytes) {
        db.pixelFile.OpenMemory(bytes->swp);
    } else if (std::string error; !db.pixelFile.OpenFile(level.SwpPath.c_str(), &error)) {
        return LoadError("\n *** swp.Load failed ***", "Could not load SWP file", level.SwpPath + ": " + error, why);
    }
    LogPrintf(" done.");
    WarnShortTextureFiles(db);
    gVisibleTris.value = 0;
    gNeighbourTriTex.value = 0;
    SceneConstruction(ground == Ground::Infer ? Bounds::Find : bounds);
    WarnEmptyLevel(level);
    if (ground == Ground::Infer) InitTerrain();
    DebugPrintf("%s", StatReport().c_str());
    const float seconds = static_cast<float>(GetTime()) - start;
    DebugPrintf("\n\nLevel load time: %.1f seconds", seconds);
    DebugPrintf("\n\n\n");
    return true;
}

bool NoticedLoad(const LevelBytes* bytes, std::string* why, Ground ground, Bounds bounds) {
    BeginLoadNotices();
    const bool ok = LoadLevel(bytes, why, ground, bounds);
    EndLoadNotices();
    return ok;
}

}  // namespace

bool InitModels(std::string* why, Ground ground, Bounds bounds) {
    return NoticedLoad(nullptr, why, ground, bounds);
}

bool InitModelsFromMemory(const LevelBytes& bytes, std::string* why) {
    return NoticedLoad(&bytes, why, bytes.withGround ? Ground::Infer : Ground::Skip, Bounds::Find);
}

void KillModels() {
    LogPrintf("\n\n    KillModels\n    ==========");
    KillTerrain();
    ResetState(StateScope::Level);
}
