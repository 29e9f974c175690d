// The window procedure: modes, the menu, command keys, mouse-look,
// dragging and deleting, against the scripted platform.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "app/input.h"
#include "app/main_loop.h"
#include "app/pointer.h"
#include "edit/edits.h"
#include "render/frame.h"
#include "render/overlay_text.h"
#include "diag/state_registry.h"
#include "math/camera.h"
#include "platform/scripted_platform.h"
#include "resources/resources.h"
#include "scene/level.h"
#include "scene/render_state.h"
#include "headless/headless_level.h"
#include "scene/scene_draw.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "test_util.h"
#include "writer/bench_level.h"

namespace {

using platform::Message;
using platform::MessageKind;

Message Key(int key, bool down = true) { return {.kind = down ? MessageKind::KeyDown : MessageKind::KeyUp, .key = key}; }
Message Command(int id) { return {.kind = MessageKind::Command, .command = id}; }
Message Move(int x, int y, bool left = false, bool shift = false, bool control = false) {
    return {.kind = MessageKind::MouseMove, .x = x, .y = y, .leftButton = left, .shift = shift, .control = control};
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState(StateScope::Process);
        TheView().viewport = {800, 600, 800.0f / 600.0f};
        pf.windowRect = {100, 50, 916, 709};
    }
    void TearDown() override { ResetState(StateScope::Process); }
    InputState& In() { return TheInput(); }
    RenderToggles& Toggles() { return TheToggles(); }
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(InputTest, MenuTogglesSetTheirCheckMarks) {
    RenderToggles& t = Toggles();
    const struct {
        int id;
        bool* flag;
        bool initial;
    } cases[] = {
        {kCmdDrawOutline, &t.DrawOutline, false},     {kCmdFreezeUpdate, &t.FreezeUpdate, false},
        {kCmdFog, &t.FogEnabled, true},               {kCmdTerrainShadows, &t.TerrainShadows, true},
        {kCmdObjectShadows, &t.ObjectShadows, false}, {kCmdFreezeFrustum, &t.FreezeFrustum, false},
        {kCmdOnscreenHelp, &TheView().help.visible, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(*c.flag, c.initial) << c.id;
        EXPECT_TRUE(WindowProc(Command(c.id)));
        EXPECT_EQ(*c.flag, !c.initial) << c.id;
        EXPECT_EQ(pf.menuChecks.at(c.id), !c.initial) << c.id;
        WindowProc(Command(c.id));
        EXPECT_EQ(pf.menuChecks.at(c.id), c.initial) << c.id;
    }
    EXPECT_TRUE(pf.quitsPosted.empty());
    EXPECT_TRUE(WindowProc(Command(kCmdExit)));
    EXPECT_EQ(pf.quitsPosted, std::vector<int>{0});
    EXPECT_FALSE(WindowProc(Command(12345)));
}

TEST_F(InputTest, KeysSetTheKeyTableAndCommandKeysFlipTheirToggles) {
    WindowProc(Key('W'));
    WindowProc(Key('W'));  // auto-repeat: still down
    EXPECT_TRUE(In().KeyState['W']);
    WindowProc(Key('W', false));
    EXPECT_FALSE(In().KeyState['W']);
    WindowProc(Key(300));  // outside the table: ignored, no crash

    WindowProc(Key(platform::vk::kF1));
    EXPECT_FALSE(TheView().help.visible);
    EXPECT_FALSE(TheView().help.autoHide);
    WindowProc(Key('L'));
    EXPECT_FALSE(Toggles().LightingEnabled);
    EXPECT_FALSE(Toggles().TerrainShadows);
    WindowProc(Key('L'));
    EXPECT_TRUE(Toggles().LightingEnabled);
    EXPECT_TRUE(Toggles().TerrainShadows);
    // Checks follow their toggles whichever way they were changed.
    EXPECT_TRUE(pf.menuChecks.at(kCmdTerrainShadows));
    EXPECT_FALSE(pf.menuChecks.at(kCmdOnscreenHelp));
    WindowProc(Key('L'));
    EXPECT_FALSE(pf.menuChecks.at(kCmdTerrainShadows));
    WindowProc(Key('L'));
    WindowProc(Key('I'));
    EXPECT_TRUE(Toggles().RotatingSun);
    WindowProc(Key('P'));
    EXPECT_TRUE(Toggles().ObjectPositions);
}

// A tap between two frames counts once; a key held counts every frame.
TEST_F(InputTest, AKeyTappedBetweenFramesCountsOnce) {
    WindowProc(Key('4'));
    WindowProc(Key('4', false));
    WindowProc(Key('W'));
    std::array<bool, 256> keys = TakeFrameKeys();
    EXPECT_TRUE(keys['4']);
    EXPECT_TRUE(keys['W']);
    keys = TakeFrameKeys();
    EXPECT_FALSE(keys['4']);
    EXPECT_TRUE(keys['W']);
    WindowProc(Key(platform::vk::kControl));
    WindowProc(Key('Z'));  // Ctrl+Z is undo, not a move down
    EXPECT_FALSE(TakeFrameKeys()['Z']);
}

// Home (the View menu's command) takes the camera back where the player starts.
TEST_F(InputTest, HomeReturnsToThePlayerStart) {
    TheScene().StartCamera = {{10, -20, 30}, 45, 0};
    TheCamera() = {{1, 2, 3}, 0, 20};
    WindowProc(Key(platform::vk::kHome));
    EXPECT_EQ(TheCamera().position, Vector3(10, -20, 30));
    EXPECT_EQ(TheCamera().yaw, 45);
    EXPECT_EQ(TheCamera().pitch, 0);
}

// Alt in flying mode lets go of the pointer for the menu bar: it shows,
// turns nothing and is not held; a click back in the view takes it again
// (and picks nothing), still flying.
TEST_F(InputTest, AltLetsGoOfThePointerUntilAClickInTheView) {
    SetFlyingMode(true);
    WindowProc(Move(400, 300));
    WindowProc(Key(platform::vk::kMenu));
    EXPECT_TRUE(ThePointer().FlyingMode);
    EXPECT_TRUE(pf.cursorVisible);
    EXPECT_FALSE(pf.mouseCaptured);
    const std::size_t warps = pf.cursorMoves.size();
    WindowProc(Move(400, 10));
    WindowProc(Move(420, -20));
    EXPECT_EQ(TheCamera().yaw, 0.0f);
    EXPECT_EQ(TheCamera().pitch, 0.0f);
    EXPECT_EQ(pf.cursorMoves.size(), warps);
    WindowProc({.kind = MessageKind::SetFocus});  // back from the menu: still free
    EXPECT_FALSE(pf.mouseCaptured);

    WindowProc({.kind = MessageKind::LButtonDown, .x = 300, .y = 200, .leftButton = true});
    EXPECT_TRUE(ThePointer().FlyingMode);
    EXPECT_FALSE(ThePointer().released);
    EXPECT_FALSE(pf.cursorVisible);
    EXPECT_TRUE(pf.mouseCaptured);
    EXPECT_GT(pf.cursorMoves.size(), warps);  // recentred
    EXPECT_EQ(TheEdits().selected, nullptr);
}

TEST_F(InputTest, BumpModeNeedsDot3) {
    WindowProc(Key('U'));
    ASSERT_EQ(pf.boxes.size(), 1u);
    EXPECT_EQ(pf.boxes[0].caption, "NOTE");
    EXPECT_EQ(pf.boxes[0].text,
              "Can't display bumpmaps, video card does not support hardware OpenGL Dot3 bumpmapping");
    EXPECT_EQ(pf.boxes[0].owner, platform::Owner::MainWindow);
    EXPECT_EQ(Toggles().BumpMode, 0);
    TheRenderState().caps.Dot3Available = true;
    std::vector<int> modes;
    for (int i = 0; i < 5; ++i) {
        WindowProc(Key('U'));
        modes.push_back(Toggles().BumpMode);
    }
    EXPECT_EQ(modes, (std::vector<int>{1, 2, 3, 0, 1}));
}

TEST_F(InputTest, EscapeSwitchesModesAndRecentresTheCursor) {
    SetFlyingMode(true);
    EXPECT_FALSE(pf.cursorVisible);
    EXPECT_TRUE(pf.mouseCaptured);
    ASSERT_EQ(pf.cursorMoves.size(), 1u);
    EXPECT_EQ(pf.cursorMoves[0], std::make_pair(508, 379));  // centre of the outer rectangle
    WindowProc(Key(platform::vk::kEscape));
    EXPECT_FALSE(ThePointer().FlyingMode);
    EXPECT_TRUE(pf.cursorVisible);
    EXPECT_FALSE(pf.mouseCaptured);
    WindowProc(Key(platform::vk::kEscape));
    EXPECT_TRUE(ThePointer().FlyingMode);
    EXPECT_TRUE(ThePointer().ignoreNextMove);
    // The move the re-centring causes is swallowed: no camera jump.
    const Camera before = TheCamera();
    WindowProc(Move(400, 300));
    EXPECT_EQ(TheCamera().yaw, before.yaw);
    EXPECT_EQ(TheCamera().pitch, before.pitch);
}

TEST_F(InputTest, MouseLookTurnsNeverTipsOverAndShiftPans) {
    SetFlyingMode(true);
    WindowProc(Move(400, 300));  // swallowed
    WindowProc(Move(410, 305));  // right and down: turn right, look down
    EXPECT_FLOAT_EQ(TheCamera().yaw, 4.0f);
    EXPECT_FLOAT_EQ(TheCamera().pitch, 2.0f);
    EXPECT_TRUE(ThePointer().ignoreNextMove);
    for (int i = 0; i < 20; ++i) {
        WindowProc(Move(400, 300));
        WindowProc(Move(400, 300 + 1000));
    }
    EXPECT_FLOAT_EQ(TheCamera().pitch, 89.9f);
    for (int i = 0; i < 20; ++i) {
        WindowProc(Move(400, 300));
        WindowProc(Move(400, 300 - 1000));
    }
    EXPECT_FLOAT_EQ(TheCamera().pitch, -89.9f);

    // Shift pans instead of turning.
    TheCamera() = Camera{{0, 0, 0}, 0, 0};
    WindowProc(Move(400, 300));
    WindowProc(Move(450, 250, false, true));  // right 50, up 50
    ExpectNear(TheCamera().position, {1, 1, 0});
    EXPECT_EQ(TheCamera().yaw, 0.0f);
}

TEST_F(InputTest, TheFirstMoveAfterRegainingTheFocusIsIgnored) {
    SetFlyingMode(true);
    WindowProc(Move(400, 300));
    WindowProc({.kind = MessageKind::KillFocus});
    EXPECT_TRUE(ThePointer().ignoreNextMove);
    WindowProc(Move(500, 300));  // not focused: nothing
    EXPECT_EQ(TheCamera().yaw, 0.0f);
    WindowProc({.kind = MessageKind::SetFocus});
    WindowProc(Move(600, 300));  // the first: ignored
    EXPECT_EQ(TheCamera().yaw, 0.0f);
    WindowProc(Move(610, 300));
    EXPECT_FLOAT_EQ(TheCamera().yaw, 4.0f);
}

class EditTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        model.vertices.push_back({{0, 0, 1}, 0, 0, {1, 0, 0}});
        for (int i = 0; i < 3; ++i) {
            auto inst = std::make_unique<Instance>();
            inst->model = &model;
            inst->position = {static_cast<float>(i * 10), 100, 0};
            inst->UpdateBounds();
            TheScene().InstanceList.push_back(std::move(inst));
        }
        for (int h : {1, 2})
            for (int i = 0; i < 3; ++i) {
                auto inst = std::make_unique<Instance>();
                inst->model = &model;
                TheScene().TerrainObjectsByHeight[h].push_back(std::move(inst));
            }
        SetFlyingMode(false);
    }
    Model model;
};

// The property report names its object above the table's lines.
TEST_F(EditTest, TheValueReportNamesItsObject) {
    WindowProc(Key('V'));
    EXPECT_NE(pf.infoText.find("No object is selected"), std::string::npos) << pf.infoText;
    Instance& inst = *TheScene().InstanceList[1];
    inst.name = "crate";
    inst.index = 7;
    TheEdits().selected = &inst;
    WindowProc(Key('V'));
    EXPECT_NE(pf.infoText.find("Properties of crate #7\r\n\r\nNo valuetable entry."), std::string::npos) << pf.infoText;
}

// Deleting keeps the order of the instance list; a terrain group, whose
// order does not matter, takes its last into the gap.
TEST_F(EditTest, DeleteRemovesFromTheListKeepingOrder) {
    auto& list = TheScene().InstanceList;
    Instance* b = list[1].get();
    Instance* c = list[2].get();
    TheEdits().selected = list[0].get();
    ShadowCandidates() = {b, list[0].get(), c};
    WindowProc(Key(platform::vk::kDelete));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].get(), b);
    EXPECT_EQ(list[1].get(), c);
    EXPECT_EQ(TheEdits().selected, nullptr);
    EXPECT_EQ(ShadowCandidates(), (std::vector<Instance*>{b, c}));  // no dangling candidate
    WindowProc(Key(platform::vk::kDelete));  // nothing selected: nothing happens
    EXPECT_EQ(list.size(), 2u);

    auto& group = TheScene().TerrainObjectsByHeight[2];
    Instance* last = group[2].get();
    TheEdits().selected = group[0].get();
    WindowProc(Key(platform::vk::kDelete));
    ASSERT_EQ(group.size(), 2u);
    EXPECT_EQ(group[0].get(), last);
    EXPECT_EQ(TheScene().TerrainObjectsByHeight[1].size(), 3u);
    EXPECT_EQ(TheEdits().selected, nullptr);
}

TEST_F(EditTest, DraggingMovesTheSelectionOverTheGroundOrUpright) {
    WindowProc(Move(400, 300));
    WindowProc(Move(420, 300, true));  // nothing selected: nothing moves
    for (const auto& i : TheScene().InstanceList) EXPECT_EQ(i->position.y, 100.0f);

    Instance* inst = TheScene().InstanceList[0].get();  // at (0, 100, 0), camera at (9, -3, 5) looking +Y
    TheCamera().position = {0, 0, 0};
    inst->position = {0, 100, 0};
    TheEdits().selected = inst;
    WindowProc(Move(400, 300));
    WindowProc(Move(410, 300, true));  // 10 pixels right at distance 100
    const float expected = static_cast<float>(10 * std::tan(3.14159265358979 / 6) * 200.0 / 800.0 * 1.2);
    EXPECT_NEAR(inst->position.x, expected, 1e-4f);
    EXPECT_NEAR(expected, 1.73f, 0.01f);
    EXPECT_NEAR(inst->position.y, 100.0f, 1e-4f);
    WindowProc(Move(410, 290, true));  // up: away from the camera over the ground
    EXPECT_GT(inst->position.y, 100.0f);
    EXPECT_NEAR(inst->position.z, 0.0f, 1e-5f);
    const float y = inst->position.y;
    WindowProc(Move(410, 280, true, false, true));  // Ctrl: up in the vertical plane
    EXPECT_GT(inst->position.z, 0.0f);
    EXPECT_NEAR(inst->position.y, y, 1e-4f);
    EXPECT_TRUE(inst->ShadowDirty);
    WindowProc(Move(420, 270, true, true));  // Shift: turn
    EXPECT_NEAR(inst->rotation.z, 0.1f, 1e-6f);
    EXPECT_NEAR(inst->rotation.y, -0.1f, 1e-6f);
}

TEST(HelpTextTest, TabStopsLieEvery100PixelsFromTheBlock) {
    const struct {
        int x0, cx, stop;
    } cases[] = {{100, 100, 200}, {100, 150, 200}, {100, 199, 200}, {100, 200, 300}, {100, 60, 200}};
    for (const auto& c : cases) EXPECT_EQ(NextTabStop(c.x0, c.cx), c.stop) << c.cx;
}

// Every line of the help, descenders included, lies inside its panel in the
// window the viewer opens (800 x 600): the keys added over time must not run
// out of it into the status line.
TEST(HelpTextTest, EveryLineFitsInsideThePanelOfTheStartWindow) {
    const std::string text = kHelpText;
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    const int lastBaseline = 600 - kHelpTextTop - kTextLineHeight * (lines - 1);
    EXPECT_GE(lastBaseline - 5, kHelpInset) << lines << " lines";
}

// The culling walk over the packed table lets through what the walk over
// the instances lets through, whatever the user did to them and whatever
// became of the list.
TEST(CullTableTest, TheTableCullsAsTheInstancesDo) {
    TempDir dir;
    ASSERT_TRUE(wvwrite::WriteBenchLevel(dir.path(), 3000, 120, 20, 6, nullptr));
    headless::LoadedLevel level;
    level.console = nullptr;
    ASSERT_TRUE(headless::LoadLevel(dir.File("bench-130.swp"), level));
    platform::PlatformScope scope(level.platform);
    CreateFrusta(TheFrusta());
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> at(-700.0f, 700.0f), turn(0.0f, 360.0f);
    std::size_t seen = 0;
    std::vector<Vector3> lookAt;  // views straight at these, besides the random ones
    auto expectSame = [&](const char* after) {
        for (std::size_t view = 0; view < 6 + lookAt.size(); ++view) {
            Camera camera;
            camera.position = {at(rng), at(rng), 40};
            camera.yaw = turn(rng);
            camera.pitch = 10;
            if (view >= 6) {  // from 30 units south, looking north (+y)
                camera.position = lookAt[view - 6] - Vector3(0, 30, 0);
                camera.yaw = 0;
                camera.pitch = 0;
            }
            UpdateFrusta(TheFrusta(), camera, 4.0f / 3.0f);
            TheCamera() = camera;
            const std::vector<Instance*> plain = CullInstancesPlain();
            ASSERT_EQ(CullInstances(), plain) << after << ", view " << view;
            seen += plain.size();
        }
    };
    auto& list = TheScene().InstanceList;
    expectSame("the load");
    // Drags and turns, each a step; undone and redone.
    for (int k = 0; k < 20; ++k) {
        Instance& inst = *list[rng() % list.size()];
        BeginDrag(inst);
        inst.SetPosition(at(rng), at(rng), 5);
        inst.SetRotation(0, 0, turn(rng));
        EndDrag();
    }
    expectSame("dragging");
    for (int k = 0; k < 8; ++k) ASSERT_TRUE(DeleteInstance(*list[rng() % list.size()]));
    expectSame("deleting");
    for (int k = 0; k < 14; ++k) Undo();
    expectSame("undoing");
    for (int k = 0; k < 10; ++k) Redo();
    expectSame("redoing");
    // A new step drops the undone ones, destroying the objects they held.
    Instance& moved = *list[3];
    BeginDrag(moved);
    moved.SetPosition(1, 2, 3);
    EndDrag();
    expectSame("a new step after undoing");
    // Instances made and placed directly, the list emptied and filled again
    // with as many new ones (which may take the old ones' addresses).
    Model* model = TheScene().ModelList[0].get();
    auto made = [model](Vector3 position) {
        auto inst = std::make_unique<Instance>();
        inst->model = model;
        inst->position = position;
        inst->scale = 3;
        inst->UpdateBounds();
        return inst;
    };
    const std::size_t count = list.size();
    list.clear();
    for (std::size_t k = 0; k < count; ++k) list.push_back(made({at(rng), at(rng), 1}));
    expectSame("a list made again");
    std::swap(list[0], list[1]);
    expectSame("two swapped");
    // One replaced in its place by a new one, which may well take its address.
    for (std::size_t k : {std::size_t{5}, std::size_t{6}}) {
        const Vector3 place = list[k]->position + Vector3(400, 0, 0);
        lookAt.push_back(list[k]->position);
        lookAt.push_back(place);
        list[k].reset();
        list[k] = made(place);
    }
    expectSame("one replaced in its place");
    TheFrusta() = ViewFrusta{};
    ResetState(StateScope::Process);
    EXPECT_GT(seen, 200u);
}

}  // namespace
