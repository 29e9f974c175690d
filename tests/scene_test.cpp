// Scene construction and the load sequence, through headless level loads.
#include <gtest/gtest.h>

#include <array>

#include "diag/log.h"
#include "level/load_sequence.h"
#include "scene/level.h"
#include "scene/model_loader.h"
#include "files/texture_database.h"
#include "level_fixture.h"
#include "location/level_files.h"
#include "math/camera.h"
#include "scene/view.h"

namespace {

using wvwrite::Property;

class SceneTest : public LevelTest {
protected:
    void SetUp() override { AddTexture("tex", ".tga"); }
};

// Names, visibility and the class decide what is built. Classes are told
// apart by their whole text: near misses are unknown classes, and a class
// member that holds no text counts as an empty class.
TEST_F(SceneTest, NamesVisibilityAndOnlyTheExactClassNamesDecideWhatIsBuilt) {
    const BlockHandle m = Square("thing");
    struct Case { const char* name; std::vector<Property> properties; bool built; };
    const std::vector<Case> cases = {
        {"Fence", {}, false},                                                 // no table, "F": skipped
        {"fence", {}, true},                                                  // "f" is fine
        {"Fountain", {Property::String("Class", "CInstance")}, true},        // "F" with a table is fine
        {"$marker", {Property::String("Class", "CInstance")}, false},        // "$": skipped whatever the class
        {"hidden", {Property::Bool("Visible", false)}, false},                // CInstance, invisible: skipped
        {"wolf", {Property::String("Class", "CAnimal"), Property::Bool("Visible", false)}, true},  // not asked
        {"lower", {Property::String("Class", "cinstance")}, false},
        {"space", {Property::String("Class", "CInstance ")}, false},
        {"short", {Property::String("Class", "CInstanc")}, false},
        {"longer", {Property::String("Class", "CInstances")}, false},
        {"empty", {Property::String("Class", "")}, false},
        {"number", {Property::Int("Class", 7)}, false},
        {"none", {Property::Int("Other", 1)}, true},
        {"trigger", {Property::String("Class", "CStartTrigger")}, false},
        {"second", {Property::String("Class", "CAnimal"), Property::String("Class", "Cx")}, true},
    };
    for (const Case& c : cases) Place(m, c.name, c.properties);
    Load();
    std::size_t built = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(Named(c.name) != nullptr, c.built) << c.name;
        built += c.built;
    }
    EXPECT_EQ(S().InstanceList.size(), built);
    EXPECT_TRUE(loaded.platform.boxes.empty());
}

// Scrolling needs both DeltaX and DeltaY; serial ids run on across loads.
TEST_F(SceneTest, InstancesFollowTheirPropertiesAndAnAnimalsMeshNamesItsGeometry) {
    const BlockHandle m = Square("thing");
    const BlockHandle wolfMesh = Square("wolfmesh");
    Place(m, "wolf", {Property::String("Class", "CAnimal"), Property::String("Mesh", "wolfmesh")});
    Place(m, "stray", {Property::String("Class", "CAnimal"), Property::String("Mesh", "nothing")});
    Place(m, "facing", {Property::Bool("AlwaysFace", true), Property::Bool("Shadow", true)});
    Place(m, "unlit", {Property::Bool("Unlit", true), Property::Bool("Shadow", false)});
    Place(m, "plain", {}, {1, 2, 3}, {0.1f, 0.2f, 0.3f}, 2.0f);
    Place(Square("pond"), "still", {Property::Int("DeltaX", 3)});
    Place(Square("water"), "flowing", {Property::Int("DeltaX", 2), Property::Int("DeltaY", -1)});
    const std::uint32_t first = PeekNextSerialId();
    Load();
    EXPECT_TRUE(Named("facing")->AlwaysFace);
    EXPECT_FALSE(Named("facing")->Shadow);  // camera-facing objects cast no shadow
    EXPECT_TRUE(Named("unlit")->Unlit);
    EXPECT_FALSE(Named("unlit")->Shadow);
    const Instance* plain = Named("plain");
    EXPECT_TRUE(plain->Shadow);
    EXPECT_EQ(plain->position, Vector3(1, 2, 3));
    EXPECT_EQ(plain->rotation, Vector3(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(plain->scale, 2.0f);
    EXPECT_EQ(plain->valueTable, 0xFFFFFFFFu);
    EXPECT_EQ(plain->index, 4u);
    EXPECT_GT(plain->sphere.radius, 2.0f);  // the square's far corner at scale 2
    EXPECT_EQ(plain->sphere.centre, plain->position);
    EXPECT_EQ(Named("wolf")->model->handle, wolfMesh);
    EXPECT_EQ(Named("stray")->model->handle, m);
    EXPECT_FALSE(Named("still")->model->ScrollingTexture);
    const Model* flowing = Named("flowing")->model;
    EXPECT_TRUE(flowing->ScrollingTexture);
    EXPECT_EQ(flowing->ScrollX, 2.0f);
    EXPECT_EQ(flowing->ScrollY, -1.0f);
    EXPECT_EQ(Named("wolf")->SerialId, first);
    EXPECT_EQ(Named("stray")->SerialId, first + 1);
    headless::LoadLevel(dir.File("level-130.swp"), loaded);
    EXPECT_EQ(Named("wolf")->SerialId, first + 7);
}

// A start trigger with all five fog values sets the fog: level "sum" keeps
// the components by name, other levels exchange red and blue. Without
// FogHalf the fog stays white.
class FogTest : public SceneTest {
protected:
    void Check(const char* level, bool half, std::array<int, 3> rgb) {
        std::vector<Property> fog = {Property::String("Class", "CStartTrigger"), Property::Float("FogPower", 1.0f),
                                     Property::Int("R", 10), Property::Int("G", 20), Property::Int("B", 30)};
        if (half) fog.push_back(Property::Float("FogHalf", 100.0f));
        Place(Square("trigger"), "start", fog);
        Load(level);
        char line[64];
        std::snprintf(line, sizeof line, "\n  Found fog, color: %d, %d, %d", rgb[0], rgb[1], rgb[2]);
        EXPECT_EQ(Debug(line), half) << loaded.platform.debug;
        EXPECT_EQ(Debug("Found fog"), half);
        EXPECT_EQ(Debug("\n0 of 1, class 'CStartTrigger'\n  Found fog"), half);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(S().FogColor[k], rgb[k] / 255.0f, 1e-6f);
        EXPECT_EQ(S().FogColor[3], 1.0f);
        EXPECT_TRUE(S().InstanceList.empty());
    }
};

TEST_F(FogTest, SumKeepsTheComponentsByName) { Check("sum", true, {10, 20, 30}); }
TEST_F(FogTest, OtherLevelsExchangeRedAndBlue) { Check("be", true, {30, 20, 10}); }
TEST_F(FogTest, WithoutFogHalfTheFogStaysWhite) { Check("level", false, {255, 255, 255}); }

TEST_F(SceneTest, TerrainObjectsAreFlattenedGroupedAndBound) {
    AddTexture("ground", ".tga", 1.0f, 256, false, 2);
    wvwrite::PolyMesh hill;
    hill.name = "hill";
    hill.materials = {{"ground", ".tga", ""}};
    hill.AddFlatPoints({{0, 0, 5}, {10, 0, 6}, {10, 10, 7}, {0, 10, 8}}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 0);
    const BlockHandle base = wvwrite::WriteMesh(scene, hill, 2);
    const BlockHandle path = Square("path", "ground", 1, 4.0f);
    Place(base, "base", {Property::String("Class", "CTerrainObj"), Property::Int("Height", 1)}, {100, 50, 9});
    Place(path, "path", {Property::String("Class", "CTerrainObj"), Property::Int("Height", 2)}, {-500, -500, 3});
    Load();
    ASSERT_EQ(S().TerrainObjectsByHeight.size(), 2u);
    const Instance* b = S().TerrainObjectsByHeight.at(1).at(0).get();
    EXPECT_EQ(b->position, Vector3(100, 50, 0));
    for (const Vertex& v : b->model->vertices) EXPECT_EQ(v.position.z, 0.0f);
    EXPECT_FALSE(b->model->Overlay);
    EXPECT_EQ(S().TerrainMin, Vector3(100, 50, 0));  // only the base piece counts
    EXPECT_EQ(S().TerrainMax, Vector3(110, 60, 0));
    const Instance* p = S().TerrainObjectsByHeight.at(2).at(0).get();
    EXPECT_TRUE(p->model->Overlay);
    EXPECT_TRUE(p->model->Blended);
    EXPECT_TRUE(S().InstanceList.empty());
    // Terrain textures were looked up at up to 128 texels, the 128 version.
    EXPECT_EQ(b->model->materials[0].textureIndex, TheTextureDatabase().entries.size() - 2);
    EXPECT_EQ(TheTextureDatabase().MaxTextureSize, 64);
}

TEST_F(SceneTest, TestsceneRaisesOneObjectAndExcludesItsListedRecords) {
    // Blocks up to number 0x6C6, so that handles 0x800006A2 and 0x800006C6 exist.
    while (scene.file().GetBlockCount() < 0x6C7) scene.AddBlock("pad", 0, {});
    // A freed slot is reused by the next block, a mesh's main block.
    scene.file().FreeBlock(0x6A2);
    const BlockHandle excluded = Square("excluded");
    scene.file().FreeBlock(0x6C6);
    const BlockHandle raised = Square("raised");
    ASSERT_EQ(excluded, 0x800006A2u);
    ASSERT_EQ(raised, 0x800006C6u);
    Place(raised, "raised", {Property::String("Class", "CTerrainObj"), Property::Int("Height", 3)});
    Place(excluded, "excluded", {});
    const BlockHandle other = Square("other");
    while (region.Count() < 0x19C) Place(other, "filler", {Property::String("Class", "CNothing")});
    Place(other, "record19C", {});
    Load("testscene");
    EXPECT_EQ(S().TerrainObjectsByHeight.count(3), 0u);
    ASSERT_EQ(S().TerrainObjectsByHeight.count(8), 1u);  // 3 + 5
    EXPECT_TRUE(Named("excluded")->ExcludeFromHeightField);
    EXPECT_TRUE(Named("record19C")->ExcludeFromHeightField);
    EXPECT_EQ(S().HeightFieldExclusions.count(0x800006A2u), 1u);
    EXPECT_EQ(S().HeightFieldExclusions.size(), 6u);
}

TEST_F(SceneTest, SkyPlayerAndLightSetTheLevelValues) {
    AddTexture("clouds", ".tga", 1.0f, 16, true);
    const float yaw = 0.5f;
    Place(Square("sky", "clouds"), "sky", {Property::String("Class", "CSky")});
    Place(Square("start"), "player", {Property::String("Class", "Player")}, {10, 20, 30}, {0, 0, yaw});
    Place(Square("sun"), "sun", {Property::String("Class", "CLightDirectional")}, {}, {0.3f, -0.2f, 1.0f});
    Load();
    ASSERT_NE(S().SkyTexture, nullptr);
    EXPECT_TRUE(S().SkyTexture->hasAlpha);
    EXPECT_EQ(S().SkyTexture->pendingWidth, 16u);
    EXPECT_EQ(S().SkyTexture->pendingRgba.size(), 16u * 16u * 4u);
    EXPECT_NE(Named("sky"), nullptr);  // the sky is an instance too
    EXPECT_EQ(Named("player"), nullptr);
    EXPECT_EQ(Named("sun"), nullptr);
    EXPECT_EQ(TheCamera().position, Vector3(10, 20, 30));
    EXPECT_FLOAT_EQ(TheCamera().yaw, static_cast<float>(-(0.5 * kRadToDeg)));
    EXPECT_EQ(S().StartCamera.position, TheCamera().position);  // where Home returns
    EXPECT_EQ(S().StartCamera.yaw, TheCamera().yaw);
    // Rz(1.0) Ry(-0.2) Rx(0.3), counter-clockwise as drawn, applied to +z.
    const Vector3 light = S().LightDirection;
    ExpectNear(light, {0.146124f, -0.319378f, 0.936293f}, 2e-4f);
    char line[64];
    std::snprintf(line, sizeof line, "\n  direction(%.2f %.2f %.2f)", light.x, light.y, light.z);
    EXPECT_TRUE(Debug(line));
    EXPECT_TRUE(Debug("\n1 of 3, class 'Player' pos(10.0 20.0 30.0) rot(0.0 0.0 0.5) scale(1.00)"));
}

TEST_F(SceneTest, LevelItLiftsTheTerrainAndTheCamera) {
    Place(Square("ground"), "ground", {Property::String("Class", "CTerrainObj"), Property::Int("Height", 1)}, {1, 2, 3});
    Load("it");
    EXPECT_EQ(S().TerrainObjectsByHeight.at(1).at(0)->position, Vector3(1, 2, 43.9f));
    EXPECT_EQ(TheCamera().position.z, 47.0f);
}

TEST_F(SceneTest, UnloadableGeometryIsSkippedWithALine) {
    const BlockHandle notMesh = scene.AddBlock("rubble", 0, {1, 2, 3, 4});
    Place(notMesh, "rubble", {});
    Place(notMesh, "mound", {Property::String("Class", "CTerrainObj"), Property::Int("Height", 1)});
    Load();
    EXPECT_TRUE(Debug("\nskipped unloadable geometry rubble"));
    EXPECT_TRUE(Debug("\nskipped unloadable terrain rubble"));
    EXPECT_TRUE(S().InstanceList.empty());
    EXPECT_TRUE(S().TerrainObjectsByHeight.empty());
}

// A table index that names no entry counts as no table; a record count
// beyond the block visits only the whole records it holds.
TEST_F(SceneTest, TableIndicesAndRecordCountsBeyondTheirBlocksAreIgnored) {
    const BlockHandle m = Square("thing");
    region.Add({.object = m, .name = scene.Symbol("stray"), .position = {}, .rotation = {}, .table = 5000, .hasTable = 1});
    region.SetStoredCount(3);
    Load();
    ASSERT_NE(Named("stray"), nullptr);
    EXPECT_EQ(Named("stray")->valueTable, 0xFFFFFFFFu);
    EXPECT_EQ(S().InstanceList.size(), 1u);
}

TEST_F(SceneTest, LoadReportsCountersInOrderAfterConstruction) {
    Square("unplaced");
    const BlockHandle m = Square("thing");
    Place(m, "a", {});
    Place(m, "b", {});
    Load();
    const std::string& debug = loaded.platform.debug;
    const std::size_t report = debug.find("\ngVisibleVerts: ");
    ASSERT_NE(report, std::string::npos);
    EXPECT_EQ(debug.substr(report), "\ngVisibleVerts: 0\ngVisibleTris: 2\ngRawRGBTexMem: 64\ngRawRGBATexMem: 0"
                                    "\ngNeighbourTriTex: 1\ngTex256: 0\ngTexOther: 0\ngVisibleDisplayLists: 0"
                                    "\ngTotalTris: 2\n\nLevel load time: 0.0 seconds\n\n\n");
    EXPECT_EQ(S().ModelList.size(), 1u);  // the unplaced mesh is never loaded
}

TEST_F(SceneTest, MissingBlocksAreToleratedAsDesigned) {
    Place(Square("thing"), "a", {});
    Load("level", /*withValues=*/false);
    EXPECT_TRUE(Debug("\nValuetable not found"));
    EXPECT_NE(Named("a"), nullptr);
}

// A scene file that places nothing (as damage can leave one) builds
// nothing, and the user is told why there is nothing to see.
TEST_F(SceneTest, NoRegionBuildsNothingAndSaysSo) {
    Square("thing");
    Load("level", true, /*withRegion=*/false);
    EXPECT_TRUE(S().InstanceList.empty());
    EXPECT_FALSE(Debug("Valuetable"));
    ASSERT_EQ(loaded.platform.boxes.size(), 1u);
    EXPECT_EQ(loaded.platform.boxes[0].caption, "NOTE");
    EXPECT_NE(loaded.platform.boxes[0].text.find("The level has no objects"), std::string::npos);
}

class LoadSequenceTest : public LevelTest {
protected:
    void ExpectFailure(const char* line, const char* text) {
        EXPECT_NE(loaded.log.find(line), std::string::npos) << loaded.log;
        ASSERT_EQ(loaded.platform.boxes.size(), 1u);
        EXPECT_EQ(loaded.platform.boxes[0].text, text);
        EXPECT_EQ(loaded.platform.boxes[0].caption, "ERROR");
        EXPECT_EQ(loaded.platform.boxes[0].owner, platform::Owner::None);
        EXPECT_TRUE(S().InstanceList.empty());
        EXPECT_EQ(loaded.platform.debug.find("gVisibleVerts"), std::string::npos);  // no report
    }
};

// Each file missing or wrong in turn: the load stops with its box, before
// the files that come after it.
TEST_F(LoadSequenceTest, AMissingOrWrongFileStopsTheLoadBeforeTheOthers) {
    AddTexture("tex", ".tga");
    Load();
    const std::string pidPath = dir.File("level-130.pid"), swp = dir.File("level-130.swp");
    const std::vector<std::uint8_t> pid = ReadAll(pidPath);

    headless::LoadLevel(dir.File("gone-130.swp"), loaded);
    ExpectFailure("\n *** grf.Load failed ***", "Could not load GRF file");
    EXPECT_EQ(loaded.log, "\n\n    InitModels (load level)\n    ==========\n\nLoading Level 'gone'\nLoading GRF file: '" +
                              dir.File("gone.grf") + "'...\n *** grf.Load failed ***");

    std::vector<std::uint8_t> wrong = pid;
    PutU32(wrong, 0, 0x129);
    WriteAll(pidPath, wrong);
    headless::LoadLevel(swp, loaded);
    ExpectFailure("\n *** pid.Load failed ***", "Could not load PID file");
    EXPECT_EQ(loaded.log.find("Loading SWP"), std::string::npos);
    EXPECT_FALSE(TheTextureDatabase().pixelFile.IsOpen());

    WriteAll(pidPath, pid);
    std::remove(swp.c_str());
    headless::LoadLevel(swp, loaded);
    ExpectFailure("\n *** swp.Load failed ***", "Could not load SWP file");
    EXPECT_EQ(TheTextureDatabase().entries.size(), 1u);  // the database was read
}

TEST_F(LoadSequenceTest, KillModelsEmptiesTheScene) {
    AddTexture("tex", ".tga");
    Place(Square("thing"), "a", {});
    Place(Square("ground"), "g", {Property::String("Class", "CTerrainObj"), Property::Int("Height", 1)});
    Load();
    ASSERT_FALSE(S().InstanceList.empty());
    ShadowCandidates().push_back(S().InstanceList[0].get());
    std::string log;
    SetLogCapture(&log);
    KillModels();
    SetLogCapture(nullptr);
    EXPECT_EQ(log, "\n\n    KillModels\n    ==========\n\n    KillTerrain\n    ===========\n");
    EXPECT_TRUE(S().InstanceList.empty());
    EXPECT_TRUE(S().TerrainObjectsByHeight.empty());
    EXPECT_TRUE(S().ModelList.empty());
    EXPECT_TRUE(ShadowCandidates().empty());
    EXPECT_TRUE(TheMeshLoader().TextureMap.empty());
}

TEST(LevelFilesTest, NamesComeFromThePixelFile) {
    const struct { const char *path, *name, *lowerDir; } cases[] = {
        {"C:\\game\\save\\beach-130.swp", "beach", "c:\\game\\save\\"},
        {"/home/u/Levels/it.swp", "it", "/home/u/levels/"},
        {"a-b-130.swp", "a-b", "a-b-130.swp"},
        {"D:\\data/x\\BEACH-130.SWP", "BEACH", "d:\\data/x\\"},
        {"noext", "noext", "noext"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LevelNameOf(c.path), c.name) << c.path;
        EXPECT_EQ(LowerDirectoryOf(c.path), c.lowerDir) << c.path;
    }
    const LevelFiles f = LevelFilesBeside("/levels/jr-130.swp");
    EXPECT_EQ(f.GrfPath, "/levels/jr.grf");
    EXPECT_EQ(f.PidPath, "/levels/jr-130.pid");
    EXPECT_EQ(f.LevelName, "jr");
}

}  // namespace
