#include "terrain/terrain_bake.h"

#include <GL/gl.h>

#include <cmath>

#include "effects/offscreen.h"
#include "effects/shadows.h"
#include "math/bounding.h"
#include "math/camera.h"
#include "scene/model_draw.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"

namespace {

constexpr float kBackgroundGrey = 0.8f;
constexpr float kMinimumTexels = 2.0f;
constexpr float kCasterRange = 250.0f;
constexpr float kShadowAlpha = 0.6f;

bool LargeEnough(const TerrainNode& node, const TerrainTexture& t, float radius) {
    return static_cast<float>(t.width) / node.sphere.radius * radius >= kMinimumTexels;
}

// Darkens the texels under the shadows of the instances near the camera
// whose light cylinder crosses the quad: they keep 40% of their colour.
void ShadowPass(TerrainNode& node, const TerrainTexture& t, float left, float right, float bottom, float top) {
    glClearColor(1, 0, 0, 0);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -2500, 0);
    const Vector3& l = TheScene().LightDirection;
    float shear[16];
    const bool casts = ShadowMatrix(l.x, l.y, l.z, shear);
    if (casts) glMultMatrixf(shear);
    glMatrixMode(GL_MODELVIEW);
    const Cylinder light(node.sphere.centre, l, node.sphere.radius);
    glDisable(GL_BLEND);
    glColor4f(0, 0, 0, 1);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    const Vector3& camera = TheCamera().position;
    for (const auto& inst : TheScene().InstanceList) {
        if (!casts) break;
        if (!inst->Shadow || !(inst->position.Distance(camera) <= kCasterRange)) continue;
        if (!light.Intersects(inst->sphere) || !LargeEnough(node, t, inst->sphere.radius)) continue;
        glPushMatrix();
        // What is projected is the caster's height above the ground.
        glTranslatef(0, 0, -TerrainHeightAt(inst->position.x, inst->position.y));
        DrawAdditive(*inst);
        glPopMatrix();
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_ALPHA_TEST);
    glEnable(GL_BLEND);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glColor4f(0, 0, 0, kShadowAlpha);
    glBlendFunc(GL_ZERO, GL_SRC_ALPHA);
    glRectf(left, bottom, right, top);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glColor4f(0, 0, 0, 1);
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_DST_ALPHA);
    glRectf(left, bottom, right, top);
    glDisable(GL_BLEND);
}

}  // namespace

bool ShadowMatrix(float lx, float ly, float lz, float matrix[16]) {
    for (int k = 0; k < 16; ++k) matrix[k] = (k % 5 == 0) ? 1.0f : 0.0f;
    // A light at (or above) the horizon shears by huge or infinite amounts:
    // no shadow is laid then, rather than infinities in the GL state.
    if (!(std::fabs(lz) > 1e-4f * std::sqrt(lx * lx + ly * ly)) || !std::isfinite(lx / lz) || !std::isfinite(ly / lz))
        return false;
    matrix[8] = -lx / lz;
    matrix[9] = -ly / lz;
    return true;
}

void BakeTexture(TerrainNode& node) {
    TerrainState& terrain = TheTerrain();
    TerrainTexture& t = *node.texture;
    ++terrain.bakesThisFrame;
    SetBakeTarget(t);
    if (terrain.bakesThisFrame > kMaxBakesPerFrame) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        CopyToBakeTarget();
        return;
    }
    node.needsBake = false;
    const float w = node.maxX - node.minX, h = node.maxY - node.minY;
    const float mx = w * 0.5f / static_cast<float>(t.width), my = h * 0.5f / static_cast<float>(t.height);
    const float left = node.minX - mx, right = node.maxX + mx, bottom = node.minY - my, top = node.maxY + my;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -500, 2500);
    glMatrixMode(GL_MODELVIEW);
    glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // Ascending keys: later ones paint over earlier ones.
    for (auto& [key, group] : TheScene().TerrainObjectsByHeight)
        for (auto& inst : group) {
            const float dx = node.centre[0] - inst->sphere.centre.x, dy = node.centre[1] - inst->sphere.centre.y;
            if (std::sqrt(dx * dx + dy * dy) > node.halfDiagonal + inst->sphere.radius) continue;
            if (key != 1 && !LargeEnough(node, t, inst->sphere.radius)) continue;
            DrawInstance(*inst);
        }
    if (terrain.bakeShadows) ShadowPass(node, t, left, right, bottom, top);
    CopyToBakeTarget();
}

void InstallTerrainGlHooks() {
    TheTerrainHooks().initOffscreen = &InitPBuffer;
    TerrainTexturePool().create = [](TerrainTexture& t) { CreateTerrainTexture(t); };
    TheShadows().pool.create = [](ShadowTexture& t) { CreateShadowTexture(t); };
    TheSceneHooks().releaseShadow = &ReleaseShadowSlot;
    TheSceneHooks().markAreaForRebake = &MarkAreaForRebake;
}
