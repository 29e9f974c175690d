#include "terrain/terrain.h"

#include "diag/log.h"
#include "scene/scene_model.h"

void InitTerrain() {
    // The height field and the quadtree are built here once the terrain
    // exists; the load sequence already calls this at its place.
}

void KillTerrain() {
    LogPrintf("\n\n    KillTerrain\n    ===========\n");
    SceneState& scene = TheScene();
    for (auto& [height, group] : scene.TerrainObjectsByHeight) group.clear();  // ascending keys, each in order
    scene.TerrainObjectsByHeight.clear();
}
