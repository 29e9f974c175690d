// The world part of a frame: the level's lights, fog, sky and sun, the
// terrain and the culled instances. Also drawn, with PickingActive set, for
// picking, where the terrain and the sky push no name and so pick nothing.
#pragma once

class Instance;

void DrawScenePass();
// After the scene pass: an instance's box, turned and scaled as the
// instance is drawn, seen through what stands in front of it. Leaves the
// GL state as it found it; nothing in a picking pass.
void DrawSelectionOutline(const Instance& instance);
