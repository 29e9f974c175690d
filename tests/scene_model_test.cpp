// The scene model's own operations and the three reports, on objects built
// in memory.
#include <gtest/gtest.h>

#include "diag/log.h"
#include "platform/scripted_platform.h"
#include "scene/dumps.h"
#include "scene/scene_model.h"
#include "test_util.h"
#include "writer/value_table_builder.h"

namespace {

class SceneModelTest : public ::testing::Test {
protected:
    void TearDown() override { ResetScene(); }

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

TEST_F(SceneModelTest, MovingMarksTheShadowsOnItsLightLine) {
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
}

TEST_F(SceneModelTest, DeletingAnInstanceGivesBackItsShadowSlot) {
    static ShadowTexture* released = nullptr;
    TheSceneHooks().releaseShadow = [](ShadowTexture* s) { released = s; };
    auto slot = reinterpret_cast<ShadowTexture*>(0x1234);
    {
        Instance inst;
        inst.ShadowSlot = slot;
    }
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

TEST_F(SceneModelTest, InstanceReportGoesToTheDebugOutput) {
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
}

TEST_F(SceneModelTest, ValueTableReportListsMembersLastFirst) {
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
    Instance inst;
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

}  // namespace
