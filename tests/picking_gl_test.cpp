// Picking through GL selection mode on a headless context.
#include "render/picking.h"

#include <cmath>

#include "app/commands.h"
#include "app/pointer.h"
#include "diag/log.h"
#include "render/measure.h"
#include "resources/resources.h"
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

// ---- measuring -------------------------------------------------------------------

TEST(MeasureTest, TheFiguresSplitTheDistanceIntoItsPartsAndTheAngle) {
    struct Case {
        Vector3 a, b;
        float distance, horizontal, vertical, angle;
    };
    const Case cases[] = {
        {{0, 0, 0}, {3, 4, 0}, 5, 5, 0, 0},
        {{1, 1, 1}, {1, 1, 11}, 10, 0, 10, 90},
        {{10, -2, 5}, {10, 1, 1}, 5, 3, -4, -53.130104f},
        {{-5, -5, 0}, {-2, -1, 5}, 7.0710678f, 5, 5, 45},
        {{2, 2, 2}, {2, 2, 2}, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const Measurement m = MeasureBetween(c.a, c.b);
        EXPECT_FLOAT_EQ(m.distance, c.distance);
        EXPECT_FLOAT_EQ(m.horizontal, c.horizontal);
        EXPECT_FLOAT_EQ(m.vertical, c.vertical);
        EXPECT_NEAR(m.angle, c.angle, 1e-4);
    }
    EXPECT_EQ(MeasureText(MeasureBetween({10, -2, 5}, {10, 1, 1})),
              "Distance 5.00 (horizontal 3.00, vertical -4.00, angle -53.1 degrees)");
}

// The client pixel a point of the world lies in, seen from the fixture's
// camera (at the origin, looking along +y, z up): the projection worked
// out by hand, not through the viewer's code.
std::pair<int, int> PixelOf(const Vector3& p, int width, int height) {
    const double t = std::tan(30.0 * 3.14159265358979323846 / 180.0), aspect = double(width) / height;
    const double nx = p.x / (p.y * t * aspect), ny = p.z / (p.y * t);
    return {static_cast<int>(std::floor((nx + 1) / 2 * width)), static_cast<int>(std::floor((1 - ny) / 2 * height))};
}

// Shift+Ctrl clicks in selection mode measure between the faces under them,
// a plain one and one turned; the selection stays and no drag follows.
TEST_F(PickingTest, MeasuringClicksFindThePointsOnTheFacesUnderThem) {
    SetFlyingMode(false);
    std::string log;
    SetLogCapture(&log);
    Instance* a = Place(10, -2);
    Instance* b = Place(20, 3);
    b->SetRotation(0, 0, 0.5f);  // turned about z: its face runs at a slant
    const Vector3 onA{-2, 10, 0.5f}, onB{3, 20, 0};
    // Half a pixel's width at each distance, both ways, is what a click can miss by.
    const float slackA = 2 * 10 * 0.5774f / kHeight, slackB = 2 * 20 * 0.5774f / kHeight / std::cos(0.5f);
    const auto measureAt = [](const Vector3& p) {
        const auto [x, y] = PixelOf(p, kWidth, kHeight);
        RunCommand({.kind = Command::Kind::Pick, .x = x, .y = y, .shift = true, .control = true});
    };
    measureAt(onA);
    MeasureState& m = TheMeasure();
    ASSERT_EQ(m.points, 1);
    EXPECT_NEAR(m.a.y, 10, 1e-4) << "on the face's plane";
    EXPECT_LT(m.a.Distance(onA), slackA);
    EXPECT_TRUE(m.pressHeld);
    EXPECT_EQ(TheEdits().selected, nullptr);
    EXPECT_EQ(pf.debug.find("Select:"), std::string::npos) << "a measure selects nothing";
    RunCommand({.kind = Command::Kind::Release});

    measureAt(onB);
    ASSERT_EQ(m.points, 2);
    // On the turned face: its plane holds the centre, its normal turned with it.
    const Vector3 normal{-std::sin(0.5f), std::cos(0.5f), 0};
    EXPECT_NEAR(normal.Dot(m.b - onB), 0, 1e-3);
    EXPECT_LT(m.b.Distance(onB), slackB);
    EXPECT_NEAR(MeasureBetween(m.a, m.b).distance, onA.Distance(onB), slackA + slackB);
    EXPECT_NE(log.find("Measured from (" ), std::string::npos) << log;
    EXPECT_NE(log.find(MeasureText(MeasureBetween(m.a, m.b))), std::string::npos) << log;

    // The button still down: moving it drags nothing, even with a selection.
    TheEdits().selected = a;
    EXPECT_FALSE(RunCommand({.kind = Command::Kind::Drag, .dx = 30, .dy = 0}));
    EXPECT_EQ(a->position, Vector3(-2, 10, 0));
    RunCommand({.kind = Command::Kind::Release});
    EXPECT_FALSE(m.pressHeld);

    // The sky measures nothing; a third point starts a new measure.
    EXPECT_FALSE(MeasureClick(1, 1));
    EXPECT_EQ(m.points, 2);
    measureAt(onB);
    EXPECT_EQ(m.points, 1);
    EXPECT_LT(m.a.Distance(onB), slackB);

    // Escape clears the measure first and only then changes the mode.
    RunCommand(ActionCommand(kCmdFlyingMode));
    EXPECT_EQ(m.points, 0);
    EXPECT_FALSE(ThePointer().FlyingMode);
    RunCommand(ActionCommand(kCmdFlyingMode));
    EXPECT_TRUE(ThePointer().FlyingMode);
    // While flying a click picks as ever, whatever is held.
    RunCommand({.kind = Command::Kind::Pick, .x = kWidth / 2, .y = kHeight / 2, .shift = true, .control = true});
    EXPECT_EQ(m.points, 0);
    SetLogCapture(nullptr);
}

}  // namespace
