// Baking a terrain quad's texture: the level's terrain objects drawn from
// straight above into the off-screen drawable, darkened where instances
// cast their shadows, and copied into the quad's texture.
#pragma once

struct TerrainNode;

// At most 9 real bakes a frame; later ones clear the texture to black and
// stay marked, to be baked in a later frame.
void BakeTexture(TerrainNode& node);

// The shear that projects a point along the light onto z = 0: identity but
// for elements 8 and 9 (column 2): -Lx / Lz and -Ly / Lz. False, and the
// matrix left alone, for a light with no downward part, which would throw
// its shadows to infinity.
bool ShadowMatrix(float lx, float ly, float lz, float matrix[16]);

// Connects the terrain's and the effects' core to their GL halves (texture
// creation for the pools, the off-screen set-up, the placement hooks).
void InstallTerrainGlHooks();
