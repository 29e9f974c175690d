#include "scene/scene_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "diag/state_registry.h"
#include "files/block_file.h"
#include "scene/level.h"

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
    // The index in Found() of p's position.
    std::uint32_t Add(const Vector3& p) {
        const std::uint32_t x = Bits(p.x), y = Bits(p.y), z = Bits(p.z);
        std::uint64_t h = (x * 0x9E3779B97F4A7C15ull) ^ (y * 0xC2B2AE3D27D4EB4Full) ^ (z * 0x165667B19E3779F9ull);
        h ^= h >> 29;
        for (std::size_t i = static_cast<std::size_t>(h) & mask_;; i = (i + 1) & mask_) {
            Slot& s = table_[i];
            if (s.stamp != stamp_) {
                s = {stamp_, static_cast<std::uint32_t>(found_.size())};
                found_.push_back(p);
                return s.index;
            }
            const Vector3& q = found_[s.index];
            if (Bits(q.x) == x && Bits(q.y) == y && Bits(q.z) == z) return s.index;
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

}  // namespace

void Model::PreparePoints() {
    // The drawn corners' distinct positions are found through the vertices'
    // places among all distinct positions (equal bits, equal place), in
    // order of first appearance as a second table would find them.
    static DistinctPositions all;
    static std::vector<std::uint32_t> placeOf, seen, drawn;
    ModelPoints p;
    all.Start(vertices.size());
    placeOf.resize(vertices.size());
    for (std::size_t k = 0; k < vertices.size(); ++k) placeOf[k] = all.Add(vertices[k].position);
    const std::vector<Vector3>& a = all.Found();
    seen.assign(a.size(), 0);
    drawn.clear();
    for (const Face& f : faces) {
        if (!FaceDrawn(*this, f)) continue;
        p.anyDrawn = true;
        for (std::uint32_t k : f.index) {
            const Vector3& v = vertices[k].position;
            Vector3& lo = p.drawnMin;
            Vector3& hi = p.drawnMax;
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            const std::uint32_t place = placeOf[k];
            if (seen[place]) continue;
            seen[place] = 1;
            drawn.push_back(place);
        }
    }
    p.points.reserve(a.size() + drawn.size());
    p.points.assign(a.begin(), a.end());
    for (std::uint32_t place : drawn) p.points.push_back(a[place]);
    p.drawnStart = a.size();
    p.laneCount = (a.size() + 3) / 4 * 4;
    p.lanes.resize(3 * p.laneCount);
    for (std::size_t i = 0; i < p.laneCount; ++i) {
        const Vector3& v = a.empty() ? Vector3{} : a[i < a.size() ? i : 0];
        p.lanes[i] = v.x;
        p.lanes[p.laneCount + i] = v.y;
        p.lanes[2 * p.laneCount + i] = v.z;
    }
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

namespace {

#if defined(__SSE2__)
// The walk of UpdateBounds over the model's distinct points, four at a time:
// each lane does exactly what the walk does to its points, and the lanes are
// then folded into one. False when a corner of the box came out zero: the
// lanes cannot tell which of +0 and -0 the walk would have met first.
bool ExtendFour(const ModelPoints& points, const Matrix3& rs, const Vector3& position, float& radius, Vector3& lo,
                Vector3& hi) {
    const std::size_t n = points.laneCount;
    const float* X = points.lanes.data();
    const float* Y = X + n;
    const float* Z = Y + n;
    const __m128 m0 = _mm_set1_ps(rs.m[0]), m1 = _mm_set1_ps(rs.m[1]), m2 = _mm_set1_ps(rs.m[2]);
    const __m128 m3 = _mm_set1_ps(rs.m[3]), m4 = _mm_set1_ps(rs.m[4]), m5 = _mm_set1_ps(rs.m[5]);
    const __m128 m6 = _mm_set1_ps(rs.m[6]), m7 = _mm_set1_ps(rs.m[7]), m8 = _mm_set1_ps(rs.m[8]);
    const __m128 ox = _mm_set1_ps(position.x), oy = _mm_set1_ps(position.y), oz = _mm_set1_ps(position.z);
    __m128 r = _mm_set1_ps(radius);
    __m128 loX = _mm_set1_ps(lo.x), loY = _mm_set1_ps(lo.y), loZ = _mm_set1_ps(lo.z);
    __m128 hiX = _mm_set1_ps(hi.x), hiY = _mm_set1_ps(hi.y), hiZ = _mm_set1_ps(hi.z);
    for (std::size_t k = 0; k < n; k += 4) {
        const __m128 x = _mm_loadu_ps(X + k), y = _mm_loadu_ps(Y + k), z = _mm_loadu_ps(Z + k);
        // rs * v, a row at a time as Matrix3 adds: (a x + b y) + c z.
        const __m128 px = _mm_add_ps(_mm_add_ps(_mm_mul_ps(m0, x), _mm_mul_ps(m1, y)), _mm_mul_ps(m2, z));
        const __m128 py = _mm_add_ps(_mm_add_ps(_mm_mul_ps(m3, x), _mm_mul_ps(m4, y)), _mm_mul_ps(m5, z));
        const __m128 pz = _mm_add_ps(_mm_add_ps(_mm_mul_ps(m6, x), _mm_mul_ps(m7, y)), _mm_mul_ps(m8, z));
        const __m128 length =
            _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(px, px), _mm_mul_ps(py, py)), _mm_mul_ps(pz, pz)));
        // max(a, b) keeps b unless a is larger, as std::max(b, a) does; min alike.
        r = _mm_max_ps(length, r);
        const __m128 wx = _mm_add_ps(px, ox), wy = _mm_add_ps(py, oy), wz = _mm_add_ps(pz, oz);
        loX = _mm_min_ps(wx, loX), loY = _mm_min_ps(wy, loY), loZ = _mm_min_ps(wz, loZ);
        hiX = _mm_max_ps(wx, hiX), hiY = _mm_max_ps(wy, hiY), hiZ = _mm_max_ps(wz, hiZ);
    }
    alignas(16) float lane[8][4];
    _mm_store_ps(lane[0], r);
    _mm_store_ps(lane[1], loX), _mm_store_ps(lane[2], loY), _mm_store_ps(lane[3], loZ);
    _mm_store_ps(lane[4], hiX), _mm_store_ps(lane[5], hiY), _mm_store_ps(lane[6], hiZ);
    float folded[7];
    for (int v = 0; v < 7; ++v) {
        float f = lane[v][0];
        for (int k = 1; k < 4; ++k) f = v == 0 || v >= 4 ? std::max(f, lane[v][k]) : std::min(f, lane[v][k]);
        if (v > 0 && f == 0.0f) return false;
        folded[v] = f;
    }
    radius = folded[0];
    lo = {folded[1], folded[2], folded[3]};
    hi = {folded[4], folded[5], folded[6]};
    return true;
}
#endif

}  // namespace

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
        const ModelPoints* points = plain ? nullptr : model->Points();
        bool done = false;
#if defined(__SSE2__)
        if (points) done = ExtendFour(*points, rs, position, radius, boxMin, boxMax);
#endif
        if (done) {
        } else if (points) {
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

namespace {
// Installed by the GL set-up; cleared only after the level's GL objects went.
const StateReset kHooksReset{"scene hooks", StateLayer::Scene, StateScope::Process, [] { TheSceneHooks() = {}; }};
}  // namespace
