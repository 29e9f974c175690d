// Baking terrain textures and the off-screen buffer on a headless context:
// the bakes are read back from their textures.
#include <array>

#include "effects/offscreen.h"
#include "effects/shadow_render.h"
#include "effects/shadows.h"
#include "gl_fixture.h"
#include "scene/level.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"

namespace {

using Rgb = std::array<int, 3>;

class BakeTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        InstallTerrainGlHooks();
        InitPBuffer();
        ASSERT_TRUE(TheOffscreen().UsePBuffer);
        writer.AddPalette({{0, 0, 0}, {250, 0, 0}, {0, 0, 250}, {0, 250, 0}});
        for (int colour = 1; colour <= 3; ++colour) {
            wvwrite::TextureSpec t;
            t.identifier = static_cast<std::uint32_t>(colour);
            t.width = t.height = 8;
            t.palette = 0;
            t.indices.assign(64, static_cast<std::uint8_t>(colour));
            writer.AddTexture(t);
        }
        UseTextures(writer);
        // A flat ground at 0 under everything.
        HeightField& f = TheTerrain().field;
        f.W = f.H = 16;
        f.samples.assign(256, 0.0f);
        f.originX = f.originY = -1024;
        node.minX = node.minY = 0;
        node.maxX = node.maxY = 16;
        ComputeNodeBounds(node);
        node.texture = TerrainTexturePool().Acquire();
        node.needsBake = true;
        TheCamera().position = {8, 8, 40};
        TheScene().LightDirection = {0.0f, 0.0f, -1.0f};
    }
    void TearDown() override {
        node.texture = nullptr;
        GlTest::TearDown();
    }

    // A flat square of the given texture (1 red, 2 blue, 3 green) at z = 0.
    Model& Square(float half, int texture) {
        auto m = std::make_unique<Model>();
        Material mat;
        mat.hasTexture = true;
        mat.texture = textures.emplace_back(std::make_unique<TextureObject>(false)).get();
        mat.textureIndex = static_cast<std::uint32_t>(texture - 1);
        m->materials.push_back(mat);
        AddQuad(*m, -half, -half, half, half, 0, 0);
        m->ComputeMaterialFlags();
        TheScene().ModelList.push_back(std::move(m));
        return *TheScene().ModelList.back();
    }
    Instance& Ground(int key, Model& m, float x, float y) {
        auto inst = std::make_unique<Instance>();
        inst->model = &m;
        inst->position = {x, y, 0};
        inst->UpdateBounds();
        auto& group = TheScene().TerrainObjectsByHeight[key];
        group.push_back(std::move(inst));
        return *group.back();
    }
    // An untextured block standing from z to z + 2, casting shadows.
    Instance& Caster(float x, float y, float z) {
        auto m = std::make_unique<Model>();
        m->materials.resize(1);
        for (float h : {0.0f, 2.0f}) AddQuad(*m, -1, -1, 1, 1, h, 0);
        TheScene().ModelList.push_back(std::move(m));
        auto inst = std::make_unique<Instance>();
        inst->model = TheScene().ModelList.back().get();
        inst->position = {x, y, z};
        inst->UpdateBounds();
        TheScene().InstanceList.push_back(std::move(inst));
        return *TheScene().InstanceList.back();
    }
    std::vector<std::uint8_t> Read() {
        std::vector<std::uint8_t> texels(128 * 128 * 4);
        glBindTexture(GL_TEXTURE_2D, node.texture->glName);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        return texels;
    }
    // The texel over world (x, y) of the node's square.
    static Rgb At(const std::vector<std::uint8_t>& texels, float x, float y) {
        const int i = static_cast<int>(x / 16.0f * 128.0f), j = static_cast<int>(y / 16.0f * 128.0f);
        const std::uint8_t* p = &texels[(static_cast<std::size_t>(j) * 128 + i) * 4];
        return {p[0], p[1], p[2]};
    }
    static void ExpectColour(const Rgb& got, const Rgb& want, const char* where) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 10) << where << " channel " << c;
    }
    void Bake() {
        const OffscreenPass pass;
        BakeTexture(node);
    }

    wvwrite::TextureSetWriter writer;
    std::vector<std::unique_ptr<TextureObject>> textures;
    TerrainNode node;
};

TEST_F(BakeTest, LayersPaintInKeyOrderAndSmallOverlaysAreLeftOut) {
    Ground(1, Square(12, 1), 8, 8);   // red over all of the quad and well past it
    Ground(2, Square(2, 2), 4, 4);    // blue over (2..6, 2..6)
    Ground(1, Square(0.2f, 3), 12, 4);  // key 1: drawn however small
    Ground(2, Square(0.2f, 3), 12, 12); // key 2, under 2 texels: left out
    Bake();
    EXPECT_FALSE(node.needsBake);
    const auto texels = Read();
    ExpectColour(At(texels, 10, 10), {250, 0, 0}, "red base");
    ExpectColour(At(texels, 4, 4), {0, 0, 250}, "blue over it");
    ExpectColour(At(texels, 12, 4), {0, 250, 0}, "small key 1");
    ExpectColour(At(texels, 12, 12), {250, 0, 0}, "small key 2 left out");
    // The edge texels reach half a texel past the square, into what lies beyond.
    ExpectColour(At(texels, 15.99f, 0.01f), {250, 0, 0}, "corner");
}

TEST_F(BakeTest, ShadowsKeep40PercentUnderNearCastersOnly) {
    Ground(1, Square(8, 1), 8, 8);
    Caster(4, 4, 3);                 // near the camera: casts
    Caster(12, 12, 3).Shadow = false;  // casts nothing
    TheTerrain().bakeShadows = true;
    Bake();
    auto texels = Read();
    ExpectColour(At(texels, 4, 4), {100, 0, 0}, "under the caster");
    ExpectColour(At(texels, 12, 12), {250, 0, 0}, "under a non-caster");
    ExpectColour(At(texels, 8, 12), {250, 0, 0}, "open ground");

    // The same caster seen from 300 away casts nothing.
    TheCamera().position = {8, 8, 300};
    node.needsBake = true;
    Bake();
    texels = Read();
    ExpectColour(At(texels, 4, 4), {250, 0, 0}, "a caster beyond 250");

    // A light along the horizon would shear to infinity: no shadows then.
    float shear[16];
    EXPECT_FALSE(ShadowMatrix(1, 0, 0, shear));
    EXPECT_EQ(shear[8], 0.0f);
    EXPECT_TRUE(ShadowMatrix(0.5f, -0.25f, -1, shear));
    EXPECT_EQ(shear[8], 0.5f);
    EXPECT_EQ(shear[9], -0.25f);
}

// The shadow pass starts from no shadow anywhere in the picture, whatever
// drawing state it is handed (lit with a material's alpha of 1, alpha
// tested, textured in replace mode): only casters darken the ground.
TEST_F(BakeTest, TheShadowPassStartsUnshadowedWhateverStateItFinds) {
    const GroundRect rect{0, 16, 0, 16};
    const auto lay = [&](bool hostile) {
        const OffscreenPass pass;
        DrawInto(*node.texture);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(rect.left, rect.right, rect.bottom, rect.top, -500, 2500);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        if (hostile) {
            glEnable(GL_LIGHTING);
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GREATER, 0.5f);
            glBindTexture(GL_TEXTURE_2D, node.texture->glName);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            glEnable(GL_TEXTURE_2D);
        }
        LayShadows(rect, Cylinder({8, 8, 0}, {0, 0, -1}, 12), [](const Instance&) { return true; },
                   [](float, float) { return 0.0f; });
        glPopAttrib();
        CopyToTexture(*node.texture);
    };
    lay(false);
    const auto plain = Read();
    ExpectColour(At(plain, 8, 8), {204, 204, 204}, "no casters");
    lay(true);
    EXPECT_EQ(Read(), plain);
}

TEST_F(BakeTest, BakesPastNineAFrameShowBlackAndWaitForALaterFrame) {
    Ground(1, Square(8, 1), 8, 8);
    TheTerrain().bakesThisFrame = 9;
    Bake();
    EXPECT_TRUE(node.needsBake);
    ExpectColour(At(Read(), 8, 8), {0, 0, 0}, "the tenth bake");
    TheTerrain().bakesThisFrame = 0;
    Bake();
    EXPECT_FALSE(node.needsBake);
    ExpectColour(At(Read(), 8, 8), {250, 0, 0}, "baked a frame later");
}


// A receiver's picture holds alpha where a caster lies between it and the
// light, and the receiver is drawn dimmer there.
TEST_F(BakeTest, AReceiversPictureShowsTheCasterAboveIt) {
    TheScene().LightDirection = Vector3(0.1f, 0.05f, -1.0f).Normalised();
    // A 4 x 4 plate on the ground, and a 2 x 2 block hovering over its
    // middle, both within 50 of the camera and big enough to want shadows.
    auto plate = std::make_unique<Model>();
    plate->materials.resize(1);
    AddQuad(*plate, -2, -2, 2, 2, 0, 0);
    TheScene().ModelList.push_back(std::move(plate));
    auto receiver = std::make_unique<Instance>();
    receiver->model = TheScene().ModelList.back().get();
    receiver->position = {8, 8, 0.1f};
    receiver->UpdateBounds();
    TheScene().InstanceList.push_back(std::move(receiver));
    Instance& x = *TheScene().InstanceList.back();
    Caster(8, 8, 4);
    TheCamera().position = {8, 0, 10};
    TheToggles().ObjectShadows = true;
    TheShadows().ShadowsPossible = true;
    UpdateShadows();
    ASSERT_NE(x.ShadowSlot, nullptr);
    EXPECT_FALSE(x.ShadowDirty);
    std::vector<std::uint8_t> alpha(128 * 128);
    glBindTexture(GL_TEXTURE_2D, x.ShadowSlot->glName);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    EXPECT_EQ(alpha[64 * 128 + 64], 255);  // the caster, straight up the light from the middle
    EXPECT_EQ(alpha[2 * 128 + 2], 0);      // open sky past the plate's corner
    EXPECT_EQ(alpha[64 * 128 + 4], 0);     // the plate's own edge: it shades nothing of itself
    // Past its edges the picture is its clear border, not its last texels
    // smeared over the rest of the receiver.
    GLint wrap[2] = {0, 0};
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrap[0]);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrap[1]);
    EXPECT_EQ(wrap[0], GL_CLAMP);
    EXPECT_EQ(wrap[1], GL_CLAMP);
    // Nothing changes, nothing is rendered again.
    const ShadowTexture* slot = x.ShadowSlot;
    UpdateShadows();
    EXPECT_EQ(x.ShadowSlot, slot);
    EXPECT_FALSE(x.ShadowDirty);
    // Moving the caster marks the receiver under its light line dirty.
    TheScene().InstanceList.back()->SetPosition(8.5f, 8, 4);
    EXPECT_TRUE(x.ShadowDirty);
}

}  // namespace
