// Baking a terrain quad's texture: the level's terrain objects drawn from
// straight above into the off-screen drawable, darkened where instances
// cast their shadows, and copied into the quad's texture.
#pragma once

#include <functional>

struct Cylinder;
class Instance;
struct TerrainNode;

constexpr float kBackgroundGrey = 0.8f;  // where no terrain object lies
constexpr float kMinimumTexels = 2.0f;   // overlays and casters smaller than this are left out
constexpr float kCasterRange = 250.0f;   // from the camera
constexpr float kShadowAlpha = 0.6f;     // shadowed ground keeps 1 - 0.6 of its colour

// A rectangle of the ground in world x, y.
struct GroundRect {
    float left, right, bottom, top;
};

// At most 9 real bakes a frame; later ones clear the texture to black and
// stay marked, to be baked in a later frame.
void BakeTexture(TerrainNode& node);

// The passes of a bake, over any rectangle of the ground in the current
// orthographic view from above (the overview map uses them too).
// LayGround draws the terrain objects within reach of (x, y), in key order,
// those of keys other than 1 only when at least 2 texels large
// (texelsPerRadius times their radius). LayShadows darkens, to 40%, what
// the casters that `casts` accepts shade: instances with the Shadow flag
// whose spheres the light cylinder meets.
// groundAt: the ground's height under a caster, which its shadow is cast
// from (the viewer's terrain window for bakes).
void LayGround(float centreX, float centreY, float reach, float texelsPerRadius);
void LayShadows(const GroundRect& rect, const Cylinder& light, const std::function<bool(const Instance&)>& casts,
                const std::function<float(float x, float y)>& groundAt);

// The shear that projects a point along the light onto z = 0: identity but
// for elements 8 and 9 (column 2): -Lx / Lz and -Ly / Lz. False, and the
// matrix left alone, for a light with no downward part, which would throw
// its shadows to infinity.
bool ShadowMatrix(float lx, float ly, float lz, float matrix[16]);

// Connects the terrain's and the effects' core to their GL halves (texture
// creation for the pools, the off-screen set-up, the placement hooks).
void InstallTerrainGlHooks();
