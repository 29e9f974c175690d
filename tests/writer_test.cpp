// The level writers, checked by reading their bytes back at the offsets the
// file formats define, and the demo and bench levels as a viewer loads them.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "demo_fixture.h"
#include "diag/state_registry.h"
#include "files/block_file.h"
#include "files/texture_database.h"
#include "headless/headless_level.h"
#include "math/matrix3.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "level_reader.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/mesh_builder.h"
#include "writer/value_table_builder.h"

namespace {

class DemoLevelTest : public DemoSuite<::testing::Test> {
protected:
    static void SetUpTestSuite() {
        DemoSuite::SetUpTestSuite();
        level_ = new WrittenLevel;
        level_->Load(*dir, "demo");
    }
    static void TearDownTestSuite() {
        delete level_;
        DemoSuite::TearDownTestSuite();
    }
    static inline WrittenLevel* level_ = nullptr;
};

// Every material's texture is in the database and decodes. Terrain is read
// at up to 128 texels and other models at up to 64: the stored textures are
// larger, with smaller versions that fit.
TEST_F(DemoLevelTest, EveryMaterialTextureIsInTheDatabaseWithVersionsThatFit) {
    WrittenLevel& L = *level_;
    std::set<int> types;
    bool bump = false, alphaTree = false;
    int terrainBig = 0, modelBig = 0;
    for (const Placed& in : L.instances) {
        if (!L.BecomesGeometry(in)) continue;
        SCOPED_TRACE(in.name);
        const MeshInfo mesh = L.Mesh(in.object);
        ASSERT_FALSE(mesh.materials.empty());
        const bool terrain = in.cls == "CTerrainObj";
        if (in.cls == "CInstance") types.insert(mesh.type);
        for (const auto& m : mesh.materials) {
            const int full = L.Resolve(m, in);
            ASSERT_GE(full, 0) << m[0];
            const TextureEntry& e = *L.db.Entry(full);
            bump = bump || (e.bump && e.bits == 16);
            if (in.props.count("AlwaysFace") && in.props.at("AlwaysFace").b) alphaTree = alphaTree || e.transparent;
            const std::uint32_t limit = terrain || e.bump ? 128 : 64;  // bump textures are read at 128 too
            L.db.MaxTextureSize = static_cast<std::int32_t>(limit);
            const int used = L.db.FindTexture(e.identifier);
            L.db.MaxTextureSize = 64;
            EXPECT_LE(L.db.Entry(used)->width, limit) << m[0];
            if (e.width > limit) {
                EXPECT_NE(used, full) << m[0];
                (terrain ? terrainBig : modelBig)++;
            }
        }
    }
    EXPECT_EQ(types, (std::set<int>{1, 2}));
    EXPECT_TRUE(bump) << "some material uses a 16-bit bump texture";
    EXPECT_TRUE(alphaTree) << "always-facing trees use see-through textures";
    EXPECT_GT(terrainBig, 0);
    EXPECT_GT(modelBig, 0);
    for (int i = 0; i < static_cast<int>(L.db.entries.size()); ++i) {
        DecodedImage image;
        EXPECT_TRUE(L.db.DecodeImage(i, true, image)) << i;
    }
}

TEST_F(DemoLevelTest, SceneObjectsCarryTheirSettings) {
    const WrittenLevel& L = *level_;
    EXPECT_GE(L.instances.size(), 150u);
    EXPECT_LE(L.instances.size(), 400u);
    // Names a viewer skips or hides.
    for (const Placed& in : L.instances) EXPECT_TRUE(in.name[0] != 'F' && in.name[0] != '$') << in.name;
    for (const BlockRecord& b : L.grf.Blocks()) EXPECT_TRUE(b.GetName()[0] != 'F' && b.GetName()[0] != '$');

    // The ocean: a flat mesh named "ocean...", wider than the island.
    const Placed* ocean = nullptr;
    for (const Placed& in : L.instances)
        if (in.name.rfind("ocean", 0) == 0) ocean = &in;
    ASSERT_NE(ocean, nullptr);
    EXPECT_EQ(ocean->cls, "CInstance");
    float reach = 0;
    for (const Vector3& p : L.Mesh(ocean->object).positions) {
        EXPECT_EQ(p.z, 0.0f);
        reach = std::max(reach, std::hypot(p.x + ocean->position.x, p.y + ocean->position.y));
    }
    EXPECT_GT(reach, 800.0f);

    // Objects stand on the island (their heights, the fog, the sky and the
    // scrolling water are checked as loaded, below and in tools_test).
    for (const Placed* in : L.OfClass("CInstance")) {
        EXPECT_LE(std::fabs(in->position.x), 230.0f) << in->name;
        EXPECT_LE(std::fabs(in->position.y), 230.0f) << in->name;
    }

    // The sun shines down from the south-west.
    const std::vector<const Placed*> lights = L.OfClass("CLightDirectional");
    ASSERT_EQ(lights.size(), 1u);
    const Vector3 d = DrawingRotation(lights[0]->rotation) * Vector3(0, 0, 1);
    EXPECT_LT(d.z, -0.3f);
    EXPECT_GT(d.x, 0.2f);
    EXPECT_GT(d.y, 0.2f);

    // The player starts off the south-west shore, above the ground, facing
    // the island's centre (yaw = -rotation z; yaw 0 looks along +y).
    const std::vector<const Placed*> players = L.OfClass("Player");
    ASSERT_EQ(players.size(), 1u);
    const Placed& p = *players[0];
    EXPECT_GT(p.position.z, 12.0f);
    const double yaw = -p.rotation.z, len = std::hypot(p.position.x, p.position.y);
    EXPECT_GT((std::sin(yaw) * -p.position.x + std::cos(yaw) * -p.position.y) / len, 0.95);
}

// The viewer's own load sequence, run headless: no complaint, and the
// scene it builds is the island that was meant, its ground pieces and sea
// wound to be seen from above (back faces are culled).
TEST_F(DemoLevelTest, LoadsWithoutComplaintIntoTheIntendedScene) {
    LoadQuietly();
    for (const auto& box : loaded.platform.boxes) ADD_FAILURE() << "message box: " << box.text;
    const SceneState& s = TheScene();
    EXPECT_EQ(s.InstanceList.size(), level_->OfClass("CInstance").size()) << "every object loads and shows";
    ASSERT_NE(s.SkyTexture, nullptr);
    EXPECT_TRUE(s.SkyTexture->hasAlpha);
    std::vector<std::int32_t> heights;
    for (const auto& [h, group] : s.TerrainObjectsByHeight) heights.push_back(h);
    EXPECT_EQ(heights, (std::vector<std::int32_t>{1, 2, 3}));
    const int fog[3] = {176, 196, 214};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(s.FogColor[k], fog[k] / 255.0f, 1e-5f) << k;

    // Every object stands on the ground it pins (lowest point above 0);
    // the ocean stands inside the terrain area, more than a unit up, so
    // that the sea floor is laid under it.
    for (const auto& in : s.InstanceList) {
        SCOPED_TRACE(in->name);
        EXPECT_GT(in->boxMin.z, 0.0f);
        EXPECT_LT(in->boxMin.z, 11.0f);
        if (std::string(in->name).rfind("ocean", 0) != 0) continue;
        EXPECT_GT(in->boxMin.z, 1.0f);
        EXPECT_GE(in->position.x, s.TerrainMin.x);
        EXPECT_LE(in->position.x, s.TerrainMax.x);
        EXPECT_GE(in->position.y, s.TerrainMin.y);
        EXPECT_LE(in->position.y, s.TerrainMax.y);
    }
    std::size_t surfaces = 0;
    for (const auto& model : s.ModelList) {
        const std::string& name = model->name;
        if (name.rfind("ground_", 0) != 0 && name.rfind("sea_", 0) != 0) continue;
        ++surfaces;
        std::size_t down = 0;
        for (const Face& f : model->faces) {
            ASSERT_TRUE(f.inRange) << name;
            const Vector3 a = model->vertices[f.index[0]].position, b = model->vertices[f.index[1]].position,
                          c = model->vertices[f.index[2]].position;
            down += (b - a).Cross(c - a).z <= 0.0f;
        }
        EXPECT_EQ(down, 0u) << name << ": " << down << " of " << model->faces.size() << " triangles face down";
        EXPECT_FALSE(model->faces.empty()) << name;
    }
    EXPECT_EQ(surfaces, 16u + 3u + 1u);  // 16 base pieces, path, pond, meadow; the sea
    ResetState(StateScope::Process);
}

TEST(BenchLevelTest, SmallLevelIsValidAndVaried) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(wvwrite::WriteBenchLevel(dir.path(), 300, 40, 20, 7, &error)) << error;
    WrittenLevel L;
    L.Load(dir, "bench");
    ASSERT_FALSE(testing::Test::HasFatalFailure());
    EXPECT_EQ(L.instances.size(), 300u);

    std::size_t meshes = 0;
    for (const BlockRecord& b : L.grf.Blocks()) meshes += b.type == kMeshBlockType;
    EXPECT_EQ(meshes, 40u);
    EXPECT_EQ(L.db.identifiers.size(), 20u);
    std::set<std::uint32_t> bits, sizes;
    for (std::size_t i = 0; i < L.db.entries.size(); ++i) {
        const TextureEntry& e = L.db.entries[i];
        if (e.sizeCode != 0) continue;
        bits.insert(e.bits);
        sizes.insert(e.width);
        ASSERT_LT(i + 1, L.db.entries.size());
        EXPECT_EQ(L.db.entries[i + 1].identifier, e.identifier) << "a smaller version follows";
        EXPECT_EQ(L.db.entries[i + 1].sizeCode, e.width / 2);
    }
    EXPECT_EQ(bits, (std::set<std::uint32_t>{8, 16}));
    EXPECT_GE(sizes.size(), 3u);

    std::map<std::string, int> classes;
    std::set<int> types, materialCounts;
    int withoutTable = 0;
    for (const Placed& in : L.instances) {
        ++classes[in.cls];
        withoutTable += in.props.empty();
        if (!L.BecomesGeometry(in)) continue;
        const MeshInfo mesh = L.Mesh(in.object);
        types.insert(mesh.type);
        materialCounts.insert(static_cast<int>(mesh.materials.size()));
        for (const auto& m : mesh.materials) EXPECT_GE(L.Resolve(m, in), 0) << m[0];
    }
    EXPECT_EQ(types, (std::set<int>{1, 2}));
    EXPECT_EQ(*materialCounts.begin(), 1);
    EXPECT_EQ(*materialCounts.rbegin(), 4);
    EXPECT_GT(classes["CInstance"], 100);
    EXPECT_GT(classes["CTerrainObj"], 10);
    for (const char* cls : {"CSky", "Player", "CLightDirectional", "CStartTrigger"}) EXPECT_EQ(classes[cls], 1) << cls;
    EXPECT_GT(withoutTable, 10);

    headless::LoadedLevel loaded;
    headless::LoadLevel(dir.File("bench-130.swp"), loaded);
    for (const auto& box : loaded.platform.boxes) ADD_FAILURE() << "message box: " << box.text;
    std::size_t terrain = 0;
    for (const auto& [h, group] : TheScene().TerrainObjectsByHeight) terrain += group.size();
    EXPECT_EQ(terrain, static_cast<std::size_t>(classes["CTerrainObj"]));
    EXPECT_EQ(TheScene().InstanceList.size(), static_cast<std::size_t>(classes["CInstance"] + classes["CSky"]));
    ResetState(StateScope::Process);
}

TEST(BenchLevelTest, CountsOutOfRangeAreRefused) {
    TempDir dir;
    const int cases[][3] = {{-1, 10, 10}, {10, 0, 10}, {10, 10, 0}, {wvwrite::kMaxBenchInstances + 1, 10, 10}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(wvwrite::WriteBenchLevel(dir.path(), c[0], c[1], c[2], 1, &error));
        EXPECT_NE(error.find("out of range"), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(wvwrite::WriteBenchLevel(dir.File("missing/deeper"), 10, 2, 2, 1, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

// ------------------------------------------------------------ the tool

RunResult MkLevel(const TempDir& dir, const std::string& args) { return RunShell(dir, std::string(WV_MKLEVEL) + " " + args); }

TEST(MkLevelTest, WritesTheSameBytesForTheSameArguments) {
    TempDir a, b;
    for (const char* command : {"demo", "bench"})
        for (const TempDir* d : {&a, &b}) {
            const char* bench = *command == 'b' ? " --instances 120 --meshes 12 --textures 6 --seed 3" : "";
            const RunResult r = MkLevel(*d, command + (" " + d->path()) + bench);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
        }
    for (const char* name : {"demo.grf", "demo-130.pid", "demo-130.swp", "bench.grf", "bench-130.pid", "bench-130.swp"}) {
        const std::vector<std::uint8_t> first = ReadAll(a.File(name));
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_EQ(first, ReadAll(b.File(name))) << name;
    }
    const RunResult other = MkLevel(a, "bench " + a.File("other") + " --seed 4 --instances 120 --meshes 12 --textures 6");
    ASSERT_EQ(other.status, 0) << other.err;
    EXPECT_NE(ReadAll(a.File("other/bench.grf")), ReadAll(a.File("bench.grf")));
}

TEST(MkLevelTest, BadArgumentsAreUsageErrorsAndFailuresOneLine) {
    TempDir dir;
    const std::string out = dir.File("x");
    const char* usage[] = {"", "frobnicate ", "bench", "bench --seed 3", "demo", "bench OUT --instances",
                           "bench OUT --instances -5", "bench OUT --meshes 0", "bench OUT --textures abc",
                           "bench OUT --textures 12x", "bench OUT --colour red"};
    for (const char* args : usage) {
        std::string a = args;
        if (const auto at = a.find("OUT"); at != std::string::npos) a.replace(at, 3, out);
        const RunResult r = MkLevel(dir, a);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("usage: wildview-mklevel"), std::string::npos) << args;
    }
    // A directory that cannot be made: one line on standard error.
    WriteAll(dir.File("plain"), {1, 2, 3});
    const RunResult r = MkLevel(dir, "bench " + dir.File("plain") + "/sub --instances 10 --meshes 2 --textures 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("wildview-mklevel: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace
