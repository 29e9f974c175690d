// The ground without GL: the height field inferred from the objects, its
// sampling, and the camera-following quadtree's decisions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <chrono>
#include <set>
#include <thread>
#include <utility>

#include "diag/state_registry.h"
#include "headless/headless_level.h"
#include "level/load_sequence.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "platform/scripted_platform.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "demo_fixture.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/skew_level.h"

namespace {

// A small field over (0, 0)-(64, 64): 32 x 32 cells of 2 units.
class HeightFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState(StateScope::Process);
        field.W = field.H = 32;
        field.extentX = field.extentY = 64;
        field.samples.assign(32 * 32, 1e10f);
        TheScene().TerrainMin = {0, 0, 0};
        TheScene().TerrainMax = {64, 64, 0};
    }
    void TearDown() override { ResetState(StateScope::Process); }

    // A 2 x 2 square model around its origin from z = 0 to `top`.
    Model& Block(float top = 1.0f, bool alpha = false) {
        auto m = std::make_unique<Model>();
        for (float z : {0.0f, top})
            for (auto [x, y] : {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}})
                m->vertices.push_back({{0, 0, 1}, 0, 0, {x, y, z}});
        m->faces = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}, {{4, 5, 6}, 0}, {{4, 6, 7}, 0}};
        m->materials.resize(1);
        m->HasAlphaTexture = alpha;
        TheScene().ModelList.push_back(std::move(m));
        return *TheScene().ModelList.back();
    }
    Instance& Place(Model& m, Vector3 at, float scale = 1.0f, const char* name = "thing") {
        auto inst = std::make_unique<Instance>();
        inst->model = &m;
        inst->position = at;
        inst->scale = scale;
        inst->name = name;
        inst->UpdateBounds();
        TheScene().InstanceList.push_back(std::move(inst));
        return *TheScene().InstanceList.back();
    }
    std::size_t Fixed() const {
        std::size_t n = 0;
        for (float s : field.samples) n += s < 0;
        return n;
    }

    HeightField field;
    HeightPyramid pyramid;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(HeightFieldTest, ObjectsPinTheGroundAtTheirLowestPointAndTheLowerWins) {
    Model& m = Block();
    Place(m, {10, 10, 3});  // bottom at 3
    Place(m, {10.4f, 10.2f, 2});  // the same cell, lower
    Place(m, {30, 30, 0});    // standing at 0: pins nothing
    Place(m, {40, 40, -2});   // below 0: pins nothing
    for (const auto& inst : TheScene().InstanceList) RasteriseInstance(field, *inst);
    EXPECT_EQ(field.At(5, 5), -2.0f);  // round(10 / 2 + 0.5) = 5
    EXPECT_EQ(Fixed(), 1u);

    // Scale 1.5 leaves no footprint; 1.51 leaves a flat one at its lowest point.
    field.samples.assign(32 * 32, 1e10f);
    Place(m, {20, 20, 4}, 1.5f);
    RasteriseInstance(field, *TheScene().InstanceList.back());
    EXPECT_EQ(Fixed(), 1u);
    Place(m, {20, 20, 4}, 1.51f);
    RasteriseInstance(field, *TheScene().InstanceList.back());
    EXPECT_GT(Fixed(), 4u);
    for (float s : field.samples) EXPECT_TRUE(s == -4.0f || s == 1e10f) << s;
    // Alpha-textured objects (trees) stand on a point, never a footprint,
    // and so does a damaged mesh none of whose faces count.
    Model& damaged = Block();
    for (Face& f : damaged.faces) f.inRange = false;
    for (Model* shape : {&Block(1.0f, true), &damaged}) {
        field.samples.assign(32 * 32, 1e10f);
        RasteriseInstance(field, Place(*shape, {20, 20, 4}, 3.0f));
        EXPECT_EQ(Fixed(), 1u);
    }
}

TEST_F(HeightFieldTest, OceanMeshesLayEveryFaceAUnitLowerAndLevelBeSkipsFace12) {
    Model& sea = Block();
    sea.faces.assign(14, Face{{4, 5, 6}, 0});  // the top, 1 above the placement
    sea.faces[12] = Face{{0, 1, 2}, 0};         // the bottom
    Instance& inst = Place(sea, {20, 20, 5}, 1.0f, "ocean_01");
    RasteriseInstance(field, inst);
    EXPECT_EQ(field.At(10, 10), -4.0f);  // the bottom face (z 5, one lower): the lowest wins
    const bool be = QuirksOf("be").groundSkipsOneFace;
    EXPECT_FALSE(QuirksOf("Be").groundSkipsOneFace);  // the exact name only
    for (std::uint32_t serial = 0; serial < 2; ++serial) {
        field.samples.assign(32 * 32, 1e10f);
        inst.SerialId = 1140 + serial;  // only serial 1141 loses face 12
        RasteriseInstance(field, inst, nullptr, false, be);
        EXPECT_EQ(field.At(10, 10), serial == 1 ? -5.0f : -4.0f) << inst.SerialId;
    }
}

TEST_F(HeightFieldTest, SamplesGoToTheNearestCellAndHugeTrianglesAreSkipped) {
    WriteSample(field, {2.9f, 0.9f, 5});  // cells are 2 units: x 1.45 + 0.5 -> 1, y 0.45 + 0.5 -> 0
    WriteSample(field, {3.1f, 1.1f, 6});  // 2.05 -> 2, 1.05 -> 1
    WriteSample(field, {-1.1f, 0, 7});    // -0.05 truncates toward zero: cell 0
    WriteSample(field, {-3.1f, 0, 8});    // -1.05: outside
    EXPECT_EQ(field.At(1, 0), -5.0f);
    EXPECT_EQ(field.At(2, 1), -6.0f);
    EXPECT_EQ(field.At(0, 0), -7.0f);
    EXPECT_EQ(Fixed(), 3u);
    field.samples.assign(32 * 32, 1e10f);

    HeightFieldStats stats;
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    RasteriseTriangle(field, {0, 0, 1}, {inf, 0, 1}, {0, 1, 1}, &stats);
    RasteriseTriangle(field, {0, 0, 1}, {nan, 0, 1}, {0, 1, 1}, &stats);
    RasteriseTriangle(field, {0, 0, 1}, {20000, 0, 1}, {0, 20000, 1}, &stats);  // 2^28 samples and more
    EXPECT_EQ(stats.trianglesSkipped, 3u);
    EXPECT_EQ(Fixed(), 0u);
    WriteSample(field, {1e30f, -1e30f, 3}, &stats);  // far outside: nothing
    WriteSample(field, {nan, 4, 3}, &stats);
    EXPECT_EQ(Fixed(), 0u);
    RasteriseTriangle(field, {2, 2, 1}, {8, 2, 1}, {2, 8, 1}, &stats);
    EXPECT_EQ(stats.trianglesSkipped, 3u);
    EXPECT_GT(Fixed(), 5u);
}

TEST_F(HeightFieldTest, HolesTakeTheRelaxedAverageAndFixedCellsKeepTheirValues) {
    // A hole in the middle of fixed cells: relaxation pulls it to their mean.
    HeightField g;
    g.W = g.H = 4;
    g.samples.assign(16, -2.0f);
    g.At(1, 1) = 7.0f;
    g.At(2, 1) = -6.0f;
    RelaxHeights(g);
    // Each sweep: s' = (s + 2 + 6 + 2 + 2) / 5, eight times from 7.
    float expected = 7.0f;
    for (int k = 0; k < 8; ++k) expected = (expected + 2.0f + 6.0f + 2.0f + 2.0f) * 0.2f;
    EXPECT_FLOAT_EQ(g.At(1, 1), expected);
    EXPECT_EQ(g.At(2, 1), -6.0f);
    EXPECT_EQ(g.At(0, 0), -2.0f);

    // Filled from the pyramid: free cells far from anything take the fixed
    // heights' level, fixed cells stay exact.
    field.samples.assign(32 * 32, 1e10f);
    field.At(3, 3) = -4.0f;
    field.At(20, 25) = -4.0f;
    FillHoles(field, pyramid, 0);
    EXPECT_EQ(field.At(3, 3), -4.0f);
    EXPECT_EQ(field.At(20, 25), -4.0f);
    // Free cells lie between the coarse grids' start value (1) and the height.
    for (float s : field.samples) {
        EXPECT_GE(std::fabs(s), 1.0f);
        EXPECT_LE(std::fabs(s), 4.0f);
    }
    EXPECT_GT(field.At(4, 3), 3.0f);  // next to the fixed cell
}

TEST_F(HeightFieldTest, WithoutBaseTerrainTheGroundIsFlatAtAThousandth) {
    TheScene().TerrainMin = {1e20f, 1e20f, 1e20f};
    TheScene().TerrainMax = {-1e20f, -1e20f, -1e20f};
    Place(Block(), {10, 10, 3});
    BuildHeightField(field, pyramid, LevelGround());
    for (float s : field.samples) EXPECT_EQ(s, 0.001f);
}

TEST_F(HeightFieldTest, SamplingIsBilinearAndExtrapolatesPastTheLastCell) {
    for (std::int32_t j = 0; j < 32; ++j)
        for (std::int32_t i = 0; i < 32; ++i) field.At(i, j) = static_cast<float>(i) + 100.0f * static_cast<float>(j);
    EXPECT_FLOAT_EQ(SampleHeight(field, 2.5f, 3.25f), 2.5f + 325.0f);
    EXPECT_FLOAT_EQ(SampleHeight(field, 32.0f, 0.0f), 32.0f);  // from cell 30 with fraction 2
    EXPECT_FLOAT_EQ(SampleHeight(field, 40.0f, -5.0f), 32.0f);  // clamped to the grid first
    EXPECT_FLOAT_EQ(TerrainHeightAt(field, 5.0f, 6.0f), 2.5f + 300.0f);
    field.scaleZ = 2.0f;
    EXPECT_FLOAT_EQ(TerrainHeightAt(field, 5.0f, 6.0f), 2 * (2.5f + 300.0f));
    // The plane z = 0.3 x - 0.7 y, sampled where the cells lie (2 units
    // apart): its normal, to the grid's resolution, leans west and north.
    field.scaleZ = 1.0f;
    for (std::int32_t j = 0; j < 32; ++j)
        for (std::int32_t i = 0; i < 32; ++i) field.At(i, j) = 0.3f * 2.0f * static_cast<float>(i) - 0.7f * 2.0f * static_cast<float>(j);
    const Vector3 n = TerrainNormalAt(field, 10, 20);
    ExpectNear(n, Vector3(-0.3f, 0.7f, 1).Normalised(), 0.02f);
    ExpectNear(TerrainNormalAt(field, -5, 99), n, 1e-6f);  // clamped inside
}

// The quadtree over the demo island.
class TerrainTreeTest : public DemoSuite<::testing::Test> {
protected:
    void SetUp() override {
        LoadQuietly();
        platform::Install(&loaded.platform);  // for the rebuilds' lines
        CreateFrusta(TheFrusta());
    }
    void TearDown() override {
        ResetState(StateScope::Process);
        platform::Install(nullptr);
    }

    TerrainNode& Root() { return *TheTerrain().root; }
};

void Leaves(TerrainNode& node, std::vector<TerrainNode*>& out) {
    if (node.isLeaf) {
        out.push_back(&node);
        return;
    }
    for (auto& c : node.children) Leaves(*c, out);
}

TEST_F(TerrainTreeTest, TheWindowMovesOnlyWhenTheCameraStraysPast614) {
    const HeightField& f = TheTerrain().field;
    const Vector3 start = TheCamera().position;  // the player start: the window is centred on it
    EXPECT_EQ(f.originX, std::trunc(start.x) - 1024);
    EXPECT_EQ(f.originY, std::trunc(start.y) - 1024);
    const float cx = f.originX + 1024, cy = f.originY + 1024;
    EXPECT_FALSE(RecentreIfStrayed({cx + 614.0f, cy, 50}));
    EXPECT_FALSE(RecentreIfStrayed({cx + 434.0f, cy + 434.0f, 0}));  // 613.8 away
    EXPECT_TRUE(RecentreIfStrayed({cx + 614.5f, cy - 0.7f, 0}));
    EXPECT_EQ(f.originX, std::trunc(cx + 614.5f) - 1024);
    EXPECT_EQ(f.originY, std::trunc(cy - 0.7f) - 1024);
    // Far off, the island leaves the window: the nodes' spheres follow the
    // heights the window now gives.
    UpdateGeometry(Root());
    std::vector<TerrainNode*> leaves;
    Leaves(Root(), leaves);
    std::vector<float> before;
    for (TerrainNode* leaf : leaves) before.push_back(leaf->sphere.centre.z);
    ASSERT_TRUE(RecentreIfStrayed({5000, 5000, 0}));
    int moved = 0;
    for (std::size_t k = 0; k < leaves.size(); ++k) {
        const Vector3 held = leaves[k]->sphere.centre;
        ComputeNodeBounds(*leaves[k]);
        EXPECT_EQ(held, leaves[k]->sphere.centre);
        moved += held.z != before[k];
    }
    EXPECT_GT(moved, 0);
    TheToggles().FreezeUpdate = true;  // frozen: the window stays
    const float frozenX = f.originX;
    UpdateTerrain({5000, 5000, 0});
    EXPECT_EQ(f.originX, frozenX);
}

// Calls RecentreInBackground at camera until it swaps a window in; false
// once nothing is being built (or after 30 s).
bool BackgroundWindowLands(const Vector3& camera) {
    for (int k = 0; k < 30000; ++k) {
        if (RecentreInBackground(camera)) return true;
        if (!BackgroundBuildPending()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The frame's re-centring builds on a worker what the synchronous rebuild
// builds at the same place, bit for bit, and the plain build agrees; the
// old window stays until the new one lands.
TEST_F(TerrainTreeTest, AWindowBuiltInTheBackgroundIsTheSynchronousOneBitForBit) {
    for (const std::string& level : {std::string("demo-130.swp"), std::string("skew-130.swp")}) {
        LoadQuietly(File(level));
        const HeightField& f = TheTerrain().field;
        const float startX = f.originX;
        const Vector3 camera{f.originX + 1024 + 700.6f, f.originY + 1024 - 80.3f, 30};
        EXPECT_FALSE(RecentreInBackground(camera)) << level;  // started, not landed
        EXPECT_TRUE(BackgroundBuildPending()) << level;
        EXPECT_EQ(f.originX, startX) << level;
        ASSERT_TRUE(BackgroundWindowLands(camera)) << level;
        EXPECT_FALSE(BackgroundBuildPending()) << level;
        const HeightField landed = f;
        EXPECT_EQ(landed.originX, std::trunc(camera.x) - 1024) << level;
        EXPECT_EQ(landed.originY, std::trunc(camera.y) - 1024) << level;

        UpdateTerrain(camera);
        ASSERT_EQ(f.samples.size(), landed.samples.size());
        EXPECT_EQ(std::memcmp(f.samples.data(), landed.samples.data(), f.samples.size() * sizeof(float)), 0) << level;
        HeightField plain = landed;
        HeightPyramid pyramid;
        BuildHeightField(plain, pyramid, LevelGround(), nullptr, true);
        EXPECT_EQ(std::memcmp(plain.samples.data(), landed.samples.data(), f.samples.size() * sizeof(float)), 0)
            << level;
    }
}

// A load's ground built on a worker while the caller works (the viewer
// makes its first textures meanwhile) is the ground built in line, bit for
// bit; with FreezeUpdate on nothing is built either way.
int gWorkCalls = 0;
void WorkWhileTheGroundBuilds(const std::future<HeightBuild>& build) {
    ++gWorkCalls;
    std::size_t materials = 0;  // what the viewer's work reads meanwhile
    for (const auto& inst : TheScene().InstanceList)
        if (inst->model) materials += inst->model->materials.size();
    EXPECT_GT(materials, 0u);
    build.wait();
}

TEST_F(TerrainTreeTest, TheGroundOfALoadBuiltInTheBackgroundBesideOtherWorkIsTheInLineOne) {
    for (const std::string& level : {std::string("demo-130.swp"), std::string("skew-130.swp")}) {
        for (const bool frozen : {false, true}) {
            TheTerrainHooks().whileGroundBuilds = nullptr;
            LoadQuietly(File(level));
            TheToggles().FreezeUpdate = frozen;
            InitTerrain();
            const HeightField inLine = TheTerrain().field;
            gWorkCalls = 0;
            TheTerrainHooks().whileGroundBuilds = &WorkWhileTheGroundBuilds;
            InitTerrain();
            TheTerrainHooks().whileGroundBuilds = nullptr;
            TheToggles().FreezeUpdate = false;
            const HeightField& beside = TheTerrain().field;
            EXPECT_EQ(gWorkCalls, frozen ? 0 : 1) << level;
            EXPECT_EQ(beside.originX, inLine.originX) << level;
            EXPECT_EQ(beside.originY, inLine.originY) << level;
            ASSERT_EQ(beside.samples.size(), inLine.samples.size()) << level;
            EXPECT_EQ(std::memcmp(beside.samples.data(), inLine.samples.data(), inLine.samples.size() * sizeof(float)),
                      0)
                << level << (frozen ? " frozen" : "");
            const bool flat = std::all_of(beside.samples.begin(), beside.samples.end(), [](float h) { return h == 0; });
            EXPECT_EQ(flat, frozen) << level;
            ASSERT_TRUE(TheTerrain().root) << level;
        }
    }
}

// What keeps its meaning around a build in flight: FreezeUpdate drops it,
// key T's rebuild and a jump replace it, and a new load or the end of the
// level (a quit) wait for it.
TEST_F(TerrainTreeTest, ABuildInFlightGivesWayToFreezeRebuildsJumpsAndUnloads) {
    const HeightField& f = TheTerrain().field;
    const Vector3 centre{f.originX + 1024, f.originY + 1024, 30};
    const Vector3 flown{centre.x + 650, centre.y, 30};

    // The worker reads its own copy: the viewer moves and deletes objects
    // meanwhile (the thread sanitizer's run watches this).
    RecentreInBackground(flown);
    ASSERT_TRUE(BackgroundBuildPending());
    auto& list = TheScene().InstanceList;
    for (auto& inst : list) inst->SetPosition(inst->position.x + 3, inst->position.y, inst->position.z);
    list.pop_back();
    ASSERT_TRUE(BackgroundWindowLands(flown));
    UpdateTerrain(centre);

    RecentreInBackground(flown);
    TheToggles().FreezeUpdate = true;
    EXPECT_FALSE(BackgroundWindowLands(flown));  // frozen: nothing lands
    EXPECT_FALSE(BackgroundBuildPending());
    EXPECT_EQ(f.originX, centre.x - 1024);
    TheToggles().FreezeUpdate = false;

    RecentreInBackground(flown);
    UpdateTerrain({centre.x - 300, centre.y, 30});  // key T
    EXPECT_FALSE(BackgroundBuildPending());
    EXPECT_EQ(f.originX, std::trunc(centre.x - 300) - 1024);

    RecentreInBackground({centre.x, centre.y + 700, 30});
    EXPECT_TRUE(RecentreInBackground({centre.x + 5000, centre.y, 30}));  // a jump: at once
    EXPECT_FALSE(BackgroundBuildPending());
    EXPECT_EQ(f.originX, std::trunc(centre.x + 5000) - 1024);

    const HeightField& g = TheTerrain().field;
    RecentreInBackground({g.originX + 1024 + 700, g.originY + 1024, 30});
    EXPECT_TRUE(BackgroundBuildPending());
    LoadQuietly(File("skew-130.swp"));  // a second load
    EXPECT_FALSE(BackgroundBuildPending());
    EXPECT_EQ(f.originX, -260.0f - 1024);
    RecentreInBackground({-260 + 700, 10, 30});
    EXPECT_TRUE(BackgroundBuildPending());
    KillModels();  // the end of the level, as a quit ends it
    EXPECT_FALSE(BackgroundBuildPending());
    EXPECT_TRUE(f.samples.empty());
}

// On the skew level the ground rises to the east and not to the north,
// and the window is centred on the start, off every diagonal.
TEST_F(TerrainTreeTest, OnTheSkewLevelTheGroundRisesEastAndTheWindowCentresOnTheStart) {
    LoadQuietly(File("skew-130.swp"));
    const HeightField& f = TheTerrain().field;
    EXPECT_EQ(f.originX, -260.0f - 1024);
    EXPECT_EQ(f.originY, 10.0f - 1024);
    // The pillars' rows, west edge aside: each pillar pins its foot.
    float previous = -1e9f;
    for (float x = wvwrite::skew::kMinX + 60; x < wvwrite::skew::kMaxX; x += 40) {
        const float north = TerrainHeightAt(x, 100), south = TerrainHeightAt(x, 0);
        EXPECT_NEAR(north, wvwrite::skew::PillarTop(x) - 2, 0.01f) << x;
        EXPECT_NEAR(south, north, 0.01f) << x;
        EXPECT_GT(north, previous + 1.0f) << x;
        previous = north;
    }
    EXPECT_FALSE(RecentreIfStrayed({-260, 10 + 600, 0}));  // straying is measured from the window's own middle
    EXPECT_TRUE(RecentreIfStrayed({-260, 10 + 620, 0}));
    EXPECT_EQ(f.originX, -260.0f - 1024);
    EXPECT_EQ(f.originY, 630.0f - 1024);
}

TEST_F(TerrainTreeTest, EdgesNearTheCameraAskForTheFinestDetail) {
    EXPECT_EQ(DetailLevel(15, 0), 15);
    EXPECT_EQ(DetailLevel(15, 2048), 4);
    EXPECT_EQ(DetailLevel(15, 2047), 4);
    EXPECT_EQ(DetailLevel(12, std::numeric_limits<float>::infinity()), -1000);
    EXPECT_EQ(DetailLevel(15, std::nanf("")), -1000);

    // The camera on the ground in the middle of a depth-12 leaf: every edge
    // is within its half length, yet the leaf never splits.
    TerrainNode leaf;
    leaf.minX = 10, leaf.minY = 20, leaf.maxX = 12, leaf.maxY = 22;
    leaf.depth = 12;
    TheCamera().position = {11, 21, TerrainHeightAt(11, 21)};
    GeometrySplitRule rule;
    EXPECT_EQ(rule.Evaluate(leaf), 0);
    EXPECT_TRUE(leaf.edgeSplit[0] && leaf.edgeSplit[1] && leaf.edgeSplit[2] && leaf.edgeSplit[3]);
    leaf.depth = 11;
    EXPECT_EQ(rule.Evaluate(leaf), 1);
    // 3000 units off, the detail asked for (3) is the leaf's own: no edge splits.
    leaf.depth = 3;
    TheCamera().position = {11, 3021, TerrainHeightAt(11, 21)};
    rule.Evaluate(leaf);
    EXPECT_FALSE(leaf.edgeSplit[0] || leaf.edgeSplit[1] || leaf.edgeSplit[2] || leaf.edgeSplit[3]);

    // Far away the root keeps its children: it never merges.
    UpdateGeometry(Root());
    ASSERT_FALSE(Root().isLeaf);
    TheCamera().position = {1e6f, 1e6f, 1e6f};
    for (int frame = 0; frame < 20; ++frame) UpdateGeometry(Root());
    EXPECT_FALSE(Root().isLeaf);
    for (auto& c : Root().children) EXPECT_TRUE(c->isLeaf);
}

TEST_F(TerrainTreeTest, RefinementFollowsTheCameraMergingALevelAFrame) {
    TheCamera().position = {0, 0, 20};
    UpdateGeometry(Root());  // several levels in one frame
    std::vector<TerrainNode*> leaves;
    Leaves(Root(), leaves);
    int deepest = 0;
    for (TerrainNode* l : leaves) deepest = std::max(deepest, l->depth);
    EXPECT_GE(deepest, 9);
    TheCamera().position = {3000, 3000, 20};
    UpdateGeometry(Root());
    std::vector<TerrainNode*> after;
    Leaves(Root(), after);
    int maxAfter = 0;
    for (TerrainNode* l : after)
        if (l->maxX <= 0 && l->maxY <= 0) maxAfter = std::max(maxAfter, l->depth);
    EXPECT_EQ(maxAfter, deepest - 1);  // one level merged near the old spot
}

// No crack: along every leaf's rim, the fan's consecutive vertices have no
// vertex of another fan between them (a T-junction), over the whole tree,
// wherever the camera is.
TEST_F(TerrainTreeTest, FansMeetWithoutCracks) {
    for (const Vector3& camera : {Vector3(0, 0, 20), Vector3(-170, -170, 24), Vector3(57.3f, -12.1f, 3),
                                  Vector3(150, 150, 300), Vector3(-3000, 2500, 40)}) {
        TheCamera().position = camera;
        for (int frame = 0; frame < 12; ++frame) UpdateGeometry(Root());
        std::vector<TerrainNode*> leaves;
        Leaves(Root(), leaves);
        // Node squares are dyadic: coordinates compare exactly.
        std::set<std::pair<float, float>> rims;
        FanVertexList fan;
        for (TerrainNode* l : leaves) {
            const int n = FanVertices(*l, fan);
            for (int k = 1; k < n; ++k) rims.insert({fan[k][0], fan[k][1]});
        }
        int cracks = 0;
        std::size_t steps = 0;
        for (TerrainNode* l : leaves) {
            const int n = FanVertices(*l, fan);
            for (int k = 1; k + 1 < n; ++k) {
                const float ax = fan[k][0], ay = fan[k][1], bx = fan[k + 1][0], by = fan[k + 1][1];
                const float length = std::max(std::fabs(bx - ax), std::fabs(by - ay));
                // The finest fans put a vertex every unit (2-unit leaves).
                for (float t = 1; t < length; t += 1, ++steps)
                    if (rims.count({ax + (bx - ax) * t / length, ay + (by - ay) * t / length})) ++cracks;
            }
        }
        EXPECT_GT(steps, 0u);
        EXPECT_EQ(cracks, 0) << "camera " << camera.x << " " << camera.y << " " << camera.z;
    }
}

// What a frame draws of the texture tree: each texture leaf in range, in
// tree order, with whether its picture is baked.
struct DrawnQuad {
    float minX, minY, maxX, maxY;
    bool baked;
    bool operator==(const DrawnQuad&) const = default;
};
void Drawn(const TerrainNode& node, std::vector<DrawnQuad>& out) {
    if (node.textureLeaf) {
        if (node.texture) out.push_back({node.minX, node.minY, node.maxX, node.maxY, !node.needsBake});
        return;
    }
    for (const auto& c : node.children)
        if (c) Drawn(*c, out);
}
// Textures held: at texture leaves (the first met going down), made ahead
// for their children, or anywhere else.
void Held(const TerrainNode& node, std::size_t& atLeaves, std::size_t& ahead, std::size_t& elsewhere,
          int belowLeaf = 0) {
    if (node.texture) ++(belowLeaf == 0 && node.textureLeaf ? atLeaves : belowLeaf == 1 ? ahead : elsewhere);
    const int next = belowLeaf > 0 ? 2 : node.textureLeaf ? 1 : 0;
    for (const auto& c : node.children)
        if (c) Held(*c, atLeaves, ahead, elsewhere, next);
}

int gBakes = 0;
void CountingBake(TerrainNode& node) {
    ++gBakes;
    node.needsBake = false;
}

// A flight along +x at key 6's pace (200 units/s at 60 frames/s) through a
// re-centring, once as the tree alone bakes and once baking ahead: every
// frame draws the same quads with the same pictures ready, the splits'
// four bakes are spread over the frames before them, and hardly a picture
// made ahead goes unused. Stopped, the camera lets go of what was made
// ahead; moved objects re-bake it.
TEST_F(TerrainTreeTest, AFlyingCameraBakesTheQuadsItWillSplitAheadAndDrawsTheSameQuads) {
    const Camera start{{-900, -170, 40}, 90, 10};
    struct Run {
        std::vector<std::vector<DrawnQuad>> frames;
        std::vector<int> bakes;
        int total = 0;
    };
    // One frame as UpdateTerrainFrame runs it; the bakes it made.
    auto frame = [&](bool ahead) {
        TheCamera().position.x += 200.0f / 60.0f;
        RecentreIfStrayed(TheCamera().position);
        UpdateFrusta(TheFrusta(), TheCamera(), 4.0f / 3.0f);
        const Vector3 next = CameraAhead(TheCamera().position);
        gBakes = 0;
        UpdateGeometry(Root());
        UpdateTextures(Root(), &CountingBake);
        if (ahead) BakeAhead(Root(), next, kBakesAheadBudget - gBakes, &CountingBake);
        return gBakes;
    };
    auto fly = [&](bool ahead, int frames) {
        TheCamera() = start;
        UpdateTerrain(start.position);
        DestroySubtree(TheTerrain().root);
        TheTerrain().root = MakeRootNode();
        TheTerrain().lastCamera.reset();
        Run run;
        for (int i = 0; i < frames; ++i) {
            run.bakes.push_back(frame(ahead));
            run.total += run.bakes.back();
            run.frames.emplace_back();
            Drawn(Root(), run.frames.back());
            std::size_t atLeaves = 0, madeAhead = 0, elsewhere = 0;
            Held(Root(), atLeaves, madeAhead, elsewhere);
            EXPECT_EQ(elsewhere, 0u) << "frame " << i << ": a texture neither drawn nor made ahead";
            EXPECT_TRUE(ahead || madeAhead == 0u);
        }
        return run;
    };
    const int frames = 400;  // 1 333 units: a re-centring on the way
    const Run plain = fly(false, frames), ahead = fly(true, frames);
    for (int i = 0; i < frames; ++i) ASSERT_EQ(ahead.frames[i], plain.frames[i]) << "frame " << i;
    const int settled = 30;  // the first frames fill the view
    const int plainWorst = *std::max_element(plain.bakes.begin() + settled, plain.bakes.end());
    const int aheadWorst = *std::max_element(ahead.bakes.begin() + settled, ahead.bakes.end());
    EXPECT_GE(plainWorst, 8) << "the flight splits quads";
    EXPECT_LE(aheadWorst, kBakesAheadBudget);
    EXPECT_LE(ahead.total, plain.total + plain.total / 10);

    // A moved object re-bakes pictures made ahead as well as drawn ones.
    std::size_t atLeaves = 0, madeAhead = 0, elsewhere = 0;
    for (int i = 0; i < 60 && madeAhead == 0; ++i) {
        frame(true);
        Held(Root(), atLeaves, madeAhead, elsewhere);
    }
    ASSERT_GT(madeAhead, 0u);
    MarkForRebake(Root());
    std::function<void(const TerrainNode&)> allMarked = [&](const TerrainNode& n) {
        EXPECT_TRUE(!n.texture || n.needsBake);
        for (const auto& c : n.children)
            if (c) allMarked(*c);
    };
    allMarked(Root());

    // Still, nothing is about to split: what was made ahead goes.
    UpdateFrusta(TheFrusta(), TheCamera(), 4.0f / 3.0f);
    BakeAhead(Root(), CameraAhead(TheCamera().position), kBakesAheadBudget, &CountingBake);
    atLeaves = madeAhead = elsewhere = 0;
    Held(Root(), atLeaves, madeAhead, elsewhere);
    EXPECT_EQ(madeAhead, 0u);
    EXPECT_GT(atLeaves, 10u);
}

// A jump bakes nothing ahead: the camera's step is no pace to go on at.
TEST_F(TerrainTreeTest, TheCameraAheadIsItselfAtTheFirstFrameStillOrAfterAJump) {
    const Vector3 a{10, 20, 30};
    EXPECT_EQ(CameraAhead(a), a);  // no frame before
    EXPECT_EQ(CameraAhead(a), a);  // still
    const Vector3 b{13, 20, 29};
    EXPECT_EQ(CameraAhead(b), b + (b - a) * kFramesAhead);
    const Vector3 far{b.x + kJumpPerFrame + 1, b.y, b.z};
    EXPECT_EQ(CameraAhead(far), far);
    const Vector3 nan{std::numeric_limits<float>::quiet_NaN(), 0, 0};
    EXPECT_TRUE(std::isnan(CameraAhead(nan).x));  // itself, not a step from it
    EXPECT_EQ(CameraAhead(a), a);                 // after a NaN: no step either
}

// The ground under the demo's houses and rocks meets their lowest points.
TEST_F(TerrainTreeTest, ObjectsStandOnTheGround) {
    int checked = 0;
    for (const auto& inst : TheScene().InstanceList) {
        const std::string name = inst->name ? inst->name : "";
        if (name.rfind("house", 0) != 0 && name.rfind("rock", 0) != 0) continue;
        const float ground = TerrainHeightAt(inst->position.x, inst->position.y);
        EXPECT_NEAR(ground, inst->boxMin.z, 1.0f) << name;
        ++checked;
    }
    EXPECT_GE(checked, 10);
}

// The relaxation's fast steps give the plain steps' bits on grids of every
// shape the pyramid makes and odd ones, with fixed cells, signed zeros,
// cells not a number and infinities among the free ones.
TEST(HeightFieldSpeedTest, RelaxationIsBitIdenticalToThePlainSteps) {
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> height(0.0f, 50.0f);
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{1024, 1024}, {256, 256}, {64, 64}, {16, 16}, {4, 4},
                                                           {3, 3},       {8, 8},     {9, 23},  {37, 11}, {100, 7},
                                                           {21, 90},     {2, 50}};
    const float special[] = {-0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -1e-40f, 1e10f};
    for (const auto& [w, h] : sizes) {
        for (int fill = 0; fill < 3; ++fill) {
            HeightField fast;
            fast.W = w;
            fast.H = h;
            for (std::int32_t n = 0; n < w * h; ++n) {
                const int roll = static_cast<int>(rng() % 100);
                float v = height(rng);
                if (roll < 10 + 40 * fill) v = -v;  // fixed
                else if (roll < 12 + 40 * fill) v = special[rng() % std::size(special)];
                else if (fill == 2 && roll < 95) v = 1e10f;  // nothing known yet
                fast.samples.push_back(v);
            }
            HeightField plain = fast;
            RelaxHeights(fast);
            RelaxHeightsPlain(plain);
            EXPECT_EQ(std::memcmp(fast.samples.data(), plain.samples.data(), fast.samples.size() * 4), 0)
                << w << " x " << h << ", fill " << fill;
        }
    }
}

// Triangles of every size and slope, partly off the grid, partly at or below
// zero, over cells already lowered: the fast sampling lowers the cells the
// plain one lowers, to the same bits, and counts alike.
TEST(HeightFieldSpeedTest, TriangleSamplingIsBitIdenticalToThePlainSteps) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> at(-300.0f, 300.0f), size(0.0f, 60.0f), height(-5.0f, 20.0f);
    HeightField fast;
    fast.W = fast.H = 256;
    fast.extentX = fast.extentY = 512;
    fast.originX = -256;
    fast.originY = -200;
    fast.samples.assign(256 * 256, 1e10f);
    HeightField plain = fast;
    HeightFieldStats a, b;
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<std::array<Vector3, 3>> triangles = {
        {{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}},            // a point
        {{{-10, -10, 2}, {10, 10, 2}, {30, 30, 2}}},    // a line
        {{{0, 0, 3}, {inf, 0, 1}, {0, 1, 1}}},          // skipped
        {{{-300, -300, 5}, {300, -300, 5}, {0, 300, 5}}},  // wider than the grid
        {{{100, 100, 1}, {100.5f, 100, 1}, {100, 400, 1}}},  // long and thin
    };
    for (int n = 0; n < 400; ++n) {
        const Vector3 p{at(rng), at(rng), height(rng)};
        triangles.push_back({{p, p + Vector3(size(rng) - 30, size(rng) - 30, height(rng) - 8),
                              p + Vector3(size(rng) - 30, size(rng) - 30, height(rng) - 8)}});
    }
    for (const auto& t : triangles) {
        RasteriseTriangle(fast, t[0], t[1], t[2], &a);
        RasteriseTrianglePlain(plain, t[0], t[1], t[2], &b);
    }
    EXPECT_EQ(std::memcmp(fast.samples.data(), plain.samples.data(), fast.samples.size() * 4), 0);
    EXPECT_EQ(a.samplesWritten, b.samplesWritten);  // the plain steps count no samples taken
    EXPECT_EQ(a.trianglesSkipped, b.trianglesSkipped);
    EXPECT_GT(a.samplesWritten, 10000u);
    EXPECT_GT(a.samplesTaken, 2 * a.samplesWritten);
}

// The fast paths give the plain steps' bits, on the demo and on random
// bench levels, around the start and after a re-centring.
TEST(HeightFieldSpeedTest, FastBuildsAreBitIdenticalToThePlainSteps) {
    TempDir dir;
    ASSERT_TRUE(wvwrite::WriteDemoLevel(dir.path(), nullptr));
    ASSERT_TRUE(wvwrite::WriteBenchLevel(dir.path(), 3000, 300, 60, 7, nullptr));
    for (const char* level : {"demo-130.swp", "bench-130.swp"}) {
        headless::LoadedLevel loaded;
        loaded.console = nullptr;
        headless::LoadLevel(dir.File(level), loaded);
        // The load's build says what it does, in the design's lines.
        EXPECT_NE(loaded.platform.debug.find("\nSetting instance positions\nInterpolating"), std::string::npos);
        platform::PlatformScope scope(loaded.platform);
        for (const Vector3& centre : {TheCamera().position, Vector3(333.7f, -250.2f, 0)}) {
            HeightField fast = TheTerrain().field, plain = TheTerrain().field;
            fast.originX = plain.originX = std::trunc(centre.x) - 1024;
            fast.originY = plain.originY = std::trunc(centre.y) - 1024;
            HeightPyramid pyramidA, pyramidB;
            HeightFieldStats a, b;
            BuildHeightField(fast, pyramidA, LevelGround(), &a, false);
            BuildHeightField(plain, pyramidB, LevelGround(), &b, true);
            ASSERT_EQ(fast.samples.size(), plain.samples.size());
            EXPECT_EQ(std::memcmp(fast.samples.data(), plain.samples.data(), fast.samples.size() * 4), 0) << level;
            EXPECT_EQ(a.pinnedCells, b.pinnedCells) << level;
            EXPECT_GT(a.pinnedCells, 1000u) << level;
        }
        ResetState(StateScope::Process);
    }
}

// A build that gives way at every point (as a worker beside the frames
// does, there every tenth of a millisecond) yields all through its steps
// and makes the same bits; it also sizes a fresh grid itself. Scopes nest;
// one past its time gives way no more.
TEST(HeightFieldSpeedTest, ABuildThatGivesWayYieldsThroughoutAndMakesTheSameBits) {
    TempDir dir;
    ASSERT_TRUE(wvwrite::WriteDemoLevel(dir.path(), nullptr));
    headless::LoadedLevel loaded;
    loaded.console = nullptr;
    headless::LoadLevel(dir.File("demo-130.swp"), loaded);
    platform::PlatformScope scope(loaded.platform);
    const HeightField& reference = TheTerrain().field;
    for (const bool plain : {false, true}) {
        HeightField fresh = reference;
        fresh.samples = {};  // as a worker's grid starts
        HeightPyramid pyramid;
        const auto hour = std::chrono::hours(1);
        GiveWayScope outer(std::chrono::microseconds(0), hour);
        std::uint64_t yields = 0;
        {
            GiveWayScope inner(std::chrono::microseconds(0), hour);
            BuildHeightField(fresh, pyramid, LevelGround(), nullptr, plain);
            yields = inner.Yields();
        }
        EXPECT_EQ(outer.Yields(), 0u) << plain;
        ASSERT_EQ(fresh.samples.size(), reference.samples.size()) << plain;
        EXPECT_EQ(std::memcmp(fresh.samples.data(), reference.samples.data(), fresh.samples.size() * 4), 0) << plain;
        // Rows of the ocean's triangles, eight relaxing sweeps of 1024 rows
        // in bands, the whole-grid passes in chunks of rows.
        EXPECT_GT(yields, 2000u) << plain;
        BuildHeightField(fresh, pyramid, LevelGround(), nullptr, plain);
        EXPECT_GT(outer.Yields(), 2000u) << plain;  // the outer one counts again
        GiveWayScope over(std::chrono::microseconds(0), std::chrono::seconds(0));
        BuildHeightField(fresh, pyramid, LevelGround(), nullptr, plain);
        EXPECT_EQ(over.Yields(), 0u) << plain;
        EXPECT_EQ(std::memcmp(fresh.samples.data(), reference.samples.data(), fresh.samples.size() * 4), 0) << plain;
    }
    ResetState(StateScope::Process);
}

}  // namespace
