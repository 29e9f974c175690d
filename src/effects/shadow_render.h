// Object shadows in GL: each frame the receivers near the camera get their
// pictures of what lies between them and the light, rendered off-screen
// into their shadow textures (only the dirty ones).
#pragma once

class Instance;

// After the terrain's update, before the frame is cleared; the candidates
// are chosen even in a picking pass, nothing is rendered then.
void UpdateShadows();
// Renders one receiver's picture into its slot and clears ShadowDirty.
void RenderShadowTexture(Instance& receiver);
