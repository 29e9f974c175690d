// The world part of a frame: the level's lights, fog, sky and sun, the
// terrain and the culled instances. Also drawn, with PickingActive set, for
// picking, where the terrain and the sky push no name and so pick nothing.
#pragma once

class Instance;
class Model;
struct Vector3;

void DrawScenePass();
// After the scene pass: an instance's box, turned and scaled as the
// instance is drawn, seen through what stands in front of it. Leaves the
// GL state as it found it; nothing in a picking pass.
void DrawSelectionOutline(const Instance& instance);
// The model's own box (lo above hi when it has no vertices), and a box
// drawn as that outline is, in a colour.
void ModelBox(const Model& model, Vector3& lo, Vector3& hi);
void DrawOutlineBox(const Instance& instance, const Vector3& lo, const Vector3& hi, float r, float g, float b);
