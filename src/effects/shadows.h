// Object shadows, the part that needs no GL: which instances near the
// camera receive a shadow picture, which keep theirs, and the pool of
// pictures. Rendering the pictures is shadow_render's.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/gl_texture.h"
#include "scene/scene_model.h"

constexpr float kShadowCandidateRange = 200.0f;
constexpr float kShadowReceiverRange = 50.0f;
constexpr float kShadowSizeFactor = 0.04f;
constexpr std::size_t kMaxShadowTextures = 30;

// Owned here: written by InitPBuffer (ShadowsPossible), the frame's shadow
// update (UpdateShadows: the slots, rendersThisFrame), ReleaseShadowSlot
// (an instance giving its picture back) and KillGL (the pool, emptied while
// the context is current); read by drawing. The process reset restores it.
struct ShadowState {
    TexturePool<ShadowTexture> pool;
    bool ShadowsPossible = false;  // the window has 8 alpha bits
    bool shadowsWereOn = false;    // textures have been handed out
    std::int32_t rendersThisFrame = 0;
};
ShadowState& TheShadows();

// Near enough, and large enough for its distance, to be worth a picture.
bool WantsShadow(const Instance& instance, const Vector3& camera);

// Rebuilds ShadowCandidates: the instances within 200 of the camera,
// nearest first.
void UpdateShadowCandidates(const Vector3& camera);

// With object shadows off: gives back every candidate's picture (once after
// they were on). On: the release pass and the hand-out of at most 30
// pictures to the nearest wanting receivers within 50; returns the
// receivers whose pictures must be rendered (the dirty ones), nearest first.
std::vector<Instance*> AssignShadowSlots(const Vector3& camera, bool objectShadows);

// Gives a slot back to the pool (the instance placement's hook).
void ReleaseShadowSlot(ShadowTexture* slot);
