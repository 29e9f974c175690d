// The objects of some models shown apart in the view: the texture browser
// marks every object whose model uses the chosen texture.
#pragma once

#include <vector>

class Model;

// Owned here: written by the texture browser when a texture is chosen,
// read by the frame, which empties it once the texture's picture window is
// gone; the level reset empties it.
struct HighlightState {
    std::vector<const Model*> models;
};
HighlightState& TheHighlight();

// A cyan box around every placed object within the objects' range whose
// model is highlighted, seen through what stands in front; with the
// camera's matrices current. Returns how many were drawn.
int DrawHighlights();
