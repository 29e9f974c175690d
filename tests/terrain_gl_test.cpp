// The terrain in GL on a headless context: drawn through the scene pass,
// picked through (the ground selects nothing), updated by the frame and
// by key T.
#include <cmath>
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

// A picture baked ahead for a quad's child stays unseen while the quad's
// own picture covers it, and is the child's at the split, which then
// bakes it no more.
TEST_F(TerrainGlTest, PicturesBakedAheadWaitUnseenUntilTheSplit) {
    InstallTerrainGlHooks();
    InitPBuffer();
    const Instance* house = Named("house");
    ASSERT_NE(house, nullptr);
    const Vector3 below = house->position + Vector3(40, 40, 0);
    TheCamera() = Camera{below + Vector3(0, 0, 60), 0, 89.9f};
    UpdateFrusta(TheFrusta(), TheCamera(), 1.0f);
    for (int frame = 0; frame < 20; ++frame) UpdateTerrainFrame();
    // The texture leaf under the camera, and its children.
    TerrainNode* leaf = TheTerrain().root.get();
    while (!leaf->textureLeaf) {
        TerrainNode* next = nullptr;
        for (auto& c : leaf->children)
            if (c && below.x >= c->minX && below.x <= c->maxX && below.y >= c->minY && below.y <= c->maxY) next = c.get();
        ASSERT_NE(next, nullptr);
        leaf = next;
    }
    ASSERT_FALSE(leaf->isLeaf) << "the ground under it is finer than its picture";
    ASSERT_NE(leaf->texture, nullptr);
    auto drawOnly = [&] {
        Clear(1, 0, 0);
        SetProjection();
        SetupCamera();
        glEnable(GL_DEPTH_TEST);
        DrawScenePass();
        return Pixels();
    };
    const auto before = drawOnly();
    ASSERT_EQ(drawOnly(), before) << "the view draws the same twice";

    // Magenta pictures, as if baked ahead for the four children.
    std::vector<std::uint8_t> magenta(128 * 128 * 3);
    for (std::size_t k = 0; k < magenta.size(); k += 3) magenta[k] = magenta[k + 2] = 255;
    std::vector<TerrainTexture*> ahead;
    for (auto& c : leaf->children) {
        c->texture = TerrainTexturePool().Acquire();
        c->needsBake = false;
        glBindTexture(GL_TEXTURE_2D, c->texture->glName);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 128, 128, GL_RGB, GL_UNSIGNED_BYTE, magenta.data());
        ahead.push_back(c->texture);
    }
    EXPECT_EQ(drawOnly(), before) << "pictures made ahead are not drawn before the split";

    // Over the quad's middle, near enough for it to split (within 2^(11 -
    // depth) of its picture) but not its children.
    const float height = 0.9f * std::ldexp(1.0f, 11 - leaf->depth) + leaf->halfDiagonal;
    TheCamera().position = {leaf->centre[0], leaf->centre[1],
                            TerrainHeightAt(leaf->centre[0], leaf->centre[1]) + height};
    UpdateFrusta(TheFrusta(), TheCamera(), 1.0f);
    UpdateTerrainFrame();
    ASSERT_FALSE(leaf->textureLeaf);
    int kept = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const TerrainNode& c = *leaf->children[k];
        if (c.texture != ahead[k]) continue;  // out of range
        ++kept;
        EXPECT_FALSE(c.needsBake);
    }
    EXPECT_GE(kept, 1);
    const auto after = drawOnly();
    int magentaPixels = 0;
    for (std::size_t n = 0; n < after.size(); n += 4)
        magentaPixels += after[n] > 2 * after[n + 1] + 20 && after[n + 2] > 2 * after[n + 1] + 20;
    EXPECT_GT(magentaPixels, 0) << "the children draw the pictures made ahead";
}

}  // namespace
