// Loading and unloading one level: the scene file, the texture database and
// the pixel file, then scene construction and the terrain, with the counter
// report and the load time on the debug output.
#pragma once

#include "files/block_file.h"

// The level's scene file; lives for the run.
BlockFile& TheSceneFile();

// Loads the level named by TheLevelFiles(). Failures are logged and shown
// in a box ("Could not load GRF file" and the like) and leave the scene empty.
void InitModels();
void KillModels();

// Forgets everything a load leaves behind (scene, models, textures, scene
// file, texture database, camera), so that one process can load again.
void ResetLoadedLevel();
