// The terrain in GL on a headless context: drawn through the scene pass,
// picked through (the ground selects nothing), updated by the frame and
// by key T.
#include "app/input.h"
#include "app/picking.h"
#include "app/scene_pass.h"
#include "diag/state_registry.h"
#include "gl_fixture.h"
#include "headless/headless_level.h"
#include "terrain/terrain.h"
#include "terrain/terrain_draw.h"
#include "test_util.h"
#include "writer/demo_level.h"

namespace {

class TerrainGlTest : public GlTest {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        ASSERT_TRUE(wvwrite::WriteDemoLevel(dir->path(), nullptr));
    }
    static void TearDownTestSuite() { delete dir; }
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        loaded.console = quiet;
        headless::LoadLevel(dir->File("demo-130.swp"), loaded);  // resets everything: set GL up again
        platform::Install(&pf);
        InstallSceneGlHooks();
        ResizeView(kWidth, kHeight);
        CreateFrusta();
        TheToggles().FogEnabled = false;
    }
    void TearDown() override {
        GlTest::TearDown();
        std::fclose(quiet);
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

    static TempDir* dir;
    headless::LoadedLevel loaded;
    std::FILE* quiet = std::fopen("/dev/null", "w");
};
TempDir* TerrainGlTest::dir = nullptr;

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

    std::uint32_t names[2] = {0, 0};
    ASSERT_TRUE(PickObject(kWidth / 2, kHeight / 2, 2, names));
    EXPECT_EQ(names[0], house->SerialId);
    EXPECT_FALSE(PickObject(2, 2, 2, names));  // ground only at the corner: nothing named
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

}  // namespace
