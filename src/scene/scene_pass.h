// The world part of a frame: the level's lights, fog, sky and sun, the
// terrain and the culled instances. Also drawn, with PickingActive set, for
// picking.
#pragma once

#include <vector>

class Instance;

void DrawScenePass();
// The dome with drifting clouds and the sun; nothing without a sky texture.
void DrawSky();
// The instances the object frustum and the size rule let through, in list
// order; valid until the next call.
const std::vector<Instance*>& CullInstances();
void DrawInstances();
// Whether an instance at distance d with radius r is too small to draw.
bool TooSmallToDraw(float distance, float radius);
