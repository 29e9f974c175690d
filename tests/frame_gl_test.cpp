// Frame composition on a headless context with real fonts: the loading
// screen, the level load on the second frame, the clear colour, the labels.
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>
#include <filesystem>

#include "gl_fixture.h"
#include "render/overlay_text.h"
#include "location/level_files.h"
#include "platform/headless_platform.h"
#include "scene/level.h"
#include "scene/view.h"
#include "test_util.h"
#include "writer/mesh_builder.h"
#include "writer/region_builder.h"
#include "writer/scene_writer.h"
#include "writer/value_table_builder.h"

namespace {

class FrameTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        platform::Install(&fonted);
        InitGL();
    }
    void TearDown() override {
        if (!IsSkipped()) {
            KillGL();
        }
        platform::Install(&pf);
        GlTest::TearDown();
    }
    platform::HeadlessPlatform fonted;
};

TEST_F(FrameTest, TheFirstFrameSaysLoadingInWhiteOnBlack) {
    ASSERT_EQ(TheFrame().LoadState, 0);
    DrawFrame();
    EXPECT_EQ(TheFrame().LoadState, 1);
    const auto pixels = Pixels();
    int white = 0, other = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::uint8_t* p = &pixels[(y * kWidth + x) * 4];
            const bool isWhite = p[0] == 255 && p[1] == 255 && p[2] == 255;
            const bool isBlack = p[0] == 0 && p[1] == 0 && p[2] == 0;
            if (isWhite) {
                ++white;
                EXPECT_GE(x, 20);  // the text starts at (20, 30), on its baseline
                EXPECT_GE(y, 30 - 16);
            } else if (!isBlack) {
                ++other;
            }
        }
    EXPECT_GT(white, 100);
    EXPECT_EQ(other, 0);  // one-bit glyphs: nothing but white on black
    // The 128 temporary lists are gone again.
    EXPECT_FALSE(glIsList(1 + 128 + 96));
}

TEST_F(FrameTest, LabelsAdvanceOverSpacesAndTabsReachTheirStops) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    auto after = [&](const char* text) {
        glRasterPos2i(2, 10);
        DrawLabel("%s", text);
        GLfloat pos[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
        return pos[0];
    };
    const float tight = after("aa"), spaced = after("a a");
    EXPECT_GT(spaced, tight);  // a space moves the pen
    int w = 0, h = 0;
    fonted.MeasureText({"Arial", 14, 500}, "a a", w, h);
    EXPECT_FLOAT_EQ(spaced - 2.0f, static_cast<float>(w));
    ResizeView(400, kHeight);  // the tab stop must lie inside the viewport
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 400, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glRasterPos2i(5, 40);
    DrawTextBlock("x\ty");
    GLfloat pos[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    int yWidth = 0;
    fonted.MeasureText({"Arial", 14, 500}, "y", yWidth, h);
    EXPECT_FLOAT_EQ(pos[0], 105.0f + static_cast<float>(yWidth));  // the tab went to 5 + 100
    glRasterPos2i(5, 40);
    DrawTextBlock("x\ny");
    glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
    EXPECT_FLOAT_EQ(pos[1], 22.0f);  // a newline steps 18 pixels down
}

// Text drawn a run at a time as one bitmap is the text the glyph lists draw
// one by one: the same pixels, and the raster position left in the same
// place, for labels and blocks anywhere in the view, their edges included.
TEST_F(FrameTest, TextDrawnAsRunsIsTheTextOfTheListsPixelForPixel) {
    ResizeView(kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kWidth, 0, kHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    std::string every;
    for (int c = 32; c < 127; ++c) every += static_cast<char>(c);
    const std::string block = "Keyboard controls:\nF1\tToggle this help screen\nW/S/A/D\tMove\n\n" + every +
                              "\n\tindented\tand again\nnot ASCII: caf\xc3\xa9 \x01\x7f end\n";
    struct Case {
        bool label;
        int x, y;
        std::string text;
        bool seen = true;  // some of it lies in the view
    };
    // The view is small: every glyph is brought into it by a case of its own.
    std::vector<Case> cases = {
        {true, 4, 40, "Loc: -1"},
        {true, kWidth - 30, 20, "80fps cut off at the right"},
        {true, 10, 50, " ", false},
        {true, 10, 50, "", false},
        {false, 0, kHeight - 1, "a\tb\tc\td", false},  // above the top edge but the baseline
        {false, 2, 30, block},  // the lower lines leave the view
    };
    for (std::size_t k = 0; k < every.size(); k += 6) cases.push_back({true, 4, 20, every.substr(k, 6)});
    for (std::size_t at = 0; at != std::string::npos && at < block.size(); at = block.find('\n', at + 1))
        cases.push_back({false, 2, kHeight - 14, block.substr(at == 0 ? 0 : at + 1),
                         block[at == 0 ? 0 : at + 1] != '\t' && block[at == 0 ? 0 : at + 1] != '\n'});
    for (const Case& c : cases) {
        auto draw = [&](bool plain) {
            glClearColor(0.2f, 0.3f, 0.4f, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            glColor3f(1, 1, 0);
            glRasterPos2i(c.x, c.y);
            glColor3f(0, 0, 1);
            if (c.label) plain ? DrawLabelPlain(c.text.c_str()) : DrawLabel("%s", c.text.c_str());
            else plain ? DrawTextBlockPlain(c.text.c_str()) : DrawTextBlock("%s", c.text.c_str());
            GLfloat pos[4];
            glGetFloatv(GL_CURRENT_RASTER_POSITION, pos);
            return std::make_pair(Pixels(), std::array<GLfloat, 2>{pos[0], pos[1]});
        };
        const auto [plainPixels, plainEnd] = draw(true);
        const auto [runPixels, runEnd] = draw(false);
        std::size_t lit = 0;
        for (std::size_t k = 0; k + 3 < plainPixels.size(); k += 4) lit += plainPixels[k] == 255 && plainPixels[k + 1] == 255;
        EXPECT_TRUE(plainPixels == runPixels) << c.text.substr(0, 30) << " at " << c.x << ", " << c.y;
        EXPECT_EQ(plainEnd, runEnd) << c.text.substr(0, 30);
        if (c.seen && !c.text.empty()) {
            EXPECT_GT(lit, 10u) << c.text.substr(0, 30);  // the text was drawn at all
        }
    }
}

TEST_F(FrameTest, TheSecondFrameLoadsTheLevelAndClearsToItsFog) {
    TempDir dir;
    wvwrite::SceneWriter scene;
    wvwrite::ValueTableBuilder values;
    wvwrite::RegionBuilder region;
    wvwrite::PolyMesh marker;
    marker.name = "marker";
    marker.AddFlatPoints({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 0}, {1, 0}, {1, 1}}, 0);
    region.Place(scene, values, wvwrite::WriteMesh(scene, marker, 2), "start", {},
                 {wvwrite::Property::String("Class", "CStartTrigger"), wvwrite::Property::Float("FogPower", 1),
                  wvwrite::Property::Float("FogHalf", 100), wvwrite::Property::Int("R", 10),
                  wvwrite::Property::Int("G", 20), wvwrite::Property::Int("B", 200)});
    values.AddTo(scene);
    region.AddTo(scene);
    ASSERT_TRUE(scene.Save(dir.File("fogged.grf"), nullptr));
    ASSERT_TRUE(wvwrite::TextureSetWriter().Write(dir.File("fogged-130.pid"), dir.File("fogged-130.swp"), nullptr));
    TheLevelFiles() = LevelFilesBeside(dir.File("fogged-130.swp"));

    DrawFrame();  // the loading screen
    EXPECT_EQ(fonted.debug.find("Level load time"), std::string::npos);
    DrawFrame();  // loads, then draws
    EXPECT_EQ(TheFrame().LoadState, 2);
    EXPECT_NE(fonted.debug.find("Level load time"), std::string::npos);
    const int rgb[3] = {200, 20, 10};  // "B" becomes red on most levels
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const auto p = Pixel(2, kHeight / 2);  // outside the help panel and the labels
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(clear[k], rgb[k] / 255.0f, 1e-6f) << k;
        EXPECT_NEAR(p[k], rgb[k], 1) << k;
    }
    EXPECT_EQ(clear[3], 1.0f);
    EXPECT_TRUE(TheView().help.visible);  // the help's 8 seconds have just begun
}

// Frames of a loaded level: the rotating sun turns by the table's 2 degrees
// a frame, a frozen frustum stays where it was, and the help goes after 8 s.
TEST_F(FrameTest, LoadedFramesTurnTheSunFreezeTheFrustumAndHideTheHelp) {
    TheFrame().LoadState = 2;
    fonted.frequency = 1000;
    TheScene().LightDirection = {0.6f, 0.0f, -0.8f};
    TheToggles().RotatingSun = true;
    DrawFrame();
    // Two degrees clockwise seen from above, as the table builder turns.
    const float c = std::cos(2.0f * 3.14159265f / 180.0f), s = std::sin(2.0f * 3.14159265f / 180.0f);
    ExpectNear(TheScene().LightDirection, {0.6f * c, -0.6f * s, -0.8f}, 1e-4f);
    TheToggles().RotatingSun = false;
    DrawFrame();
    ExpectNear(TheScene().LightDirection, {0.6f * c, -0.6f * s, -0.8f}, 1e-4f);

    const Plane before = TheFrusta().object->planes[0];
    TheToggles().FreezeFrustum = true;
    TheCamera().yaw = 90;
    TheCamera().position = {50, 0, 0};
    DrawFrame();
    EXPECT_EQ(TheFrusta().object->planes[0].normal, before.normal);
    EXPECT_EQ(TheFrusta().object->rangeSphere.centre, Vector3(9, -3, 5));
    TheToggles().FreezeFrustum = false;
    DrawFrame();
    EXPECT_EQ(TheFrusta().object->rangeSphere.centre, Vector3(50, 0, 0));
    EXPECT_NE(TheFrusta().object->planes[0].normal, before.normal);

    // The help shows for 8 seconds from the first loaded frame, then hides
    // itself.
    fonted.counter = 7900;
    DrawFrame();
    EXPECT_TRUE(TheView().help.visible);
    fonted.counter = 8100;
    DrawFrame();
    EXPECT_FALSE(TheView().help.visible);
    EXPECT_FALSE(TheView().help.autoHide);

    // The viewer's status line (mode and speed) is a white label at the
    // bottom left, drawn only when the viewer gives one.
    std::fill_n(TheScene().FogColor, 3, 0.0f);
    DrawFrame();
    EXPECT_EQ(Pixel(8, 10)[0], 0);
    const OverlayStatus status{false, 3.3f};
    DrawFrame(&status);
    EXPECT_EQ(Pixel(8, 10)[0], 255);
}

}  // namespace
