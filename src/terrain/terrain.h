// The terrain: a height field inferred from the scene, drawn as a
// camera-following quadtree. Set up once after scene construction and torn
// down at unload.
#pragma once

void InitTerrain();
// Destroys the terrain objects (the level's CTerrainObj instances).
void KillTerrain();
