// The loaded level: its files, what its name changes, the scene file and
// the texture database as read, the models' textures, and the scene built
// from them. One per run.
//
// Owner: the load sequence (level/load_sequence) fills it in InitModels and
// empties it in KillModels, through the level reset. The files are chosen
// before that, once, by level file location at start-up (or by a tool).
// Between load and unload, the user's edits (edit/) move, turn, delete and
// restore instances, and drawing gives models and textures their GL names
// on first use. Everything else only reads it.
#pragma once

#include <optional>
#include <string_view>

#include "files/block_file.h"
#include "files/texture_database.h"
#include "location/level_files.h"
#include "platform/file_system.h"
#include "scene/model_loader.h"
#include "scene/scene_model.h"

// What a level's exact name changes, decided once when it is loaded.
struct LevelQuirks {
    int row = 0;                  // the level's row of tables ("be" 1 ... "sum" 8), 0 for any other
    bool raisedTestObjects = false;  // "testscene": terrain objects of mesh 1734 five heights up
    bool fogRedBlueSwapped = false;  // "it", "ij", "sum"
    bool raisedGround = false;       // "it": terrain objects at 43.9, the camera at 47
    bool tintedLightsAndSky = false; // "sum": the lights follow the fog, the sky is tinted
    bool groundSkipsOneFace = false; // "be": face 12 of serial 1141 stays out of the ground
};
LevelQuirks QuirksOf(std::string_view levelName);

struct Level {
    LevelFiles files;
    LevelQuirks quirks;
    BlockFile sceneFile;
    // The scene file's size and time as the load read it (none when it came
    // from memory): a save tells the user when it has changed since.
    std::optional<platform::FileStamp> sceneFileStamp;
    TextureDatabase textures;
    MeshLoaderState meshes;
    SceneState scene;
};

Level& TheLevel();

// Whether path names one of the loaded level's three files, however it is
// spelled: nothing the programs write may go there.
bool IsLevelFile(const std::string& path);

// The design's names for the parts.
inline SceneState& TheScene() { return TheLevel().scene; }
inline BlockFile& TheSceneFile() { return TheLevel().sceneFile; }
inline TextureDatabase& TheTextureDatabase() { return TheLevel().textures; }
inline LevelFiles& TheLevelFiles() { return TheLevel().files; }
inline MeshLoaderState& TheMeshLoader() { return TheLevel().meshes; }
inline std::vector<Instance*>& ShadowCandidates() { return TheLevel().scene.ShadowCandidates; }
