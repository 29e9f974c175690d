// The scene's own parts of a frame: the sky with its sun and the culled
// instances.
#pragma once

#include <vector>

class Instance;

// The dome with drifting clouds and the sun; nothing without a sky texture.
void DrawSky();
// The instances the object frustum and the size rule let through, in list
// order; valid until the next call. From the scene's cull table; the plain
// walk over the instances themselves is the reference it is pinned to.
const std::vector<Instance*>& CullInstances();
const std::vector<Instance*>& CullInstancesPlain();
void DrawInstances();
// Whether an instance at distance d with radius r is too small to draw.
bool TooSmallToDraw(float distance, float radius);
