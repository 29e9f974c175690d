// The scene model's own operations and the three reports, on objects built
// in memory.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <span>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "headless/headless_level.h"
#include "platform/scripted_platform.h"
#include "scene/dumps.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/value_table_builder.h"

namespace {

class SceneModelTest : public ::testing::Test {
protected:
    void TearDown() override { ResetState(StateScope::Level); }

    // 4 vertices, faces (0, 1, 2) and (0, 2, 3).
    static std::unique_ptr<Model> Quad() {
        auto m = std::make_unique<Model>();
        const Vector3 corners[] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
        for (const Vector3& c : corners) m->vertices.push_back({{0, 0, 1}, c.x / 2, c.y / 2, c});
        m->faces.push_back({{0, 1, 2}, 0});
        m->faces.push_back({{0, 2, 3}, 0});
        m->materials.resize(1);
        return m;
    }

    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(SceneModelTest, BoundsFollowRotationScaleAndOnlyGrow) {
    auto model = Quad();
    Instance inst;
    inst.model = model.get();
    inst.position = {10, 0, 0};
    inst.scale = 2.0f;
    inst.rotation = {0, 0, static_cast<float>(90.0 / kRadToDeg)};  // as drawn: +x turns to +y
    inst.UpdateBounds();
    EXPECT_NEAR(inst.sphere.radius, std::sqrt(32.0f), 1e-5f);
    EXPECT_EQ(inst.sphere.centre, Vector3(10, 0, 0));
    ExpectNear(inst.boxMin, {6, 0, 0}, 1e-4f);
    ExpectNear(inst.boxMax, {10, 4, 0}, 1e-4f);

    // Moved twice: the box is the union of every place it has been.
    inst.SetPosition(100, 0, 0);
    inst.SetPosition(50, 50, 0);
    ExpectNear(inst.boxMin, {6, 0, 0}, 1e-4f);
    ExpectNear(inst.boxMax, {100, 54, 0}, 1e-4f);

    Model empty;
    Instance bare;
    bare.model = &empty;
    bare.UpdateBounds();
    EXPECT_EQ(bare.sphere.radius, 0.0f);
    EXPECT_EQ(bare.boxMin, Vector3(1e20f, 1e20f, 1e20f));
    EXPECT_EQ(bare.boxMax, Vector3(-1e20f, -1e20f, -1e20f));
}

TEST_F(SceneModelTest, MovingMarksTheShadowsOnItsLightLineAndDeletingGivesBackTheSlot) {
    auto model = Quad();
    TheScene().LightDirection = {0, 0, -2};  // straight down, normalised for the test
    Instance moved, above, beside, far;
    for (Instance* i : {&moved, &above, &beside, &far}) i->model = model.get();
    above.position = {0, 0, 50};
    beside.position = {4, 0, 0};  // radius 2.83 each: the spheres reach the line
    far.position = {10, 0, 0};
    for (Instance* i : {&above, &beside, &far}) {
        i->UpdateBounds();
        ShadowCandidates().push_back(i);
    }
    static Vector3 rebakeCentre;
    static float rebakeRadius = -1;
    TheSceneHooks().markAreaForRebake = [](const Vector3& c, float r) {
        rebakeCentre = c;
        rebakeRadius = r;
    };
    moved.SetRotation(0, 0, 0.1f);
    TheSceneHooks().markAreaForRebake = nullptr;
    EXPECT_TRUE(moved.ShadowDirty);
    EXPECT_TRUE(above.ShadowDirty);
    EXPECT_TRUE(beside.ShadowDirty);
    EXPECT_FALSE(far.ShadowDirty);
    EXPECT_EQ(rebakeCentre, moved.position);
    EXPECT_EQ(rebakeRadius, moved.sphere.radius);

    // Deleted, an instance gives back its shadow slot.
    static ShadowTexture* released = nullptr;
    TheSceneHooks().releaseShadow = [](ShadowTexture* s) { released = s; };
    auto slot = reinterpret_cast<ShadowTexture*>(0x1234);
    std::make_unique<Instance>()->ShadowSlot = slot;
    TheSceneHooks().releaseShadow = nullptr;
    EXPECT_EQ(released, slot);
}

TEST_F(SceneModelTest, ModelReportCountsVertexUses) {
    auto model = Quad();
    model->SourceGeometryType = 2;
    model->PivotOffset = {0.5f, 0, -1};
    model->materials.resize(2);
    model->materials[0].hasTexture = true;
    model->materials[0].textureIndex = 7;
    model->materials[0].textureName = "rock";
    model->name = "boulder";
    model->handle = 0x80000123;
    ShowInfoDialog();
    DumpModel(*model);
    EXPECT_EQ(pf.infoText,
              "\r\nModel: 291 boulder\r\nSource geometry type: 2\r\n4 Vertices, 2 Faces, 2 Materials\r\nPivot Offset: 0.50 0.00 -1.00"
              "\r\n\r\nMaterials:\r\nLighting 50 50 50 100 0\r\n  0: pid texture 7 'rock'\r\n  1: no texture"
              "\r\n\r\nFaces:\r\n  0:   0   1   2, tex 0\r\n  1:   0   2   3, tex 0"
              "\r\n\r\nVerts:\r\n  0: 0.00 0.00 0.00, used 2\r\n  1: 2.00 0.00 0.00, used 1"
              "\r\n  2: 2.00 2.00 0.00, used 2\r\n  3: 0.00 2.00 0.00, used 1"
              "\r\nVerts used:   100%\r\nVerts reused: 50%");
    EXPECT_EQ(pf.infoCaret, 1u);  // scrolled to the top

    model->vertices.push_back({});  // a vertex no face uses
    ShowInfoDialog();
    DumpModel(*model);
    EXPECT_NE(pf.infoText.find("\r\n  4: 0.00 0.00 0.00, used 0\r\nVerts used:   80%\r\nVerts reused: 40%"),
              std::string::npos);

    Model empty;
    ShowInfoDialog();
    DumpModel(empty);
    EXPECT_NE(pf.infoText.find("Verts used:   0%\r\nVerts reused: 0%"), std::string::npos);
}

TEST_F(SceneModelTest, InstanceReportGoesToTheDebugOutputAndTheTableReportToTheDialog) {
    auto model = Quad();
    model->handle = 0x80ABCDEF;
    model->name = "hut";
    Instance inst;
    inst.model = model.get();
    inst.index = 42;
    inst.name = "hut01";
    inst.position = {1.25f, -2, 3};
    inst.rotation = {0, 0.5f, 3.14159f};
    inst.scale = 1.5f;
    DumpInstance(inst);
    EXPECT_EQ(pf.debug, "\n\nInstance:    42 hut01\nModel:    11259375 hut\n  position: <1.2, -2.0, 3.0>"
                        "\n  rotation: <0.00, 0.50, 3.14>\n  scale:    1.50");

    // Its table's members, last first.
    wvwrite::ValueTableBuilder b;
    b.AddBool("Shadow", false);         // 0
    b.AddInt("Height", -3);             // 1
    b.AddFloat("Diffuse", 0.5f);        // 2
    b.AddString("Class", "CInstance");  // 3
    b.AddList("Nested", {0, 1});        // 4
    b.AddList("Empty", {});             // 5
    b.AddEmpty("Nothing");              // 6
    b.AddList("Table", {0, 1, 2, 3, 4, 5, 6});  // 7
    const std::vector<std::uint8_t> bytes = b.Bytes();
    TheScene().valueTable.Decode(bytes);
    inst.valueTable = 7;
    ShowInfoDialog();
    DumpValueTable(inst);
    EXPECT_EQ(pf.infoText,
              "\r\n\r\nValueTable: \r\n   6 Nothing = \r\n   5 Empty = \r\n   4 Nested = 0 1 \r\n   3 Class = CInstance"
              "\r\n   2 Diffuse = 0.500000f\r\n   1 Height = -3\r\n   0 Shadow = false");

    Instance none;
    ShowInfoDialog();
    DumpValueTable(none);
    EXPECT_EQ(pf.infoText, "\r\n\r\nNo valuetable entry. ");
}

// ---- bounds from a model's distinct points ---------------------------------

struct Place { Vector3 position, rotation; float scale; };

// The bits of everything UpdateBounds writes.
std::array<std::uint32_t, 10> BoundsBits(const Instance& i) {
    const float f[10] = {i.boxMin.x, i.boxMin.y, i.boxMin.z, i.boxMax.x, i.boxMax.y, i.boxMax.z,
                         i.sphere.centre.x, i.sphere.centre.y, i.sphere.centre.z, i.sphere.radius};
    std::array<std::uint32_t, 10> bits;
    std::memcpy(bits.data(), f, sizeof f);
    return bits;
}

// The instance placed at each step in turn (its box growing) from the
// model's points and from every vertex: the same bits after every step.
void ExpectBoundsLikeEveryVertex(const Model& model, const std::vector<Place>& steps, const std::string& what) {
    ASSERT_NE(model.Points(), nullptr) << what;
    Instance fast, plain;
    fast.model = plain.model = const_cast<Model*>(&model);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        for (Instance* i : {&fast, &plain}) {
            i->position = steps[k].position;
            i->rotation = steps[k].rotation;
            i->scale = steps[k].scale;
        }
        fast.UpdateBounds();
        plain.UpdateBounds(true);
        ASSERT_EQ(BoundsBits(fast), BoundsBits(plain)) << what << ", step " << k;
    }
}

// The points as a plain walk finds them: each position (bit for bit) at its
// first appearance among all vertices, then among the drawn faces' corners.
void ExpectPointsLikeAPlainWalk(const Model& model, const std::string& what) {
    ASSERT_NE(model.Points(), nullptr) << what;
    auto key = [](const Vector3& v) {
        std::array<std::uint32_t, 3> bits;
        std::memcpy(bits.data(), &v, sizeof bits);
        return bits;
    };
    auto distinct = [&](const std::vector<Vector3>& walk) {
        std::vector<std::array<std::uint32_t, 3>> out;
        std::set<std::array<std::uint32_t, 3>> met;
        for (const Vector3& v : walk)
            if (met.insert(key(v)).second) out.push_back(key(v));
        return out;
    };
    std::vector<Vector3> all, drawn;
    for (const Vertex& v : model.vertices) all.push_back(v.position);
    for (const Face& f : model.faces)
        if (FaceDrawn(model, f))
            for (std::uint32_t k : f.index) drawn.push_back(model.vertices[k].position);
    auto bitsOf = [&](std::span<const Vector3> points) {
        std::vector<std::array<std::uint32_t, 3>> out;
        for (const Vector3& v : points) out.push_back(key(v));
        return out;
    };
    EXPECT_EQ(bitsOf(model.Points()->All()), distinct(all)) << what;
    EXPECT_EQ(bitsOf(model.Points()->Drawn()), distinct(drawn)) << what;
}

std::vector<Place> RandomPlaces(std::mt19937& rng, int n) {
    std::uniform_real_distribution<float> angle(-7.0f, 7.0f), at(-500.0f, 500.0f), scale(0.05f, 4.0f);
    std::vector<Place> out;
    for (int k = 0; k < n; ++k)
        out.push_back({{at(rng), at(rng), at(rng)}, {angle(rng), angle(rng), angle(rng)}, scale(rng)});
    return out;
}

TEST_F(SceneModelTest, DistinctPointsGiveTheBoundsOfEveryVertex) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Shape { const char* what; std::vector<Vector3> positions; };
    const std::vector<Shape> shapes = {
        {"a box, each corner three times", {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {-1, -1, 2}, {1, -1, 2},
                                            {1, 1, 2}, {-1, 1, 2}, {1, 1, 2}, {-1, -1, 0}, {1, -1, 2}, {-1, 1, 0},
                                            {1, -1, 0}, {-1, 1, 2}, {1, 1, 0}, {-1, -1, 2}, {1, 1, 0}, {-1, 1, 2},
                                            {1, -1, 0}, {-1, -1, 2}, {1, 1, 2}, {-1, 1, 0}, {1, -1, 2}, {-1, -1, 0}}},
        {"signed zeros", {{0, 0, 0}, {-0.0f, 0, 0}, {0, -0.0f, -0.0f}, {-0.0f, -0.0f, -0.0f}, {0, 0, 0}, {1, 0, -0.0f}}},
        // At the origin, unturned, the box's lowest (or highest) corner is a
        // zero: -0 is met first, +0 only four points later.
        {"a negative zero lowest first", {{1, 1, 1}, {-0.0f, -0.0f, -0.0f}, {2, 2, 2}, {3, 3, 3}, {0, 0, 0}}},
        {"a negative zero highest first", {{-1, -1, -1}, {-0.0f, -0.0f, -0.0f}, {-2, -2, -2}, {-3, -3, -3}, {0, 0, 0}}},
        {"one point many times", std::vector<Vector3>(50, Vector3{0.25f, -3, 7})},
        {"not numbers and infinities", {{nan, 0, 0}, {1, 2, 3}, {inf, -inf, 0}, {nan, nan, nan}, {1, 2, 3}, {-4, inf, nan}}},
        {"huge and tiny", {{3e38f, -3e38f, 1e-38f}, {1e-45f, -1e-45f, 0}, {3e38f, -3e38f, 1e-38f}, {-2e19f, 2e19f, 1}}},
    };
    std::mt19937 rng(12345);
    std::vector<Place> places = RandomPlaces(rng, 40);
    // Placements where ties and signed zeros decide: no turn, the origin,
    // negative zeros, a zero and a negative scale.
    places.push_back({{0, 0, 0}, {0, 0, 0}, 1});
    places.push_back({{-0.0f, -0.0f, -0.0f}, {0, 0, 0}, 1});
    places.push_back({{-0.0f, 5, -0.0f}, {0, 0, 3.14159265f}, 2});
    places.push_back({{1, 1, 1}, {0, 0, 0}, 0});
    places.push_back({{-0.0f, 0, 0}, {1, 2, 3}, -0.0f});
    places.push_back({{2, -3, 4}, {0.5f, 0, 0}, -1.5f});
    for (const Shape& shape : shapes) {
        Model m;
        for (const Vector3& p : shape.positions) m.vertices.push_back({{0, 0, 1}, 0, 0, p});
        m.PreparePoints();
        ExpectBoundsLikeEveryVertex(m, places, shape.what);
        // Each placement on a fresh instance, too: a box that starts unset.
        for (const Place& p : places) ExpectBoundsLikeEveryVertex(m, {p}, shape.what);
    }
}

TEST_F(SceneModelTest, PointsFollowTheVerticesTheyWereMadeFrom) {
    auto model = Quad();
    EXPECT_EQ(model->Points(), nullptr);  // none made yet: every vertex is walked
    model->PreparePoints();
    ASSERT_NE(model->Points(), nullptr);
    EXPECT_EQ(model->Points()->All().size(), 4u);
    EXPECT_EQ(model->Points()->Drawn().size(), 4u);
    model->vertices.push_back({{0, 0, 1}, 0, 0, {100, 0, 0}});
    EXPECT_EQ(model->Points(), nullptr) << "a vertex added since: the points no longer stand for the model";
    Instance inst;
    inst.model = model.get();
    inst.UpdateBounds();
    EXPECT_EQ(inst.boxMax.x, 100.0f);

    // Only the corners of drawn faces stand on the ground.
    model->PreparePoints();
    model->faces.push_back({{0, 1, 4}, 1});
    model->materials.resize(2);
    model->materials[1].invisible = true;
    model->PreparePoints();
    EXPECT_EQ(model->Points()->Drawn().size(), 4u);
    EXPECT_EQ(model->Points()->drawnMax.x, 2.0f);
    ExpectPointsLikeAPlainWalk(*model, "an invisible face");
    model->materials[1].invisible = false;
    model->PreparePoints();
    EXPECT_EQ(model->Points()->Drawn().size(), 5u);
    EXPECT_EQ(model->Points()->drawnMax.x, 100.0f);
}

// The demo and a random bench level, written once for the loads below.
class LoadedLevelsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        ASSERT_TRUE(wvwrite::WriteDemoLevel(dir_->path(), nullptr));
        ASSERT_TRUE(wvwrite::WriteBenchLevel(dir_->path(), 1500, 150, 30, 3, nullptr));
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::vector<std::string> Levels() { return {dir_->File("demo-130.swp"), dir_->File("bench-130.swp")}; }
    static TempDir* dir_;
};
TempDir* LoadedLevelsTest::dir_ = nullptr;

// Every model of both levels, under the placements their own instances
// have and under random ones.
TEST_F(LoadedLevelsTest, LoadedModelsGiveTheBoundsOfEveryVertex) {
    std::mt19937 rng(99);
    for (const std::string& level : Levels()) {
        headless::LoadedLevel loaded;
        loaded.console = nullptr;
        ASSERT_TRUE(headless::LoadLevel(level, loaded));
        std::vector<const Instance*> all;
        for (const auto& i : TheScene().InstanceList) all.push_back(i.get());
        for (const auto& [height, group] : TheScene().TerrainObjectsByHeight)
            for (const auto& i : group) all.push_back(i.get());
        ASSERT_GT(all.size(), 100u) << level;
        for (const Instance* i : all) {
            const std::vector<Place> own = {{i->position, i->rotation, i->scale},
                                            {i->position + Vector3(3, -2, 1), i->rotation * 2.0f, i->scale * 0.5f}};
            ExpectBoundsLikeEveryVertex(*i->model, own, level + " " + i->model->name);
        }
        for (const auto& m : TheScene().ModelList) {
            ExpectBoundsLikeEveryVertex(*m, RandomPlaces(rng, 3), level + " " + m->name);
            ExpectPointsLikeAPlainWalk(*m, level + " " + m->name);
        }
        ResetState(StateScope::Process);
    }
}

// A load told to skip the bounds lists what a whole load lists (its log,
// models and objects) and bounds the terrain objects alike (they give the
// ground's extent), but leaves the ordinary objects unbounded and their
// models without points. A load that infers the ground finds them anyway.
TEST_F(LoadedLevelsTest, ALoadWithoutBoundsListsWhatAWholeLoadLists) {
    struct Seen {
        std::string lists;
        std::vector<std::array<std::uint32_t, 10>> terrainBounds;
        std::size_t objects = 0, bounded = 0;
        std::size_t pointedOutsideTerrain = 0;
    };
    const auto load = [](const std::string& level, Ground ground, Bounds bounds) {
        headless::LoadedLevel loaded;
        loaded.console = nullptr;
        EXPECT_TRUE(headless::LoadLevel(level, loaded, nullptr, ground, bounds));
        Seen seen;
        // The load's clock aside, line by line.
        std::istringstream lines(loaded.log + loaded.platform.debug);
        for (std::string line; std::getline(lines, line);)
            if (line.find("Level load time") == std::string::npos) seen.lists += line + "\n";
        std::set<const Model*> terrainModels;
        for (const auto& [height, group] : TheScene().TerrainObjectsByHeight)
            for (const auto& i : group) {
                seen.lists += "terrain " + std::to_string(height) + " " + std::to_string(i->index) + "\n";
                seen.terrainBounds.push_back(BoundsBits(*i));
                terrainModels.insert(i->model);
            }
        for (const auto& m : TheScene().ModelList) {
            seen.lists += "model " + m->name + " " + std::to_string(m->handle) + " " +
                          std::to_string(m->vertices.size()) + " " + std::to_string(m->faces.size()) + " " +
                          std::to_string(m->materials.size()) + "\n";
            if (m->Points() && !terrainModels.count(m.get())) ++seen.pointedOutsideTerrain;
        }
        for (const auto& i : TheScene().InstanceList) {
            seen.lists += "object " + std::to_string(i->index) + " " + std::to_string(i->model->handle) + " " +
                          std::to_string(i->position.x) + " " + std::to_string(i->scale) + "\n";
            ++seen.objects;
            if (i->sphere.radius > 0.0f && i->boxMin.x <= i->boxMax.x) ++seen.bounded;
        }
        ResetState(StateScope::Process);
        return seen;
    };
    for (const std::string& level : Levels()) {
        const Seen whole = load(level, Ground::Skip, Bounds::Find), lists = load(level, Ground::Skip, Bounds::Skip);
        EXPECT_EQ(lists.lists, whole.lists) << level;
        EXPECT_EQ(lists.terrainBounds, whole.terrainBounds) << level;
        EXPECT_GT(whole.objects, 100u) << level;
        EXPECT_EQ(whole.bounded, whole.objects) << level;
        EXPECT_GT(whole.pointedOutsideTerrain, 10u) << level;
        EXPECT_EQ(lists.bounded, 0u) << level;
        EXPECT_EQ(lists.pointedOutsideTerrain, 0u) << level;

        const Seen ground = load(level, Ground::Infer, Bounds::Skip);
        EXPECT_EQ(ground.bounded, ground.objects) << level << ": the ground reads the bounds";
        EXPECT_EQ(ground.pointedOutsideTerrain, whole.pointedOutsideTerrain) << level;
    }
    EXPECT_FALSE(load(Levels()[0], Ground::Skip, Bounds::Skip).terrainBounds.empty());
}

// The flat cache answers as a map keyed by the whole handle would: the
// flag bits make another key for the same block.
TEST(ModelCacheTest, AnswersAsAMapByTheWholeHandle) {
    std::mt19937 rng(7);
    std::vector<std::unique_ptr<Model>> models;
    ModelCacheTable cache;
    std::map<std::uint32_t, Model*> reference;
    const std::size_t blocks = 64;
    for (int i = 0; i < 3000; ++i) {
        const std::uint32_t flags = std::uniform_int_distribution<int>(0, 3)(rng) == 0 ? 0x80000000u : 0u;
        const std::uint32_t handle = static_cast<std::uint32_t>(rng() % (blocks + 8)) | flags | (rng() % 9 == 0 ? 0x10000000u : 0u);
        Model* found = cache.Find(handle);
        const auto it = reference.find(handle);
        ASSERT_EQ(found, it == reference.end() ? nullptr : it->second) << std::hex << handle;
        if (!found && (handle & 0x0FFFFFFFu) < blocks) {
            models.push_back(std::make_unique<Model>());
            cache.Insert(handle, models.back().get(), blocks);
            reference[handle] = models.back().get();
        }
        ASSERT_EQ(cache.size(), reference.size());
    }
    EXPECT_GT(reference.size(), blocks);  // second handles of a block were kept apart
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    for (const auto& [handle, model] : reference) EXPECT_EQ(cache.Find(handle), nullptr);
}

}  // namespace
