// The skew level in GL, where a swapped axis or a lost sign would show: the
// map's orientation and scale, the passes that draw off-screen leaving the
// GL state as they found it, and the export from the viewer leaving its
// terrain and toggles alone.
#include <filesystem>
#include <set>

#include "app/commands.h"
#include "diag/log.h"
#include "demo_fixture.h"
#include "effects/offscreen.h"
#include "effects/shadow_render.h"
#include "effects/shadows.h"
#include "gl_fixture.h"
#include "render/gl_setup.h"
#include "render/overview_map.h"
#include "render/picking.h"
#include "resources/resources.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "terrain/terrain_bake.h"
#include "terrain/terrain_draw.h"
#include "test_util.h"

namespace {

namespace skew = wvwrite::skew;

class SkewGlTest : public DemoSuite<GlTest> {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        LoadQuietly(File("skew-130.swp"));
        SetUpDrawing();
        InitGL();  // as the viewer sets GL up: textures as it makes them
        InitPBuffer();
    }
    // A frame's set-up that the passes must leave alone: unusual on purpose,
    // down to a framebuffer of the caller's own.
    void OddState() {
        if (!callers) {
            glh::glGenRenderbuffers(1, &colour);
            glh::glBindRenderbuffer(GL_RENDERBUFFER, colour);
            glh::glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 64, 64);
            glh::glGenFramebuffers(1, &callers);
            glh::glBindFramebuffer(GL_FRAMEBUFFER, callers);
            glh::glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        }
        glh::glBindFramebuffer(GL_FRAMEBUFFER, callers);
        glViewport(3, 5, 40, 30);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-2, 3, -1, 4, -5, 7);
        glPushMatrix();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(20, 0.3f, 0.5f, 0.8f);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_FOG);
        glDisable(GL_CULL_FACE);
        glClearColor(0.1f, 0.2f, 0.3f, 0.4f);
        glDepthFunc(GL_LEQUAL);
    }
    void TearDown() override {
        glh::glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glh::glDeleteFramebuffers(1, &callers);
        glh::glDeleteRenderbuffers(1, &colour);
        DemoSuite<GlTest>::TearDown();
    }
    GLuint callers = 0, colour = 0;
};

TEST_F(SkewGlTest, TheMapLiesNorthUpAtItsStatedScale) {
    OverviewImage map;
    std::string error;
    ASSERT_TRUE(RenderOverviewMap({1.0f, false, true, true}, map, error)) << error;
    ASSERT_EQ(map.width, 400u);
    ASSERT_EQ(map.height, 200u);
    EXPECT_EQ(map.minX, skew::kMinX);
    EXPECT_EQ(map.minY, skew::kMinY);
    EXPECT_EQ(map.maxX, skew::kMaxX);
    EXPECT_EQ(map.maxY, skew::kMaxY);
    // Each quarter's middle: north at the top, east on the right.
    auto colourAt = [&](float x, float y) {
        const auto px = static_cast<std::size_t>(x - map.minX), py = static_cast<std::size_t>(map.maxY - y);
        const std::uint8_t* p = &map.rgba[(py * map.width + px) * 4];
        return std::array<int, 3>{p[0], p[1], p[2]};
    };
    const struct {
        float x, y;
        int quarter;
    } quarters[] = {{-250, -20, 0}, {50, -20, 1}, {-250, 130, 2}, {50, 130, 3}};
    for (const auto& q : quarters) {
        const std::array<int, 3> got = colourAt(q.x, q.y);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], skew::kColours[q.quarter][c], 30) << q.x << ", " << q.y;
    }
    // A pillar shows where it stands, one pixel a unit from the corner;
    // the ground alone (without the shadows) has none.
    const std::array<int, 3> pillar = colourAt(-280, 100), beside = colourAt(-270, 100);
    EXPECT_GT(std::abs(pillar[2] - beside[2]), 40) << "no pillar at (-280, 100)";
    // The card lies face up on its foot, reaching south: its dark middle.
    EXPECT_NEAR(colourAt(-60, 17)[1], 119, 25) << "no card south of (-60, 20)";
    ASSERT_TRUE(RenderOverviewMap({1.0f, false, false, true, false}, map, error)) << error;
    EXPECT_EQ(colourAt(-280, 100), beside);

    // A piece thrown far off (a damaged level) stretches the terrain's extent;
    // the map keeps to the square the ground can hold.
    SceneState& scene = TheScene();
    const Vector3 savedMax = scene.TerrainMax;
    scene.TerrainMax.x = 3.0e7f;
    const bool drawn = RenderOverviewMap({1.0f / 64, false, false, true, false}, map, error);
    scene.TerrainMax = savedMax;
    ASSERT_TRUE(drawn) << error;
    EXPECT_EQ(map.minX, skew::kMinX);
    EXPECT_LE(map.maxX, kTerrainHalfSize + 64);  // a texel's overhang at most
}

// Bakes, shadow pictures, the map and a pick draw off-screen or through
// their own matrices: the frame that called them finds everything as it
// left it.
TEST_F(SkewGlTest, PassesThatDrawOffScreenLeaveTheGlStateAsTheyFoundIt) {
    TheToggles().ObjectShadows = true;
    TheCamera() = Camera{skew::kCrates[0].position + Vector3(-6, -6, 3), 45, 20};
    const struct {
        const char* what;
        std::function<void()> pass;
    } passes[] = {
        {"bakes", [] { UpdateTerrainFrame(); }},
        {"shadow pictures", [] { UpdateShadows(); }},
        {"the map",
         [] {
             OverviewImage map;
             std::string error;
             RenderOverviewMap({0.5f, true, true, true}, map, error);
         }},
        {"a pick", [] { PickObject(20, 20); }},
    };
    for (const auto& p : passes) {
        OddState();
        const GlState before = GlState::Now();
        p.pass();
        EXPECT_TRUE(GlState::Now() == before) << p.what;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << p.what;
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    EXPECT_GT(TheShadows().rendersThisFrame + TheTerrain().bakesThisFrame, 0) << "the passes drew nothing";
}

// Exporting from the File menu: the file is written, and the viewer's
// terrain (its window and heights, not even rebuilt), its toggles and the GL
// state are as they were.
TEST_F(SkewGlTest, TheViewersExportLeavesItsTerrainTogglesAndGlStateAlone) {
    TheCamera().position = {60, 140, 30};
    UpdateTerrain(TheCamera().position);
    TheToggles().FreezeUpdate = true;
    TheToggles().FogEnabled = false;
    const TerrainState& t = TheTerrain();
    const float originX = t.field.originX, originY = t.field.originY;
    const auto samples = std::vector<float>(t.field.samples.begin(), t.field.samples.end());
    const double built = t.lastBuild.rasteriseMs;
    const RenderToggles toggles = TheToggles();
    OddState();
    const GlState gl = GlState::Now();

    pf.saveAnswers.push_back(File("from-menu.glb"));
    RunCommand(ActionCommand(kCmdExportGltf));
    ASSERT_EQ(pf.boxes.size(), 1u);
    EXPECT_EQ(pf.boxes[0].caption, "Export glTF") << pf.boxes[0].text;
    EXPECT_NE(pf.boxes[0].text.find("and the ground"), std::string::npos) << pf.boxes[0].text;
    EXPECT_GT(ReadAll(File("from-menu.glb")).size(), 1000u);

    EXPECT_EQ(t.field.originX, originX);
    EXPECT_EQ(t.field.originY, originY);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), t.field.samples.begin()));
    EXPECT_EQ(t.lastBuild.rasteriseMs, built) << "the viewer's ground was built again";
    EXPECT_TRUE(toggles == TheToggles());
    EXPECT_TRUE(GlState::Now() == gl);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// A library that throws under a command (here the chooser) fails that
// command with a box saying why; the viewer and its edits go on.
TEST_F(SkewGlTest, AnExceptionUnderACommandFailsTheCommandNotTheViewer) {
    struct Throwing : platform::ScriptedPlatform {
        std::string AskSaveFile(const platform::SaveRequest&) override { throw std::runtime_error("out of names"); }
    } throwing;
    throwing.procAddress = pf.procAddress;
    platform::Install(&throwing);
    EXPECT_TRUE(RunCommand(ActionCommand(kCmdExportGltf)));
    platform::Install(&pf);
    ASSERT_EQ(throwing.boxes.size(), 1u);
    EXPECT_EQ(throwing.boxes[0].text, "The command failed: out of names");
    EXPECT_EQ(throwing.boxes[0].icon, platform::Icon::Exclamation);
}

// The same level and options give the same bytes wherever the export is
// started: from the menu twice, whatever else the viewer has changed
// meanwhile, and from the command line.
TEST_F(SkewGlTest, AnExportIsTheSameBytesFromTheMenuAndFromTheCommandLine) {
    const auto exportFromMenu = [&](const std::string& name) {
        pf.saveAnswers.push_back(File(name));
        RunCommand(ActionCommand(kCmdExportGltf));
        return ReadAll(File(name));
    };
    const std::vector<std::uint8_t> first = exportFromMenu("menu1.glb");
    TheToggles().LightingEnabled = false;
    TheToggles().BumpMode = 2;
    TheRenderState().FrameStartTime = 1234.5;
    TheCamera().position = {-100, 80, 40};
    UpdateTerrain(TheCamera().position);
    EXPECT_EQ(exportFromMenu("menu2.glb"), first);
    const RunResult r = RunShell(*dir, std::string(WV_EXPORT) + " " + File("skew-130.swp") + " " + File("cli.glb") +
                                           " --terrain");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(File("cli.glb")), first);
}

// Cancel pressed at each stage of the viewer's exports (before anything,
// while the map's tiles are drawn, while the objects go out, just before
// the file is written) leaves no file at all: not the export, not its
// temporary, not the pictures and buffer beside a .gltf. The viewer shows
// no box; the log says so. The next export is written whole.
TEST_F(SkewGlTest, ACancelledExportLeavesNoFileBehind) {
    namespace fs = std::filesystem;
    const auto listing = [] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir->path())) names.insert(e.path().filename().string());
        return names;
    };
    std::string log;
    const auto run = [&](int command, const std::string& name, std::size_t cancelAfter) {
        pf.progress.clear();
        pf.boxes.clear();
        log.clear();
        pf.cancelAfterProgress = cancelAfter;
        pf.saveAnswers.push_back(File(name));
        SetLogCapture(&log);
        RunCommand(ActionCommand(command));
        SetLogCapture(nullptr);
        pf.cancelAfterProgress = SIZE_MAX;
        return pf.progress;
    };
    const struct {
        int command;
        std::string name, stage;
    } exports[] = {{kCmdExportGltf, "cancelled.glb", "Exporting glTF..."},
                   {kCmdExportGltf, "cancelled.gltf", "Exporting glTF..."},
                   {kCmdExportMap, "cancelled-map.png", "Writing the picture..."}};
    for (const auto& e : exports) {
        // A whole run says what reports there are to cancel at.
        const auto reports = run(e.command, "whole-" + e.name, SIZE_MAX);
        ASSERT_EQ(pf.boxes.size(), 1u) << e.name;
        ASSERT_TRUE(pf.progressHidden);
        std::size_t tile = 0, stage = 0, last = 0;
        for (std::size_t k = 0; k < reports.size(); ++k) {
            if (!tile && k > 0 && reports[k].first == reports[0].first) tile = k;
            if (!stage && reports[k].first == e.stage) stage = k;
            if (reports[k].first == e.stage && reports[k].second < 1.0f) last = k;  // 1: written already
        }
        ASSERT_GT(tile, 0u) << e.name << ": the map's tiles report no progress";
        ASSERT_GT(stage, tile) << e.name;
        const std::set<std::string> before = listing();
        for (const std::size_t at : {std::size_t{0}, tile, stage, last}) {
            pf.progressHidden = false;
            run(e.command, e.name, at);
            EXPECT_EQ(pf.progress.size(), at + 1) << e.name << ": the job went on after Cancel at " << at;
            EXPECT_TRUE(pf.progressHidden) << e.name;
            EXPECT_TRUE(pf.boxes.empty()) << e.name << " at " << at << ": " << pf.boxes[0].text;
            EXPECT_NE(log.find("cancelled: nothing was written"), std::string::npos) << e.name << ": " << log;
            EXPECT_EQ(listing(), before) << e.name << ": cancelled at report " << at << " of " << reports.size();
        }
        run(e.command, e.name, SIZE_MAX);
        EXPECT_EQ(pf.boxes.size(), 1u) << e.name;
        EXPECT_TRUE(fs::exists(File(e.name))) << e.name;
    }
}

}  // namespace
