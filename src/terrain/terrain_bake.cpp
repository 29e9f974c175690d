#include "terrain/terrain_bake.h"

#include "glh/gl.h"
#include "glh/identity_matrices.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>
#include <vector>

#include "effects/offscreen.h"
#include "effects/shadows.h"
#include "math/bounding.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/model_draw.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain.h"


void LayGround(float centreX, float centreY, float reach, float texelsPerRadius) {
    // Ascending keys: later ones paint over earlier ones.
    for (auto& [key, group] : TheScene().TerrainObjectsByHeight)
        for (auto& inst : group) {
            const float dx = centreX - inst->sphere.centre.x, dy = centreY - inst->sphere.centre.y;
            if (std::sqrt(dx * dx + dy * dy) > reach + inst->sphere.radius) continue;
            if (key != 1 && !(texelsPerRadius * inst->sphere.radius >= kMinimumTexels)) continue;
            DrawInstance(*inst);
        }
}

namespace {

// Alpha to 0 over the viewport, colour kept. A rectangle rather than a
// masked clear: a driver may finish all drawing queued so far before a
// masked clear (llvmpipe does), which made a bake cost two to three times
// as much.
void ClearAlphaInViewport() {
    glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT);
    for (const GLenum cap : {GL_TEXTURE_2D, GL_LIGHTING, GL_ALPHA_TEST, GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE,
                             GL_STENCIL_TEST})
        glDisable(cap);
    {
        const glh::IdentityMatrices identity;
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glColor4f(1, 0, 0, 0);
        glRectf(-1, -1, 1, 1);
    }
    glPopAttrib();
}

}  // namespace

void LayShadows(const GroundRect& r, const Cylinder& light, const std::function<bool(const Instance&)>& casts,
                const std::function<float(float x, float y)>& groundAt) {
    glClearColor(1, 0, 0, 0);
    ClearAlphaInViewport();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(r.left, r.right, r.bottom, r.top, -2500, 0);
    const Vector3& l = TheScene().LightDirection;
    float shear[16];
    const bool shears = ShadowMatrix(l.x, l.y, l.z, shear);
    if (shears) glMultMatrixf(shear);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glColor4f(0, 0, 0, 1);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    for (const auto& inst : TheScene().InstanceList) {
        if (!shears) break;
        if (!inst->Shadow || !light.Intersects(inst->sphere) || !casts(*inst)) continue;
        glPushMatrix();
        // What is projected is the caster's height above the ground.
        glTranslatef(0, 0, -groundAt(inst->position.x, inst->position.y));
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
    glRectf(r.left, r.bottom, r.right, r.top);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glColor4f(0, 0, 0, 1);
    glBlendFunc(GL_ZERO, GL_ONE_MINUS_DST_ALPHA);
    glRectf(r.left, r.bottom, r.right, r.top);
    glDisable(GL_BLEND);
}

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
    DrawInto(t);
    if (terrain.bakesThisFrame > kMaxBakesPerFrame) {
        glClearColor(0, 0, 0, 1);
        ClearCorner(t, GL_COLOR_BUFFER_BIT);
        CopyToTexture(t);
        return;
    }
    node.needsBake = false;
    const float w = node.maxX - node.minX, h = node.maxY - node.minY;
    const float mx = w * 0.5f / static_cast<float>(t.width), my = h * 0.5f / static_cast<float>(t.height);
    const GroundRect rect{node.minX - mx, node.maxX + mx, node.minY - my, node.maxY + my};
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(rect.left, rect.right, rect.bottom, rect.top, -500, 2500);
    glMatrixMode(GL_MODELVIEW);
    glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
    ClearCorner(t, GL_COLOR_BUFFER_BIT);
    const float texelsPerRadius = static_cast<float>(t.width) / node.sphere.radius;
    LayGround(node.centre[0], node.centre[1], node.halfDiagonal, texelsPerRadius);
    if (terrain.bakeShadows) {
        const Vector3 camera = TheCamera().position;
        LayShadows(rect, Cylinder(node.sphere.centre, TheScene().LightDirection, node.sphere.radius),
                   [&](const Instance& inst) {
                       return inst.position.Distance(camera) <= kCasterRange &&
                              texelsPerRadius * inst.sphere.radius >= kMinimumTexels;
                   },
                   [](float x, float y) { return TerrainHeightAt(x, y); });
    }
    CopyToTexture(t);
}

namespace {

// The textures of the objects nearest the camera, made while the ground is
// built on a worker: the driver compiles its code for a kind of texture at
// the first one made, which in the first frame would come after the ground.
// The textures are those the frames would make; only the time moves.
void MakeNearTexturesWhile(const std::future<HeightBuild>& build) {
    const Vector3 camera = TheCamera().position;
    std::vector<std::pair<float, Model*>> near;
    for (const auto& inst : TheScene().InstanceList)
        if (inst->model) near.emplace_back(inst->position.Distance(camera), inst->model);
    std::sort(near.begin(), near.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [distance, model] : near) {
        if (build.wait_for(std::chrono::seconds(0)) == std::future_status::ready) return;
        for (Material& m : model->materials) CreateMaterialTextures(m);
    }
}

}  // namespace

void InstallTerrainGlHooks() {
    TheTerrainHooks().initOffscreen = &InitPBuffer;
    TheTerrainHooks().whileGroundBuilds = &MakeNearTexturesWhile;
    TerrainTexturePool().create = [](TerrainTexture& t) { CreateTerrainTexture(t); };
    TheShadows().pool.create = [](ShadowTexture& t) { CreateShadowTexture(t); };
    TheSceneHooks().releaseShadow = &ReleaseShadowSlot;
    TheSceneHooks().markAreaForRebake = &MarkAreaForRebake;
}
