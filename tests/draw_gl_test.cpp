// Model drawing and the scene pass on a headless GL context, checked by
// reading pixels back.
#include <array>
#include <cmath>
#include <cstdint>
#include <random>

#include "diag/stat_counter.h"
#include "gl_fixture.h"
#include "render/scene_pass.h"
#include "scene/level.h"
#include "scene/scene_draw.h"
#include "files/texture_image.h"
#include "scene/view.h"

namespace {

using wvwrite::Rgb;
using wvwrite::TextureSpec;

// A square texture of one palette's indices, rows top first.
TextureSpec SquareTexture(std::uint32_t id, std::uint32_t size, std::vector<std::uint8_t> indices) {
    TextureSpec t;
    t.identifier = id;
    t.width = t.height = size;
    t.palette = 0;
    t.indices = std::move(indices);
    return t;
}

class DrawTest : public GlTest {
protected:
    // A 4 x 4 texture: left half red, right half blue; transparent: the
    // right half is see-through instead.
    int Texture(bool transparent) {
        if (writer.Palettes().empty()) writer.AddPalette({{0, 0, 0}, {255, 0, 0}, {0, 0, 255}});
        std::vector<std::uint8_t> indices;
        for (int k = 0; k < 16; ++k) indices.push_back(k % 4 < 2 ? 1 : (transparent ? 0 : 2));
        TextureSpec t = SquareTexture(static_cast<std::uint32_t>(writer.Entries().size() + 1), 4, indices);
        t.transparent = transparent;
        return writer.AddTexture(t);
    }
    Material TexturedMaterial(int entry, bool alpha) {
        Material m;
        m.hasTexture = true;
        m.texture = objects.emplace_back(std::make_unique<TextureObject>(alpha)).get();
        m.textureIndex = static_cast<std::uint32_t>(entry);
        return m;
    }
    // The scene's sky: an 8 x 8 texture of one colour.
    void Sky(Rgb colour) {
        writer.AddPalette({{0, 0, 0}, colour});
        writer.AddTexture(SquareTexture(1, 8, std::vector<std::uint8_t>(64, 1)));
        UseTextures(writer);
        auto sky = std::make_unique<TextureObject>(false);
        DecodedImage image = ReadTextureImage(TheTextureDatabase(), 0, false);
        sky->pendingWidth = image.width;
        sky->pendingHeight = image.height;
        sky->pendingRgba = image.rgba;
        TheScene().SkyTexture = std::move(sky);
    }
    wvwrite::TextureSetWriter writer;
    std::vector<std::unique_ptr<TextureObject>> objects;
};

// The display list draws what the immediate draw draws; a face with a corner
// past the vertex list (a damaged mesh) is counted but never drawn, picked or
// shadowed, whichever way the model is drawn.
TEST_F(DrawTest, EveryDrawPathDrawsTheSameAndSkipsFacesOutsideTheVertices) {
    const int entry = Texture(false);
    UseTextures(writer);
    Model m, damaged;
    for (Model* model : {&m, &damaged}) {
        model->name = "crate";
        model->materials.push_back(TexturedMaterial(entry, false));
        AddQuad(*model, 0.1f, 0.1f, 0.9f, 0.9f, 0, 0);
    }
    Face bad{{0, 2, 0x7FFFFFF0u}, 0};
    bad.inRange = false;
    damaged.faces.insert(damaged.faces.begin() + 1, bad);
    m.ComputeMaterialFlags();
    damaged.ComputeMaterialFlags();
    Flat();

    Clear();
    DrawModel(m, nullptr, false);
    const auto immediate = Pixels();
    EXPECT_EQ(Pixel(20, 32), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(44, 32), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));

    Clear();
    gVisibleDisplayLists.value = gVisibleTris.value = 0;
    DrawModelCached(m);  // compiles and calls the list
    EXPECT_EQ(Pixels(), immediate);
    EXPECT_NE(pf.debug.find("\nGenerating display list for 'crate'"), std::string::npos);
    Clear();
    DrawModelCached(m);  // through the list
    EXPECT_EQ(Pixels(), immediate);
    EXPECT_EQ(gVisibleDisplayLists.value, 2);
    EXPECT_EQ(gVisibleVerts.value, 4);
    EXPECT_EQ(gVisibleTris.value, 2 + 2);  // counted one by one while compiling, then per call

    for (auto draw : {+[](Model& x) { DrawModel(x, nullptr, false); }, +[](Model& x) { DrawModelCached(x); },
                      +[](Model& x) { DrawModelAdditive(x); }}) {
        Clear();
        draw(m);
        const auto expected = Pixels();
        Clear();
        draw(damaged);
        EXPECT_EQ(Pixels(), expected);
    }
    TheRenderState().PickingActive = true;
    gVisibleTris.value = 0;
    DrawModel(damaged, nullptr, false);
    TheRenderState().PickingActive = false;
    EXPECT_EQ(gVisibleTris.value, 3);  // counted all the same
}

TEST_F(DrawTest, AlphaTestBlendingAndOverlays) {
    const int entry = Texture(true);
    UseTextures(writer);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    Flat();
    struct Case { bool blended, overlay, writesDepthWhereOpaque; };
    for (const Case c : {Case{false, false, true}, Case{true, false, true}, Case{true, true, false}}) {
        Model m;
        m.materials.push_back(TexturedMaterial(entry, true));
        m.Blended = c.blended;
        m.Overlay = c.overlay;
        AddQuad(m, 0, 0, 1, 1, 0, 0);
        m.ComputeMaterialFlags();
        Clear(0, 1, 0);
        DrawModel(m, nullptr, false);
        // The see-through half shows the green clear colour, never black.
        EXPECT_EQ(Pixel(48, 32), (std::array<std::uint8_t, 4>{0, 255, 0, 255}));
        EXPECT_EQ(Pixel(16, 32)[0], 255);
        GLfloat depth = 0;
        glReadPixels(16, 32, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        EXPECT_EQ(depth < 1.0f, c.writesDepthWhereOpaque) << c.blended << c.overlay;
        glReadPixels(48, 32, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        if (!c.blended) {
            EXPECT_EQ(depth, 1.0f);  // alpha-tested away: no depth either
        }
        GLboolean mask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
        EXPECT_TRUE(mask);  // put back after the overlay
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    }
}

TEST_F(DrawTest, ClampOrRepeatFollowsTheMaterial) {
    const int entry = Texture(false);
    UseTextures(writer);
    for (bool clamp : {true, false}) {
        Material m = TexturedMaterial(entry, false);
        m.clamp = clamp;
        BindMaterialTexture(m);
        GLint s = 0, t = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &s);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &t);
        EXPECT_EQ(s, clamp ? GL_CLAMP : GL_REPEAT);
        EXPECT_EQ(t, clamp ? GL_CLAMP : GL_REPEAT);
    }
}

TEST_F(DrawTest, TexturesTakeTheMipmapPathTheirShapeAllows) {
    const std::pair<std::int32_t, bool> powers[] = {{64, true}, {-32, true}, {48, false}, {0, false}, {INT32_MIN, false}};
    for (const auto& [v, power] : powers) EXPECT_EQ(IsPowerOfTwo(v), power) << v;
    TheRenderState().caps.HasAutoMipmaps = true;
    const std::vector<std::uint8_t> pixels(64 * 32 * 4, 200);
    // GL_RGB5 on the automatic path; RGBA from gluBuild2DMipmaps.
    struct Case { std::uint32_t w, h; bool alpha; GLint internal; };
    for (const Case c : {Case{64, 32, false, GL_RGB5}, Case{48, 32, false, 4}, Case{64, 32, true, 4}}) {
        TextureObject t(c.alpha);
        CreateGLTexture(t, c.w, c.h, pixels.data());
        ASSERT_NE(t.glName, 0u);
        GLint internal = 0, width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        if (c.internal == GL_RGB5) {
            EXPECT_EQ(internal, GL_RGB5);
            EXPECT_EQ(width, 64);
        } else {
            EXPECT_NE(internal, GL_RGB5);  // gluBuild2DMipmaps: RGBA, scaled to a power of two
            EXPECT_TRUE(IsPowerOfTwo(width));
        }
    }
}

TEST_F(DrawTest, AlwaysFaceTurnsTowardsTheCamera) {
    Instance inst;
    inst.AlwaysFace = true;
    inst.position = {10, 10, 0};
    inst.rotation = {0.5f, 0.5f, 0.5f};  // ignored
    struct Case { Vector3 camera; float degrees; };
    for (const Case c : {Case{{10, 50, 0}, 0}, Case{{50, 10, 0}, -90}, Case{{-30, 10, 0}, 90}, Case{{10, -5, 0}, 180}}) {
        TheCamera().position = c.camera;
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        ApplyTransform(inst);
        GLfloat m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        const float angle = static_cast<float>(std::atan2(m[1], m[0]) * 57.29577951308232);
        EXPECT_NEAR(std::remainder(angle - c.degrees, 360.0f), 0.0f, 1e-3f) << c.camera.x << " " << c.camera.y;
        EXPECT_NEAR(m[10], 1.0f, 1e-6f);  // no tilt
        EXPECT_FLOAT_EQ(m[12], 10.0f);
    }
}

TEST_F(DrawTest, InstancesAreCulledByDistanceAndSize) {
    const struct { float distance, radius; bool skipped; } cases[] = {
        {100, 1.5f, true}, {60, 1.5f, false}, {8, 0.05f, true},  {4, 0.05f, false},
        {600, 40, true},   {600, 43, false},  {300, 11, true},   {300, 13, false}};
    for (const auto& c : cases)
        EXPECT_EQ(TooSmallToDraw(c.distance, c.radius), c.skipped) << c.distance << " " << c.radius;

    // Through the pass: two equal small objects ahead, at 60 and at 100.
    Model m;
    m.materials.resize(1);
    AddQuad(m, -1.06f, -1.06f, 1.06f, 1.06f, 0, 0);  // radius 1.5
    for (float d : {60.0f, 100.0f}) AddInstance(m, {0, d, 0});
    CreateFrusta(TheFrusta());
    Camera& camera = TheCamera();
    camera.position = {0, 0, 0};
    UpdateFrusta(TheFrusta(), camera, 1.0f);
    gVisibleTris.value = 0;
    DrawInstances();
    EXPECT_EQ(gVisibleTris.value, 2);  // only the near one
    TheFrusta() = ViewFrusta{};
}

TEST_F(DrawTest, TheSkyCoversTheViewWithItsTextureIfItHasOne) {
    Flat();
    Clear(0.2f, 0.4f, 0.6f);
    const auto before = Pixels();
    DrawSky();
    EXPECT_EQ(Pixels(), before);

    Sky({40, 90, 200});
    ResizeView(kWidth, kHeight);
    SetProjection();
    TheCamera().pitch = -30;  // look up into the dome
    SetupCamera();
    Clear();
    DrawSky();
    const auto p = Pixel(32, 32);
    EXPECT_NEAR(p[0], 40, 2);
    EXPECT_NEAR(p[1], 90, 2);
    EXPECT_NEAR(p[2], 200, 2);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_POINT_SMOOTH));
}

// The sky is fogged exponentially at 0.0035, the objects at 0.0022 squared:
// white against black fog, the zenith 40 units up keeps exp(-0.14) of its
// colour, a wall 200 ahead exp(-0.44^2).
TEST_F(DrawTest, FogThinsTheSkyAndTheObjectsAtTheirOwnRates) {
    Sky({255, 255, 255});
    for (float& c : TheScene().FogColor) c = 0.0f;
    TheScene().FogColor[3] = 1.0f;

    Model wall;
    wall.materials.resize(1);
    for (float& c : wall.materials[0].colour) c = 1.0f;
    for (const Vector3& p : {Vector3(-10, 0, -10), Vector3(10, 0, -10), Vector3(10, 0, 10), Vector3(-10, 0, 10)})
        wall.vertices.push_back({{0, -1, 0}, 0, 0, p});
    wall.faces = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}};
    AddInstance(wall, {0, 200, 0});
    CreateFrusta(TheFrusta());
    TheCamera() = Camera{{0, 0, 0}, 0, 0};

    auto frame = [&](float pitch) {
        TheCamera().pitch = pitch;
        Clear();
        SetProjection();
        SetupCamera();
        DrawScenePass();
        return Pixel(kWidth / 2, kHeight / 2);
    };
    const auto wallPixel = frame(0);
    EXPECT_NEAR(wallPixel[0], 255 * std::exp(-0.44 * 0.44), 3);
    const auto zenith = frame(-89.9f);
    EXPECT_NEAR(zenith[0], 255 * std::exp(-0.0035 * 40), 4);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
    TheToggles().FogEnabled = false;
    EXPECT_EQ(frame(0)[0], 255);
    TheScene().InstanceList.clear();
}

// The shadowed draw: where the receiver's shadow picture holds alpha, the
// model is drawn again under the dim second light, blended by that alpha.
// Lit from (0, -0.6, -0.8), picture column s sees model x = (0.5 - s) x 2√3:
// a shadow over s < 52/128 covers the model beyond x = 0.32.
TEST_F(DrawTest, ShadowedDrawDimsWhatItsShadowPictureCovers) {
    std::vector<std::uint8_t> alpha(128 * 128, 0);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 52; ++x) alpha[y * 128 + x] = 255;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Clamped, as shadow pictures are made.
    for (const auto& [k, v] : {std::pair{GL_TEXTURE_MIN_FILTER, GL_NEAREST}, {GL_TEXTURE_MAG_FILTER, GL_NEAREST},
                               {GL_TEXTURE_WRAP_S, GL_CLAMP}, {GL_TEXTURE_WRAP_T, GL_CLAMP}})
        glTexParameteri(GL_TEXTURE_2D, k, v);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, 128, 128, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    ShadowTexture picture;
    picture.glName = name;

    Model m;
    m.materials.resize(1);
    for (float& c : m.materials[0].colour) c = 1.0f;
    AddQuad(m, -0.5f, -0.5f, 0.5f, 0.5f, 0, 0);
    Instance inst;
    inst.model = &m;
    inst.position = {0.5f, 0.5f, 0};
    inst.ShadowSlot = &picture;
    TheScene().LightDirection = {0, -0.6f, -0.8f};
    const GLfloat ambient[] = {0.3f, 0.3f, 0.3f, 1}, bright[] = {0.9f, 0.9f, 0.9f, 1}, dim[] = {0.2f, 0.2f, 0.2f, 1};
    const GLfloat none[] = {0, 0, 0, 0}, towardsLight[] = {0, 0.6f, 0.8f, 0};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
    Flat();
    for (const auto& [light, diffuse] : {std::pair{GL_LIGHT1, bright}, std::pair{GL_LIGHT2, dim}}) {
        glLightfv(light, GL_AMBIENT, ambient);
        glLightfv(light, GL_DIFFUSE, diffuse);
        glLightfv(light, GL_POSITION, towardsLight);
    }
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    Clear();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    DrawInstance(inst);  // a slot and lighting on: the shadowed draw
    // Pixel x shows model x = x / 64 - 0.5.
    const auto lit = Pixel(16, kHeight / 2), litNearEdge = Pixel(48, kHeight / 2), shaded = Pixel(61, kHeight / 2);
    EXPECT_NEAR(lit[0], 255, 2);  // 0.3 + 0.9 x 0.8, clamped
    EXPECT_NEAR(litNearEdge[0], 255, 2);
    EXPECT_NEAR(shaded[0], 255 * (0.3 + 0.2 * 0.8), 3);  // the second light only
    EXPECT_NEAR(shaded[1], shaded[0], 1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    EXPECT_FALSE(glIsEnabled(GL_LIGHT2));
    GLint function = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &function);
    EXPECT_EQ(function, GL_LEQUAL);
    GLfloat texture[16];
    glGetFloatv(GL_TEXTURE_MATRIX, texture);
    EXPECT_EQ(texture[0], 1.0f);  // put back to identity
    EXPECT_EQ(texture[12], 0.0f);
    glDisable(GL_LIGHTING);
}

// One opaque red texel: on 16 x 16 every texel takes its colour, alpha
// kept; on 8 x 8 only its 4 x 4 block does, the rest turns grey. Images
// under 4 texels a side are left alone.
TEST(ColourBleedTest, TransparentTexelsTakeTheirNeighboursColour) {
    for (const int size : {16, 8}) {
        std::vector<std::uint8_t> image(size * size * 4, 0);
        const int rx = size == 16 ? 5 : 1, ry = size == 16 ? 9 : 6;
        image[(ry * size + rx) * 4] = image[(ry * size + rx) * 4 + 3] = 255;
        BleedColours(image, size, size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const std::uint8_t* t = &image[(y * size + x) * 4];
                const bool red = size == 16 || (x < 4 && y >= 4);
                EXPECT_EQ(t[0], red ? 255 : 0x80) << size << ": " << x << "," << y;
                EXPECT_EQ(t[1], red ? 0 : 0x80) << size << ": " << x << "," << y;
                EXPECT_EQ(t[2], red ? 0 : 0x80) << size << ": " << x << "," << y;
                EXPECT_EQ(t[3], (x == rx && y == ry) ? 255 : 0);
            }
    }
    std::vector<std::uint8_t> tiny(3 * 3 * 4, 7);
    BleedColours(tiny, 3, 3);
    EXPECT_EQ(tiny, std::vector<std::uint8_t>(3 * 3 * 4, 7));
}

// Dot3 bump mapping on a unit quad whose bump map leans its normals
// towards +x by `lean`.
class BumpTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(InitExtensions(" GL_EXT_texture_env_combine GL_ARB_multitexture "));
        ASSERT_TRUE(InitExtensions(" GL_EXT_blend_color "));
        TheToggles().BumpMode = 2;
        TheToggles().LightingEnabled = false;
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        Flat();
    }
    void MakeQuad(const Vector3& bumpNormal, float half, float centre) {
        wvwrite::TextureSetWriter w;
        w.AddPalette(std::vector<wvwrite::Rgb>(64, wvwrite::Rgb{200, 200, 200}));
        TextureSpec bumps = SquareTexture(1, 4, std::vector<std::uint8_t>(16, 1));
        bumps.bits = 16;
        bumps.bump = true;
        bumps.normalCodes.assign(16, wvwrite::EncodeNormal(bumpNormal));
        w.AddTexture(bumps);
        UseTextures(w);
        Material mat;
        mat.hasTexture = mat.hasBump = true;
        mat.texture = &colour;
        mat.bumpTexture = &normals;
        model.materials.push_back(mat);
        AddQuad(model, -half, -half, half, half, 0, 0);
        model.ComputeMaterialFlags();
        ASSERT_TRUE(model.HasBumpMaterial);
        inst.model = &model;
        inst.position = {centre, centre, 0};
    }
    // Draws the instance as the scene does, and reads the middle pixel.
    std::array<std::uint8_t, 4> Draw() {
        Clear();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        ApplyTransform(inst);
        DrawModel(model, &inst, false);
        glLoadIdentity();
        return Pixel(kWidth / 2, kHeight / 2);
    }
    TextureObject colour{false}, normals{false};
    Model model;
    Instance inst;
};

TEST_F(BumpTest, Dot3ShadesByTheLightInTheFacesPlane) {
    MakeQuad({0, 0, 1}, 0.5f, 0.5f);
    struct Case { Vector3 light; int minimum, maximum; };
    for (const Case& c : {Case{{0, 0, -1}, 230, 255}, Case{{-1, 0, 0}, 0, 40}}) {
        TheScene().LightDirection = c.light;
        const auto p = Draw();
        EXPECT_GE(p[0], c.minimum) << c.light.x;
        EXPECT_LE(p[0], c.maximum) << c.light.x;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    GLint function = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &function);
    EXPECT_EQ(function, GL_LEQUAL);  // put back after the pass
}

// The light reaches the bump pass in model space: a turned object lit by a
// light turned with it looks as the unturned one does, whatever the turn.
TEST_F(BumpTest, ATurnedObjectUnderATurnedLightLooksTheSame) {
    MakeQuad(Vector3(0.6f, 0, 0.8f), 0.3f, 0.5f);
    const Vector3 light = Vector3(-0.5f, 0.3f, -0.8f).Normalised();
    TheScene().LightDirection = light;
    const auto unturned = Draw();

    inst.rotation = {0.35f, -0.26f, 1.2f};
    // The turn as GL applies it, read back rather than computed here.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Instance turnOnly;
    turnOnly.rotation = inst.rotation;
    ApplyTransform(turnOnly);
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const Vector3 turned{m[0] * light.x + m[4] * light.y + m[8] * light.z,
                         m[1] * light.x + m[5] * light.y + m[9] * light.z,
                         m[2] * light.x + m[6] * light.y + m[10] * light.z};
    const auto lightUnturned = Draw();  // the old light on the turned object
    TheScene().LightDirection = turned;
    const auto both = Draw();
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(both[c], unturned[c], 2) << c;
    // Without turning the light the picture changes: the test can tell.
    EXPECT_GT(std::abs(lightUnturned[0] - unturned[0]), 20);
}

// What ApplyTransform leaves on the modelview stack is the drawing rotation
// times the scale, to within the sine table's 1/64-degree step; the world
// box of a turned instance holds every vertex as GL places it.
TEST_F(DrawTest, ApplyTransformIsTheDrawingRotationAndBoundsHoldTheDrawnModel) {
    Model m;
    m.materials.resize(1);
    for (const Vector3& p : {Vector3(3, 0.5f, -1), Vector3(-2, 4, 0.25f), Vector3(0.5f, -1.5f, 6), Vector3(1, 1, 1)})
        m.vertices.push_back({{0, 0, 1}, 0, 0, p});
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    auto next = [&] { return unit(rng); };
    for (int trial = 0; trial < 50; ++trial) {
        Instance inst;
        inst.model = &m;
        inst.rotation = {(next() - 0.5f) * 13.0f, (next() - 0.5f) * 13.0f, (next() - 0.5f) * 13.0f};
        inst.scale = 0.2f + 3.0f * next();
        inst.position = {(next() - 0.5f) * 200, (next() - 0.5f) * 200, next() * 50};
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        ApplyTransform(inst);
        GLfloat gl[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, gl);
        const Matrix3 rs = DrawingRotation(inst.rotation) * Matrix3::Scale(inst.scale);
        const float step = 3 * static_cast<float>(3.14159265358979 / 180.0 / 64.0) * inst.scale;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                EXPECT_NEAR(rs.m[3 * row + col], gl[4 * col + row], step) << "trial " << trial;
        EXPECT_FLOAT_EQ(gl[12], inst.position.x);

        inst.UpdateBounds();
        for (const Vertex& v : m.vertices) {
            const Vector3& p = v.position;
            const Vector3 drawn{gl[0] * p.x + gl[4] * p.y + gl[8] * p.z + gl[12],
                                gl[1] * p.x + gl[5] * p.y + gl[9] * p.z + gl[13],
                                gl[2] * p.x + gl[6] * p.y + gl[10] * p.z + gl[14]};
            const float slack = step * 7 + 1e-3f;  // the vertices lie within 7 of the origin
            for (float Vector3::*axis : {&Vector3::x, &Vector3::y, &Vector3::z}) {
                EXPECT_GE(drawn.*axis, inst.boxMin.*axis - slack);
                EXPECT_LE(drawn.*axis, inst.boxMax.*axis + slack);
            }
        }
    }
    glLoadIdentity();
}

}  // namespace
