#include "scene/scene_model.h"

#include <algorithm>
#include <cmath>

#include "diag/state_registry.h"

namespace {
std::uint32_t gNextSerialId = 1;  // process-wide; a reload does not restart it
}

SceneHooks& TheSceneHooks() {
    static SceneHooks hooks;
    return hooks;
}

Model::~Model() {
    if (displayListBuilt && TheSceneHooks().deleteDisplayList) TheSceneHooks().deleteDisplayList(displayList);
}

void Model::ComputeMaterialFlags() {
    HasAlphaTexture = std::any_of(materials.begin(), materials.end(), [](const Material& m) {
        return m.hasTexture && m.texture && m.texture->hasAlpha;
    });
    HasBumpMaterial = std::any_of(materials.begin(), materials.end(), [](const Material& m) { return m.hasBump; });
    for (Material& m : materials) m.clamp = true;
    for (const Face& f : faces) {
        if (!f.inRange || f.material >= materials.size()) continue;
        Material& m = materials[f.material];
        if (!m.hasTexture) continue;
        for (std::uint32_t k : f.index) {
            const Vertex& v = vertices[k];
            if (v.u > 1.01f || v.u < -0.01f || v.v > 1.01f || v.v < -0.01f) m.clamp = false;
        }
    }
}

Instance::Instance() : SerialId(gNextSerialId++) {}

Instance::~Instance() { ReleaseShadow(); }

std::uint32_t PeekNextSerialId() { return gNextSerialId; }

Matrix3 Instance::ModelMatrix() const { return DrawingRotation(rotation) * Matrix3::Scale(scale); }

void Instance::UpdateBounds() {
    sphere.centre = position;
    float radius = 0.0f;
    if (model) {
        const Matrix3 rs = ModelMatrix();
        for (const Vertex& v : model->vertices) {
            const Vector3 p = rs * v.position;
            radius = std::max(radius, p.Length());
            const Vector3 w = p + position;
            boxMin = {std::min(boxMin.x, w.x), std::min(boxMin.y, w.y), std::min(boxMin.z, w.z)};
            boxMax = {std::max(boxMax.x, w.x), std::max(boxMax.y, w.y), std::max(boxMax.z, w.z)};
        }
    }
    sphere.radius = radius;
}

void Instance::SetPosition(float x, float y, float z) {
    position = {x, y, z};
    UpdatePlacement();
}

void Instance::SetRotation(float x, float y, float z) {
    rotation = {x, y, z};
    UpdatePlacement();
}

void Instance::UpdatePlacement() {
    UpdateBounds();
    if (TheSceneHooks().markAreaForRebake) TheSceneHooks().markAreaForRebake(sphere.centre, sphere.radius);
    ShadowDirty = true;
    // Every candidate whose sphere touches the light line through this one
    // (both directions) may now cast onto it or receive from it.
    const Vector3 o = sphere.centre;
    const Vector3 l = TheScene().LightDirection.Normalised();
    for (Instance* j : ShadowCandidates()) {
        if (j == this) continue;
        const float t = l.Dot(j->sphere.centre - o);
        const Vector3 p = o + l * t;
        if (j->sphere.centre.Distance(p) <= sphere.radius + j->sphere.radius) j->ShadowDirty = true;
    }
}

void Instance::ReleaseShadow() {
    if (!ShadowSlot) return;
    if (TheSceneHooks().releaseShadow) TheSceneHooks().releaseShadow(ShadowSlot);
    ShadowSlot = nullptr;
}

SceneState& TheScene() {
    static SceneState scene;
    return scene;
}

std::vector<Instance*>& ShadowCandidates() {
    static std::vector<Instance*> candidates;
    return candidates;
}

void ResetScene() {
    ShadowCandidates().clear();
    SceneState& s = TheScene();
    // Instances first: they point at models.
    s.InstanceList.clear();
    s.TerrainObjectsByHeight.clear();
    s.ModelCache.clear();
    s.ModelList.clear();
    s = SceneState{};
}

namespace {
const StateReset kSceneReset{"scene", StateLayer::Scene, StateScope::Level, &ResetScene};
// Installed by the GL set-up; cleared only after the level's GL objects went.
const StateReset kHooksReset{"scene hooks", StateLayer::Scene, StateScope::Process, [] { TheSceneHooks() = {}; }};
}  // namespace
