// The terrain in GL: the per-frame update (re-centring, geometry, and the
// texture tree's bakes off-screen) and the draw as one triangle fan per
// visible leaf, with its outline on request.
#pragma once

// Before the frame is cleared; never in a picking pass.
void UpdateTerrainFrame();
// From the scene pass, with the camera's modelview in effect.
void DrawTerrain();
