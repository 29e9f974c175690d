// Picking through GL selection mode on a headless context.
#include "render/picking.h"
#include "app/commands.h"
#include "edit/edits.h"
#include "gl_fixture.h"
#include "render/scene_pass.h"
#include "scene/level.h"
#include "scene/scene_draw.h"
#include "scene/view.h"

namespace {

class PickingTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        // A 2 x 2 square standing upright, facing the camera at -y.
        square.materials.resize(1);
        square.vertices = {{{0, -1, 0}, 0, 0, {-1, 0, -1}}, {{0, -1, 0}, 1, 0, {1, 0, -1}},
                           {{0, -1, 0}, 1, 1, {1, 0, 1}}, {{0, -1, 0}, 0, 1, {-1, 0, 1}}};
        square.faces = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}};
        CreateFrusta(TheFrusta());
        TheCamera().position = {0, 0, 0};
        TheToggles().FogEnabled = false;
    }
    void TearDown() override {
        TheFrusta() = ViewFrusta{};
        GlTest::TearDown();
    }
    Instance* Place(float y, float x = 0) { return AddInstance(square, {x, y, 0}); }
    // A click there, as the dispatcher runs it.
    static void ClickAt(int x, int y) { RunCommand({.kind = Command::Kind::Pick, .x = x, .y = y}); }
    Model square;
};

TEST_F(PickingTest, TheNearestObjectUnderThePointOrTheLaterOfEquallyNearOnesIsPicked) {
    Place(20);
    Instance* near = Place(10);
    std::optional<PickHit> hit = PickObject(kWidth / 2, kHeight / 2);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->serial, near->SerialId);
    EXPECT_LT(hit->triangle, 2u);  // one of its two triangles
    EXPECT_EQ(TheEdits().selected, nullptr);  // a query: it selects nothing
    ClickAt(kWidth / 2, kHeight / 2);
    EXPECT_EQ(TheEdits().selected, near);
    EXPECT_NE(pf.debug.find("\nSelect: " + std::to_string(near->SerialId) + " "), std::string::npos);
    EXPECT_NE(pf.debug.find("\n\nInstance: "), std::string::npos);
    Instance* later = Place(10);
    hit = PickObject(kWidth / 2, kHeight / 2);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->serial, later->SerialId);
    // Window rows count from the top: one raised above the middle is found there.
    Instance* high = AddInstance(square, {0, 10, 3});
    hit = PickObject(kWidth / 2, 15);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->serial, high->SerialId);
}

TEST_F(PickingTest, EmptySpaceOrAnOverflowingBufferClearsTheSelection) {
    Instance* inst = Place(10, 6);  // off to the right
    TheEdits().selected = inst;
    ClickAt(2, 2);  // the top left corner: nothing there
    EXPECT_EQ(TheEdits().selected, nullptr);
    EXPECT_EQ(pf.debug.find("Select:"), std::string::npos);
    EXPECT_FALSE(PickObject(2, 2));

    for (int i = 0; i < 150; ++i) Place(10 + 0.01f * static_cast<float>(i));  // 150 records of 5 words
    EXPECT_FALSE(PickObject(kWidth / 2, kHeight / 2));
    EXPECT_FALSE(TheRenderState().PickingActive);
    GLint mode = 0;
    glGetIntegerv(GL_RENDER_MODE, &mode);
    EXPECT_EQ(mode, GL_RENDER);
}

TEST_F(PickingTest, ATerrainObjectIsFoundInItsGroup) {
    Place(10);
    auto ground = std::make_unique<Instance>();
    ground->model = &square;
    Instance* g = ground.get();
    TheScene().TerrainObjectsByHeight[2].push_back(std::move(ground));
    EXPECT_EQ(SelectSerial(g->SerialId), g);
    EXPECT_EQ(TheEdits().selected, g);
    EXPECT_NE(pf.debug.find("\n\nInstance: "), std::string::npos);
    EXPECT_EQ(SelectSerial(999999), nullptr);
}

}  // namespace
