#include "scene/scene_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "diag/state_registry.h"
#include "files/block_file.h"

namespace {
std::uint32_t gNextSerialId = 1;  // process-wide; a reload does not restart it
// Instances destroyed so far: a new instance may take a destroyed one's
// address, so the cull table is made again after any is destroyed.
std::uint64_t gInstancesDestroyed = 0;
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

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Collects the distinct positions (bit for bit) of a sequence, in order of
// first appearance. The table is kept from call to call and stamped rather
// than cleared, so that a model's few dozen points cost no allocation.
class DistinctPositions {
public:
    void Start(std::size_t expected) {
        std::size_t n = 16;
        while (n < 2 * expected) n *= 2;
        if (table_.size() < n) table_.assign(n, Slot{});
        mask_ = n - 1;
        if (++stamp_ == 0) {  // wrapped: the old stamps could pass for new
            std::fill(table_.begin(), table_.end(), Slot{});
            stamp_ = 1;
        }
        found_.clear();
    }
    void Add(const Vector3& p) {
        const std::uint32_t x = Bits(p.x), y = Bits(p.y), z = Bits(p.z);
        std::uint64_t h = (x * 0x9E3779B97F4A7C15ull) ^ (y * 0xC2B2AE3D27D4EB4Full) ^ (z * 0x165667B19E3779F9ull);
        h ^= h >> 29;
        for (std::size_t i = static_cast<std::size_t>(h) & mask_;; i = (i + 1) & mask_) {
            Slot& s = table_[i];
            if (s.stamp != stamp_) {
                s = {stamp_, static_cast<std::uint32_t>(found_.size())};
                found_.push_back(p);
                return;
            }
            const Vector3& q = found_[s.index];
            if (Bits(q.x) == x && Bits(q.y) == y && Bits(q.z) == z) return;
        }
    }
    const std::vector<Vector3>& Found() const { return found_; }

private:
    struct Slot {
        std::uint32_t stamp = 0, index = 0;
    };
    std::vector<Slot> table_;
    std::vector<Vector3> found_;
    std::size_t mask_ = 0;
    std::uint32_t stamp_ = 0;
};

DistinctPositions& Scratch() {
    static DistinctPositions scratch;
    return scratch;
}

}  // namespace

void Model::PreparePoints() {
    ModelPoints p;
    DistinctPositions& distinct = Scratch();
    distinct.Start(vertices.size());
    for (const Vertex& v : vertices) distinct.Add(v.position);
    std::vector<Vector3> all = distinct.Found();
    distinct.Start(vertices.size());
    for (const Face& f : faces) {
        if (!FaceDrawn(*this, f)) continue;
        p.anyDrawn = true;
        for (std::uint32_t k : f.index) {
            const Vector3& v = vertices[k].position;
            Vector3& lo = p.drawnMin;
            Vector3& hi = p.drawnMax;
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            distinct.Add(v);
        }
    }
    const std::vector<Vector3>& drawn = distinct.Found();
    p.points.reserve(all.size() + drawn.size());
    p.points.assign(all.begin(), all.end());
    p.points.insert(p.points.end(), drawn.begin(), drawn.end());
    p.drawnStart = all.size();
    p.madeFrom = vertices.data();
    p.madeFromCount = vertices.size();
    points_ = std::move(p);
}

Instance::Instance() : SerialId(gNextSerialId++) {}

Instance::~Instance() {
    ReleaseShadow();
    ++gInstancesDestroyed;
}

std::uint32_t PeekNextSerialId() { return gNextSerialId; }

Matrix3 Instance::ModelMatrix() const { return DrawingRotation(rotation) * Matrix3::Scale(scale); }

void Instance::UpdateBounds(bool plain) {
    sphere.centre = position;
    float radius = 0.0f;
    if (model) {
        const Matrix3 rs = ModelMatrix();
        auto extend = [&](const Vector3& v) {
            const Vector3 p = rs * v;
            radius = std::max(radius, p.Length());
            const Vector3 w = p + position;
            boxMin = {std::min(boxMin.x, w.x), std::min(boxMin.y, w.y), std::min(boxMin.z, w.z)};
            boxMax = {std::max(boxMax.x, w.x), std::max(boxMax.y, w.y), std::max(boxMax.z, w.z)};
        };
        if (const ModelPoints* points = plain ? nullptr : model->Points()) {
            for (const Vector3& v : points->All()) extend(v);
        } else {
            for (const Vertex& v : model->vertices) extend(v.position);
        }
    }
    sphere.radius = radius;
    TheScene().cull.Refresh(*this);
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

Model* ModelCacheTable::Find(std::uint32_t handle) const {
    const std::size_t n = handle & kBlockNumberMask;
    if (n < byBlock_.size() && byBlock_[n].second && byBlock_[n].first == handle) return byBlock_[n].second;
    if (others_.empty()) return nullptr;
    const auto it = others_.find(handle);
    return it == others_.end() ? nullptr : it->second;
}

void ModelCacheTable::Insert(std::uint32_t handle, Model* model, std::size_t blockCount) {
    const std::size_t n = handle & kBlockNumberMask;
    if (byBlock_.size() < blockCount) byBlock_.resize(blockCount);
    if (n < byBlock_.size() && !byBlock_[n].second) {
        byBlock_[n] = {handle, model};
        ++count_;
        return;
    }
    if (n < byBlock_.size() && byBlock_[n].first == handle) {
        byBlock_[n].second = model;
        return;
    }
    if (others_.insert_or_assign(handle, model).second) ++count_;
}

void ModelCacheTable::clear() {
    byBlock_ = {};
    others_.clear();
    count_ = 0;
}

const std::vector<CullEntry>& CullTable::For(const std::vector<std::unique_ptr<Instance>>& list) {
    bool same = destroyedSeen_ == gInstancesDestroyed && entries_.size() == list.size();
    for (std::size_t i = 0; same && i < list.size(); ++i) same = entries_[i].instance == list[i].get();
    if (same) return entries_;
    entries_.resize(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        Instance& inst = *list[i];
        entries_[i] = {inst.sphere.centre, inst.sphere.radius, inst.position, &inst};
        inst.cullSlot = static_cast<std::uint32_t>(i);
    }
    destroyedSeen_ = gInstancesDestroyed;
    return entries_;
}

void CullTable::Refresh(Instance& inst) {
    if (inst.cullSlot >= entries_.size() || entries_[inst.cullSlot].instance != &inst) return;
    entries_[inst.cullSlot] = {inst.sphere.centre, inst.sphere.radius, inst.position, &inst};
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
