// The terrain: the height field window that follows the camera and the
// quadtree it is drawn with. The tree's square is fixed (8192 units a side
// around the origin); only the height window moves. Geometry refines
// toward the camera down to 2-unit cells; the coarser texture tree of the
// baking lives in the same nodes.
//
// What needs no GL lives here and in height_field: the heights, the tree's
// decisions and bookkeeping. Drawing and baking are in terrain_draw.
#pragma once

#include <array>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>

#include "math/bounding.h"
#include "math/vector3.h"
#include "scene/gl_texture.h"
#include "terrain/height_field.h"

// A quad's baked picture of the ground, 128 x 128 texels.
struct TerrainTexture : GlTexture {
    TerrainTexture() : GlTexture(128, 128) {}
};

struct TerrainNode {
    float minX = 0, minY = 0, maxX = 0, maxY = 0;
    bool isLeaf = true;
    std::int32_t depth = 0;
    std::array<std::unique_ptr<TerrainNode>, 4> children;  // child i spans from the centre to corner i
    TerrainNode* parent = nullptr;
    std::array<bool, 4> edgeSplit{};  // edge i (corner i to i + 1) wants more detail than this depth
    bool textureLeaf = true;
    bool needsBake = false;
    TerrainTexture* texture = nullptr;
    float centre[2] = {1e20f, 1e20f};
    float halfDiagonal = 0.0f;
    BoundingSphere sphere;

    // Corners 0 (minX, minY), 1 (maxX, minY), 2 (maxX, maxY), 3 (minX, maxY).
    Vector3 Corner(int i) const;
};

// Splitting rules: +1 split, 0 keep, -1 merge the node's children.
class SplitRule {
public:
    virtual ~SplitRule() = default;
    virtual std::int32_t Evaluate(TerrainNode& node) const = 0;
};

// Splits where all four edges are near enough the camera for more detail,
// down to depth 12; merges a node of leaves once an edge no longer is.
class GeometrySplitRule : public SplitRule {
public:
    std::int32_t Evaluate(TerrainNode& node) const override;
};

// Splits the texture tree where a quad is near enough the camera for a
// finer picture, down to depth 11 (never below the geometry); merges a node
// whose children are all texture leaves once it is far enough. About three
// levels coarser than the geometry.
class TextureSplitRule : public SplitRule {
public:
    std::int32_t Evaluate(TerrainNode& node) const override;
};

// The level of detail an edge or quad asks for: trunc(base - log2(d)), with
// log2(0) counted as 0. Non-finite distances ask for nothing.
std::int32_t DetailLevel(float base, float d);

constexpr float kTerrainHalfSize = 4096.0f;
constexpr std::int32_t kMaxGeometryDepth = 12;
constexpr std::int32_t kMaxTextureDepth = 11;
constexpr int kMaxBakesPerFrame = 9;
constexpr float kRecentreFraction = 0.3f;  // of the window's smaller extent: 614.4 units

// Owned here, derived from the level: written by InitTerrain and
// KillTerrain (the load and the unload), UpdateTerrainFrame (re-centring,
// refinement, bakes), UpdateTerrain (key T, the inspector's --centre) and
// MarkAreaForRebake (the placement hook of a moved or deleted instance);
// read by drawing, the shadows and the tools. The level reset empties it.
// A window's heights as a worker builds them: the worker's alone until it
// hands the whole back.
struct HeightBuild {
    HeightField field;
    std::unique_ptr<HeightPyramid> pyramid;
    HeightFieldStats stats;
};

struct TerrainState {
    HeightField field;
    HeightPyramid pyramid;
    HeightFieldStats lastBuild;
    std::unique_ptr<TerrainNode> root;
    bool bakeShadows = false;     // TerrainShadows as last taken over for baking
    std::int32_t bakesThisFrame = 0;
    // The next window while a worker builds it: started and taken by
    // RecentreInBackground, waited for and dropped by the synchronous
    // rebuilds and the reset (a load, a quit).
    std::future<HeightBuild> nextWindow;
    // The camera at the last frame's update (CameraAhead), for where it is
    // heading; none after a load.
    std::optional<Vector3> lastCamera;
};
TerrainState& TheTerrain();

// The heights of the terrain's window at world (x, y), and the normal of
// cell (i, j).
float TerrainHeightAt(float x, float y);
Vector3 TerrainNormalAt(std::int32_t i, std::int32_t j);

void InitTerrain();
// Destroys the terrain objects (the level's CTerrainObj instances), the
// tree and the heights.
void KillTerrain();

// Re-centres the window on trunc(camera) and rebuilds the heights, then the
// node spheres (children first). Nothing while FreezeUpdate is on.
void UpdateTerrain(const Vector3& camera);
// UpdateTerrain when the camera strays more than 614.4 units (horizontally)
// from the window's centre; true when it did.
bool RecentreIfStrayed(const Vector3& camera);
// The frame's re-centring, without the frame's wait: once the camera strays
// as above, the window centred on trunc(camera) is built on a worker thread
// from a copy of the ground's footprints, the old window drawn meanwhile; a
// later call swaps it in (between frames) and is true. The heights are those
// UpdateTerrain builds at the same place. A camera that has jumped rather
// than flown (over 921.6 units from the middle) is re-centred at once, as
// RecentreIfStrayed does. Nothing starts or lands while FreezeUpdate is on.
bool RecentreInBackground(const Vector3& camera);
// Whether a window is being built.
bool BackgroundBuildPending();
// Waits for a window being built, and drops it.
void AbandonBackgroundBuild();

// The (x, y) of a leaf's triangle fan: the centre, then each corner
// followed by its edge's midpoint where the edge is split (a finer
// neighbour has a vertex there), closed at corner 0. Returns the count.
using FanVertexList = std::array<std::array<float, 2>, 10>;
int FanVertices(const TerrainNode& node, FanVertexList& out);

std::unique_ptr<TerrainNode> MakeRootNode();
// The node's centre, half diagonal and sphere from its square and the
// current heights.
void ComputeNodeBounds(TerrainNode& node);
void Subdivide(TerrainNode& node);
void UpdateGeometry(TerrainNode& node);
void DestroySubtree(std::unique_ptr<TerrainNode>& node);
// Every node's sphere again, children before their parent.
void RefreshSpheres(TerrainNode& node);

// The texture tree: refines and merges, gives textures back outside the
// 1050 range, hands a texture to every texture leaf that lacks one and
// bakes (through `bake`, null without GL) those that need it.
void UpdateTextures(TerrainNode& node, void (*bake)(TerrainNode& node));
// Baking ahead. A split bakes all four children at once, and a fast camera
// splits quads every few frames: so a frame that bakes fewer than
// kBakesAheadBudget quads bakes, up to that many, the children of texture
// leaves that would split if the camera went on as it went in the last
// frame for kFramesAhead more, the soonest first. Their pictures wait
// unused until the split, which then bakes nothing; those of a leaf no
// longer about to split are let go. A still or jumping camera bakes
// nothing ahead.
constexpr int kBakesAheadBudget = 2;
constexpr float kFramesAhead = 12.0f;
constexpr float kJumpPerFrame = 50.0f;  // a camera moved further than this in a frame jumped

// Where the camera will be kFramesAhead frames on at its last frame's
// pace (itself when still, jumping or at the first frame); remembers it.
Vector3 CameraAhead(const Vector3& camera);
// Bakes (through `bake`) up to `budget` children of the texture leaves
// that would split with the camera at `ahead`, and lets go of the
// pictures made ahead for any other leaf.
void BakeAhead(TerrainNode& root, const Vector3& ahead, int budget, void (*bake)(TerrainNode& node));

// Every held texture in the subtree is to be baked again.
void MarkForRebake(TerrainNode& node);
// The textures whose squares overlap the box of half-size 1.5 r + 2 around
// (x, y) are to be baked again: the ground under an object that moved.
void MarkAreaForRebake(const Vector3& centre, float radius);

// The baked textures, kept for the run and reused: handed out and taken
// back by the texture tree (UpdateTextures, node destruction), emptied by
// KillGL while the context is current; the process reset forgets them.
TexturePool<TerrainTexture>& TerrainTexturePool();

// Connects the terrain to the GL side: the off-screen drawable is set up
// when the terrain starts, and work for the first frames is done while a
// worker infers the level's ground (the hook returns once the build is
// ready, or sooner; it must not touch the ground or the instances' places).
// Unset, nothing happens and the ground is built in line (headless builds,
// tests). Installed by InstallTerrainGlHooks (InitGL), cleared by the
// process reset.
struct TerrainHooks {
    void (*initOffscreen)() = nullptr;
    void (*whileGroundBuilds)(const std::future<HeightBuild>& build) = nullptr;
};
TerrainHooks& TheTerrainHooks();
