// The world part of a frame: the level's lights, fog, sky and sun, the
// terrain and the culled instances. Also drawn, with PickingActive set, for
// picking, where the terrain and the sky push no name and so pick nothing.
#pragma once

void DrawScenePass();
