// The terrain in GL on a headless context: drawn through the scene pass,
// picked through (the ground selects nothing), updated by the frame and
// by key T.
#include <functional>

#include "app/input.h"
#include "render/picking.h"
#include "render/scene_pass.h"
#include "diag/state_registry.h"
#include "effects/offscreen.h"
#include "demo_fixture.h"
#include "app/main_loop.h"
#include "gl_fixture.h"
#include "headless/headless_level.h"
#include "scene/level.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"
#include "terrain/terrain_draw.h"
#include "test_util.h"
#include "writer/demo_level.h"

namespace {

class TerrainGlTest : public DemoSuite<GlTest> {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        LoadQuietly();
        SetUpDrawing();
    }
    // The scene as the frame draws it, from the camera.
    void Draw() {
        UpdateTerrainFrame();
        Clear(1, 0, 0);
        SetProjection();
        SetupCamera();
        glEnable(GL_DEPTH_TEST);
        DrawScenePass();
    }
    const Instance* Named(const char* stem) {
        for (const auto& inst : TheScene().InstanceList)
            if (inst->name && std::string(inst->name).rfind(stem, 0) == 0) return inst.get();
        return nullptr;
    }
};

// Looking straight down at a house: the house is picked, the ground beside
// it picks nothing, and the ground covers the view (no red clear colour).
TEST_F(TerrainGlTest, TheGroundCoversTheViewAndPicksNothing) {
    const Instance* house = Named("house");
    ASSERT_NE(house, nullptr);
    TheCamera() = Camera{house->position + Vector3(0, 0, 30), 0, 89.9f};
    Draw();
    int red = 0;
    const auto pixels = Pixels();
    for (std::size_t n = 0; n < pixels.size(); n += 4) red += pixels[n] == 255 && pixels[n + 1] == 0 && pixels[n + 2] == 0;
    EXPECT_EQ(red, 0);

    const std::optional<PickHit> hit = PickObject(kWidth / 2, kHeight / 2);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->serial, house->SerialId);
    EXPECT_FALSE(PickObject(2, 2));  // ground only at the corner: nothing named
}

TEST_F(TerrainGlTest, TheOutlineTracesTheFansInCyan) {
    TheCamera() = Camera{{0, -60, 40}, 0, 30};
    Draw();
    auto cyan = [&] {
        int n = 0;
        const auto pixels = Pixels();
        for (std::size_t k = 0; k < pixels.size(); k += 4) n += pixels[k] == 0 && pixels[k + 1] == 255 && pixels[k + 2] == 255;
        return n;
    };
    EXPECT_EQ(cyan(), 0);
    TheToggles().DrawOutline = true;
    Draw();
    EXPECT_GT(cyan(), 50);
    GLint mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);  // put back after the outline
}

// The frame refines the tree unless frozen; key T re-centres on the camera.
TEST_F(TerrainGlTest, FreezeUpdateHoldsTheTreeAndKeyTRecentres) {
    TerrainState& t = TheTerrain();
    ASSERT_TRUE(t.root->isLeaf);  // nothing refined before the first frame
    TheToggles().FreezeUpdate = true;
    UpdateTerrainFrame();
    EXPECT_TRUE(t.root->isLeaf);
    TheToggles().FreezeUpdate = false;
    UpdateTerrainFrame();
    EXPECT_FALSE(t.root->isLeaf);
    TheRenderState().PickingActive = true;  // never inside a picking pass
    TheCamera().position = {0, 0, 500};
    const TerrainNode* child = t.root->children[2].get();
    UpdateTerrainFrame();
    EXPECT_EQ(t.root->children[2].get(), child);
    TheRenderState().PickingActive = false;

    TheCamera().position = {300.6f, -200.2f, 10};
    platform::Message key;
    key.kind = platform::MessageKind::KeyDown;
    key.key = 'T';
    WindowProc(key);
    EXPECT_EQ(t.field.originX, 300.0f - 1024.0f);
    EXPECT_EQ(t.field.originY, -200.0f - 1024.0f);
}

std::size_t Textured(const TerrainNode& n, bool pendingOnly) {
    std::size_t count = n.texture && (!pendingOnly || n.needsBake) ? 1 : 0;
    for (const auto& c : n.children)
        if (c) count += Textured(*c, pendingOnly);
    return count;
}

// Nine real bakes a frame: toggling the terrain shadows re-bakes every held
// texture over the frames that takes; a moved house re-bakes the ground
// under it only.
TEST_F(TerrainGlTest, RebakesFollowTheShadowToggleAndMovedObjects) {
    InstallTerrainGlHooks();
    InitPBuffer();
    TheCamera() = Camera{{-60, -60, 25}, 45, 15};
    UpdateFrusta(TheFrusta(), TheCamera(), 1.0f);
    TerrainNode& root = *TheTerrain().root;
    int frames = 0;
    do {
        UpdateTerrainFrame();
        ++frames;
    } while (Textured(root, true) > 0 && frames < 100);
    const std::size_t held = Textured(root, false);
    ASSERT_GT(held, 18u);
    EXPECT_EQ(Textured(root, true), 0u);
    UpdateTerrainFrame();
    EXPECT_EQ(Textured(root, true), 0u);  // a still camera bakes nothing more

    TheToggles().TerrainShadows = false;
    for (std::size_t left = held; left > 0; left -= std::min<std::size_t>(left, 9)) {
        EXPECT_EQ(Textured(root, true), left == held ? 0u : left);
        UpdateTerrainFrame();
        EXPECT_EQ(Textured(root, true), left > 9 ? left - 9 : 0u);
    }

    Instance* house = nullptr;
    for (const auto& inst : TheScene().InstanceList)
        if (std::string(inst->name).rfind("house", 0) == 0) house = inst.get();
    ASSERT_NE(house, nullptr);
    house->SetPosition(house->position.x + 3, house->position.y, house->position.z);
    const float r = 1.5f * house->sphere.radius + 2.0f;
    std::function<void(const TerrainNode&)> check = [&](const TerrainNode& n) {
        if (n.texture && n.needsBake) {
            EXPECT_LE(n.minX, house->position.x + r);
            EXPECT_GE(n.maxX, house->position.x - r);
            EXPECT_LE(n.minY, house->position.y + r);
            EXPECT_GE(n.maxY, house->position.y - r);
        }
        for (const auto& c : n.children)
            if (c) check(*c);
    };
    EXPECT_GE(Textured(root, true), 1u);
    check(root);
}

}  // namespace
