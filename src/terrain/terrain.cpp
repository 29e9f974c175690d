#include "terrain/terrain.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <future>
#include <optional>
#include <vector>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "platform/thread_priority.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"

namespace {

void ReleaseTexture(TerrainNode& node) {
    if (node.texture) TerrainTexturePool().Release(node.texture);
    node.texture = nullptr;
}

// The pictures made ahead for a texture leaf's children.
void ReleaseAhead(TerrainNode& leaf) {
    for (auto& child : leaf.children)
        if (child) ReleaseTexture(*child);
}

bool Overlaps(const TerrainNode& node, float x0, float y0, float x1, float y1) {
    return node.minX <= x1 && node.maxX >= x0 && node.minY <= y1 && node.maxY >= y0;
}

void MarkArea(TerrainNode& node, float x0, float y0, float x1, float y1) {
    if (!Overlaps(node, x0, y0, x1, y1)) return;
    if (node.textureLeaf) {
        if (node.texture) node.needsBake = true;
        for (auto& child : node.children)  // pictures made ahead
            if (child && child->texture && Overlaps(*child, x0, y0, x1, y1)) child->needsBake = true;
        return;
    }
    if (node.isLeaf) return;
    for (auto& child : node.children)
        if (child) MarkArea(*child, x0, y0, x1, y1);
}

void ResetTerrain() {
    AbandonBackgroundBuild();
    TerrainState& t = TheTerrain();
    if (t.root) DestroySubtree(t.root);
    t = TerrainState{};
}

bool Strayed(const HeightField& f, const Vector3& camera, float fraction = kRecentreFraction) {
    const float dx = camera.x - (f.originX + f.extentX / 2), dy = camera.y - (f.originY + f.extentY / 2);
    return std::sqrt(dx * dx + dy * dy) > fraction * std::min(f.extentX, f.extentY);
}

// A camera this far from the window's middle has jumped (a bookmark, the
// player start), not flown: the ground around it is not in the window, and
// the frame cannot wait for the worker without drawing and baking it wrong.
constexpr float kJumpFraction = 0.45f;

// The window's place for a camera, as every rebuild sets it.
void CentreOn(HeightField& f, const Vector3& camera) {
    f.originZ = 0.0f;
    f.originX = std::trunc(camera.x) - f.extentX / 2;
    f.originY = std::trunc(camera.y) - f.extentY / 2;
}

const StateReset kTerrainReset{"terrain", StateLayer::Terrain, StateScope::Level, &ResetTerrain};
const StateReset kHooksReset{"terrain hooks", StateLayer::Terrain, StateScope::Process,
                             [] { TheTerrainHooks() = TerrainHooks{}; }};
// The textures outlive levels: they go at program end with their context.
const StateReset kPoolReset{"terrain textures", StateLayer::Terrain, StateScope::Process,
                            [] {
                                TerrainTexturePool().Clear();
                                TerrainTexturePool().create = nullptr;
                            }};

}  // namespace

TerrainState& TheTerrain() {
    static TerrainState state;
    return state;
}

TexturePool<TerrainTexture>& TerrainTexturePool() {
    static TexturePool<TerrainTexture> pool;
    return pool;
}

TerrainHooks& TheTerrainHooks() {
    static TerrainHooks hooks;
    return hooks;
}

float TerrainHeightAt(float x, float y) { return TerrainHeightAt(TheTerrain().field, x, y); }

Vector3 TerrainNormalAt(std::int32_t i, std::int32_t j) { return TerrainNormalAt(TheTerrain().field, i, j); }

Vector3 TerrainNode::Corner(int i) const {
    switch (i & 3) {
        case 0: return {minX, minY, 0};
        case 1: return {maxX, minY, 0};
        case 2: return {maxX, maxY, 0};
        default: return {minX, maxY, 0};
    }
}

std::int32_t DetailLevel(float base, float d) {
    const float l = d == 0.0f ? base : base - std::log2(d);
    if (!std::isfinite(l)) return l > 0 ? 1000 : -1000;  // an infinite distance asks for nothing
    return static_cast<std::int32_t>(std::clamp(l, -1000.0f, 1000.0f));
}

std::int32_t GeometrySplitRule::Evaluate(TerrainNode& node) const {
    const Vector3& camera = TheCamera().position;
    for (int i = 0; i < 4; ++i) {
        const Vector3 a = node.Corner(i), b = node.Corner(i + 1);
        const float halfLength = 0.5f * (a - b).Length();
        const Vector3 m = (a + b) * 0.5f;
        const Vector3 p{m.x, m.y, TerrainHeightAt(m.x, m.y)};
        float d = (camera - p).Length() - halfLength;
        if (d < 0.0f) d = 0.0f;
        node.edgeSplit[static_cast<std::size_t>(i)] = DetailLevel(15.0f, d) > node.depth;
    }
    const bool allSplit = node.edgeSplit[0] && node.edgeSplit[1] && node.edgeSplit[2] && node.edgeSplit[3];
    if (node.isLeaf) return node.depth < kMaxGeometryDepth && allSplit ? 1 : 0;
    for (const auto& child : node.children)
        if (child && !child->isLeaf) return 0;
    if (!node.parent) return 0;  // the root never merges
    return allSplit ? 0 : -1;
}

int FanVertices(const TerrainNode& node, FanVertexList& out) {
    int n = 0;
    out[static_cast<std::size_t>(n++)] = {node.centre[0], node.centre[1]};
    for (int i = 0; i < 4; ++i) {
        const Vector3 a = node.Corner(i);
        out[static_cast<std::size_t>(n++)] = {a.x, a.y};
        if (node.edgeSplit[static_cast<std::size_t>(i)]) {
            const Vector3 b = node.Corner(i + 1);
            out[static_cast<std::size_t>(n++)] = {(a.x + b.x) / 2, (a.y + b.y) / 2};
        }
    }
    out[static_cast<std::size_t>(n++)] = {node.minX, node.minY};
    return n;
}

namespace {

constexpr float kTextureDetail = 12.0f;  // the texture rule's DetailLevel base

// How far the camera is from a quad's picture: from its centre on the
// ground, less its half diagonal.
float TextureDistance(const TerrainNode& node, const Vector3& camera) {
    const Vector3 p{node.centre[0], node.centre[1], TerrainHeightAt(node.centre[0], node.centre[1])};
    const float d = (camera - p).Length() - node.halfDiagonal;
    return d < 0.0f ? 0.0f : d;
}

// The depth of picture a quad asks for with the camera at `camera`.
std::int32_t TextureLevel(const TerrainNode& node, const Vector3& camera) {
    return DetailLevel(kTextureDetail, TextureDistance(node, camera));
}

}  // namespace

std::int32_t TextureSplitRule::Evaluate(TerrainNode& node) const {
    const std::int32_t level = TextureLevel(node, TheCamera().position);
    if (node.textureLeaf) return node.depth < kMaxTextureDepth && node.depth < level ? 1 : 0;
    if (node.isLeaf) return 0;
    for (const auto& child : node.children)
        if (child && !child->textureLeaf) return 0;
    if (!node.parent) return 0;
    return node.depth > level ? -1 : 0;
}

void UpdateTextures(TerrainNode& node, void (*bake)(TerrainNode&)) {
    static const TextureSplitRule rule;
    const std::int32_t r = rule.Evaluate(node);
    if (r > 0) {
        if (node.isLeaf) Subdivide(node);
        node.textureLeaf = false;
        ReleaseTexture(node);
        for (auto& child : node.children) child->textureLeaf = true;
        for (auto& child : node.children) UpdateTextures(*child, bake);
    } else if (r < 0) {
        for (auto& child : node.children) {
            child->textureLeaf = false;
            ReleaseTexture(*child);
            ReleaseAhead(*child);
        }
        node.textureLeaf = true;
    } else if (!node.textureLeaf && !node.isLeaf) {
        for (auto& child : node.children)
            if (child) UpdateTextures(*child, bake);
    }
    const Frustum* range = TheFrusta().terrain.get();
    if (!range || !range->rangeSphere.Intersects(node.sphere)) {
        ReleaseTexture(node);
        if (node.textureLeaf) ReleaseAhead(node);
        return;
    }
    if (!node.texture && node.textureLeaf) {
        node.texture = TerrainTexturePool().Acquire();
        node.needsBake = true;
    }
    if (node.texture && node.needsBake && bake) bake(node);
}

void MarkForRebake(TerrainNode& node) {
    if (node.textureLeaf) {
        if (node.texture) node.needsBake = true;
        for (auto& child : node.children)  // pictures made ahead
            if (child && child->texture) child->needsBake = true;
        return;
    }
    for (auto& child : node.children)
        if (child) MarkForRebake(*child);
}

Vector3 CameraAhead(const Vector3& camera) {
    std::optional<Vector3>& last = TheTerrain().lastCamera;
    const Vector3 step = last ? camera - *last : Vector3{};
    last = camera;
    if (!(step.Length() <= kJumpPerFrame)) return camera;
    return camera + step * kFramesAhead;
}

namespace {

struct AheadCandidate {
    TerrainNode* leaf;
    float soon;  // the distance still to go before the split, in units of its threshold
};

// Texture leaves in range: those the rule would split with the camera at
// `ahead` are candidates; the others let go of what was made ahead.
void FindAhead(TerrainNode& node, const Vector3& ahead, const Frustum& range, std::vector<AheadCandidate>& out) {
    if (!node.textureLeaf) {
        for (auto& child : node.children)
            if (child) FindAhead(*child, ahead, range, out);
        return;
    }
    const bool inRange = node.texture && range.rangeSphere.Intersects(node.sphere);
    if (inRange && !node.isLeaf && node.depth < kMaxTextureDepth && TextureLevel(node, ahead) > node.depth) {
        // Splits once the distance falls to 2^(base - 1 - depth).
        const float threshold = std::ldexp(1.0f, static_cast<int>(kTextureDetail) - 1 - node.depth);
        out.push_back({&node, TextureDistance(node, TheCamera().position) / threshold});
        return;
    }
    ReleaseAhead(node);
}

}  // namespace

void BakeAhead(TerrainNode& root, const Vector3& ahead, int budget, void (*bake)(TerrainNode&)) {
    const Frustum* range = TheFrusta().terrain.get();
    if (!range) return;
    std::vector<AheadCandidate> candidates;
    FindAhead(root, ahead, *range, candidates);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const AheadCandidate& a, const AheadCandidate& b) { return a.soon < b.soon; });
    for (const AheadCandidate& c : candidates)
        for (auto& child : c.leaf->children) {
            // Children out of range lose their textures at the split anyway.
            if (!range->rangeSphere.Intersects(child->sphere)) {
                ReleaseTexture(*child);
                continue;
            }
            if (child->texture && !child->needsBake) continue;
            if (budget <= 0 || !bake) continue;
            if (!child->texture) child->texture = TerrainTexturePool().Acquire();
            child->needsBake = true;
            --budget;
            bake(*child);
        }
}

void MarkAreaForRebake(const Vector3& centre, float radius) {
    TerrainNode* root = TheTerrain().root.get();
    if (!root) return;
    const float r = 1.5f * radius + 2.0f;
    MarkArea(*root, centre.x - r, centre.y - r, centre.x + r, centre.y + r);
}

void ComputeNodeBounds(TerrainNode& node) {
    node.centre[0] = (node.minX + node.maxX) / 2;
    node.centre[1] = (node.minY + node.maxY) / 2;
    const float w = node.maxX - node.minX, h = node.maxY - node.minY;
    node.halfDiagonal = 0.5f * std::sqrt(w * w + h * h);
    node.sphere.centre = {node.centre[0], node.centre[1], TerrainHeightAt(node.centre[0], node.centre[1])};
    node.sphere.radius = 1.5f * std::max(w, h);
}

std::unique_ptr<TerrainNode> MakeRootNode() {
    auto root = std::make_unique<TerrainNode>();
    root->minX = root->minY = -kTerrainHalfSize;
    root->maxX = root->maxY = kTerrainHalfSize;
    ComputeNodeBounds(*root);
    return root;
}

void Subdivide(TerrainNode& node) {
    node.isLeaf = false;
    const float cx = (node.minX + node.maxX) / 2, cy = (node.minY + node.maxY) / 2;
    for (int i = 0; i < 4; ++i) {
        const Vector3 corner = node.Corner(i);
        auto child = std::make_unique<TerrainNode>();
        child->minX = std::min(cx, corner.x);
        child->maxX = std::max(cx, corner.x);
        child->minY = std::min(cy, corner.y);
        child->maxY = std::max(cy, corner.y);
        child->depth = node.depth + 1;
        child->parent = &node;
        ComputeNodeBounds(*child);
        node.children[static_cast<std::size_t>(i)] = std::move(child);
    }
}

void DestroySubtree(std::unique_ptr<TerrainNode>& node) {
    if (!node) return;
    ReleaseTexture(*node);
    for (auto& child : node->children) DestroySubtree(child);
    node.reset();
}

void UpdateGeometry(TerrainNode& node) {
    static const GeometrySplitRule rule;
    const std::int32_t r = rule.Evaluate(node);
    if (r > 0) {
        Subdivide(node);
        for (auto& child : node.children) UpdateGeometry(*child);
    } else if (r == 0) {
        if (!node.isLeaf)
            for (auto& child : node.children)
                if (child) UpdateGeometry(*child);
    } else {
        for (auto& child : node.children) DestroySubtree(child);
        node.isLeaf = true;
    }
}

void RefreshSpheres(TerrainNode& node) {
    for (auto& child : node.children)
        if (child) RefreshSpheres(*child);
    ComputeNodeBounds(node);
}

void UpdateTerrain(const Vector3& camera) {
    AbandonBackgroundBuild();  // it would land over this newer window
    if (TheToggles().FreezeUpdate) return;
    TerrainState& t = TheTerrain();
    HeightField& f = t.field;
    CentreOn(f, camera);
    if (f.samples.empty()) return;
    t.lastBuild = HeightFieldStats{};
    DebugPrintf("\nSetting instance positions");
    DebugPrintf("\nInterpolating");
    BuildHeightField(f, t.pyramid, LevelGround(), &t.lastBuild);
    if (t.root) RefreshSpheres(*t.root);
}

bool RecentreIfStrayed(const Vector3& camera) {
    if (!Strayed(TheTerrain().field, camera)) return false;
    UpdateTerrain(camera);
    return true;
}

namespace {

// A window like `like` centred on trunc(camera), built on a worker that gets
// everything by value; the grids are made there, off the frame. A worker
// beside the frames yields to them, at the lowest priority and giving its
// core back every tenth of a millisecond: on a machine of few cores it
// otherwise takes one from the renderer for a few frames. One that a load
// waits for keeps its priority and its core.
std::future<HeightBuild> StartBuild(const HeightField& like, const Vector3& camera, bool besideFrames) {
    HeightBuild job;
    job.field.W = like.W;
    job.field.H = like.H;
    job.field.extentX = like.extentX;
    job.field.extentY = like.extentY;
    job.field.scaleZ = like.scaleZ;
    CentreOn(job.field, camera);
    DebugPrintf("\nSetting instance positions");
    DebugPrintf("\nInterpolating");
    return std::async(std::launch::async, [job = std::move(job), source = LevelGround(), besideFrames]() mutable {
        std::optional<GiveWayScope> giveWay;
        if (besideFrames) {
            platform::LowerThisThreadsPriority();
            giveWay.emplace();
        }
        job.pyramid = std::make_unique<HeightPyramid>();
        BuildHeightField(job.field, *job.pyramid, source, &job.stats);
        return std::move(job);
    });
}

}  // namespace

bool RecentreInBackground(const Vector3& camera) {
    TerrainState& t = TheTerrain();
    if (!TheToggles().FreezeUpdate && !t.field.samples.empty() && Strayed(t.field, camera, kJumpFraction)) {
        UpdateTerrain(camera);
        return true;
    }
    if (t.nextWindow.valid()) {
        if (t.nextWindow.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
        HeightBuild built = t.nextWindow.get();
        if (TheToggles().FreezeUpdate) return false;  // frozen meanwhile: the window stays
        t.field = std::move(built.field);
        t.lastBuild = built.stats;
        if (t.root) RefreshSpheres(*t.root);
        return true;
    }
    const HeightField& f = t.field;
    if (TheToggles().FreezeUpdate || f.samples.empty() || !Strayed(f, camera)) return false;
    t.nextWindow = StartBuild(f, camera, true);
    return false;
}

bool BackgroundBuildPending() { return TheTerrain().nextWindow.valid(); }

void AbandonBackgroundBuild() {
    std::future<HeightBuild>& next = TheTerrain().nextWindow;
    if (!next.valid()) return;
    try {
        next.get();
    } catch (const std::exception&) {
        // A build that failed (out of memory) is dropped as any other.
    }
}

void InitTerrain() {
    if (TheTerrainHooks().initOffscreen) TheTerrainHooks().initOffscreen();
    LogPrintf("\n\n    InitTerrain\n    ===========\n");
    TerrainState& t = TheTerrain();
    if (t.root) DestroySubtree(t.root);
    HeightField& f = t.field;
    f.W = f.H = kHeightFieldSize;
    f.extentX = f.extentY = 2048.0f;
    f.scaleZ = 1.0f;
    const TerrainHooks& hooks = TheTerrainHooks();
    if (hooks.whileGroundBuilds && !TheToggles().FreezeUpdate) {
        // The same heights as UpdateTerrain's, built beside the caller's
        // work rather than before it; no ground (heights 0) meanwhile, and
        // no grid filled here only to be replaced.
        AbandonBackgroundBuild();
        f.samples = {};
        t.lastBuild = HeightFieldStats{};
        std::future<HeightBuild> build = StartBuild(f, TheCamera().position, false);
        hooks.whileGroundBuilds(build);
        HeightBuild built = build.get();
        t.field = std::move(built.field);
        t.lastBuild = built.stats;
    } else {
        f.samples.assign(static_cast<std::size_t>(f.W) * f.H, 0.0f);
        UpdateTerrain(TheCamera().position);
    }
    t.root = MakeRootNode();
}

void KillTerrain() {
    LogPrintf("\n\n    KillTerrain\n    ===========\n");
    SceneState& scene = TheScene();
    for (auto& [height, group] : scene.TerrainObjectsByHeight) group.clear();  // ascending keys, each in order
    scene.TerrainObjectsByHeight.clear();
    ResetTerrain();
}
