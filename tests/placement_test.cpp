// Placing an object by typing: the texts the placement window shows and
// reads, every kind of bad input, the clipboard's line, and the Edit /
// Placement command on the scripted platform, through undo, redo and a save.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>

#include "app/commands.h"
#include "demo_fixture.h"
#include "diag/state_registry.h"
#include "edit/edits.h"
#include "edit/placement.h"
#include "level_reader.h"
#include "location/level_files.h"
#include "output/level_save.h"
#include "platform/scripted_platform.h"
#include "resources/resources.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "test_util.h"

namespace {

using platform::FormAction;

constexpr double kPi = 3.14159265358979323846;
float Radians(double degrees) { return static_cast<float>(degrees / 57.29577951308232); }

// Shown texts typed back give the placement to the bit, whatever the
// object stood at before (so nothing is kept from `current`).
TEST(PlacementTextsTest, ShownTextsReadBackToTheExactPlacement) {
    const float huge = std::numeric_limits<float>::max();
    const Placement cases[] = {
        {{0, 0, 0}, {0, 0, 0}},
        {{-74.401f, -60.274f, 12.5f}, {0.4f, -0.3f, 1.2f}},
        {{1e-7f, -3e-12f, 123456.78f}, {static_cast<float>(kPi / 2), static_cast<float>(-kPi), 6.2831853f}},
        {{huge, -huge, 1e30f}, {1e-30f, 100.0f, -1234.5678f}},
        {{0.1f, 0.2f, 0.3f}, {Radians(90), Radians(45), Radians(-30)}},
    };
    const Placement elsewhere{{5, 6, 7}, {0.5f, 0.6f, 0.7f}};
    for (const Placement& p : cases) {
        const PlacementTexts texts = PlacementFields(p);
        Placement back;
        std::string why;
        ASSERT_TRUE(ReadPlacement(texts, elsewhere, back, why)) << why;
        EXPECT_EQ(back.position, p.position) << PlacementLine(texts);
        EXPECT_EQ(back.rotation, p.rotation) << PlacementLine(texts);
    }
    // Right angles look like right angles, and the order is yaw (about z),
    // pitch (about y), roll (about x).
    EXPECT_EQ(PlacementLine(PlacementFields({{1, -2.5f, 3}, {Radians(-30), Radians(45), Radians(90)}})),
              "1 -2.5 3 90 45 -30");
}

TEST(PlacementTextsTest, TypedNumbersAreReadAndBadOnesRefusedNamingTheField) {
    const Placement current{{1, 2, 3}, {0.1f, 0.2f, 0.3f}};
    struct Case {
        std::size_t field;
        const char* typed;
        const char* refusal;  // none: taken
        float value = 0;      // what was taken (radians for an angle)
    };
    const Case cases[] = {
        {0, " +12.5 ", nullptr, 12.5f},
        {2, "-1e-50", nullptr, 0.0f},
        {1, "3.4e38", nullptr, 3.4e38f},
        {3, "180", nullptr, Radians(180)},
        {5, "-720", nullptr, Radians(-720)},
        {0, "abc", "X: \"abc\" is not a number."},
        {1, "", "Y: \"\" is not a number."},
        {2, "1.5.2", "Z: \"1.5.2\" is not a number."},
        {0, "1,5", "X: \"1,5\" is not a number."},
        {0, "0x10", "X: \"0x10\" is not a number."},
        {0, "12 m", "X: \"12 m\" is not a number."},
        {3, "nan", "Yaw: nan is not a finite number the level file can hold (from -3.4e38 to 3.4e38)."},
        {4, "inf", "Pitch: inf is not a finite number"},
        {5, "-infinity", "Roll: -infinity is not a finite number"},
        {0, "1e39", "X: 1e39 is not a finite number"},
        {2, "-3.5e38", "Z: -3.5e38 is not a finite number"},
        {1, "1e400", "Y: 1e400 is not a finite number"},
    };
    for (const Case& c : cases) {
        PlacementTexts texts = PlacementFields(current);
        texts[c.field] = c.typed;
        Placement out{{-9, -9, -9}, {-9, -9, -9}};
        std::string why;
        const bool ok = ReadPlacement(texts, current, out, why);
        if (!c.refusal) {
            ASSERT_TRUE(ok) << c.typed << ": " << why;
            const float got = c.field < 3   ? (&out.position.x)[c.field]
                              : c.field == 3 ? out.rotation.z
                              : c.field == 4 ? out.rotation.y
                                             : out.rotation.x;
            EXPECT_EQ(got, c.value) << c.typed;
            continue;
        }
        EXPECT_FALSE(ok) << c.typed;
        EXPECT_EQ(why.rfind(c.refusal, 0), 0u) << c.typed << ": " << why;
        EXPECT_EQ(out.position, Vector3(-9, -9, -9)) << c.typed;  // untouched
    }
}

TEST(PlacementTextsTest, TheClipboardLineHoldsExactlySixNumbers) {
    struct Case {
        const char* line;
        bool ok;
    };
    const Case cases[] = {
        {"1 2 3 4 5 6", true},          {"1,2,3,4,5,6", true},     {"\t1\t-2.5 3e2 4, 5 6\r\n", true},
        {"1 2 3 4 5", false},           {"1 2 3 4 5 6 7", false},  {"1 2 3 x 5 6", false},
        {"", false},                    {"1 2 3 4 5 nan", false},  {"x=1 y=2 z=3 4 5 6", false},
    };
    for (const Case& c : cases) {
        PlacementTexts out;
        out.fill("kept");
        std::string why;
        EXPECT_EQ(SplitPlacementLine(c.line, out, why), c.ok) << c.line;
        if (c.ok) continue;
        EXPECT_EQ(why.rfind("The clipboard holds no placement", 0), 0u) << why;
        EXPECT_EQ(out[0], "kept");
    }
    PlacementTexts out;
    std::string why;
    ASSERT_TRUE(SplitPlacementLine("\t1\t-2.5 3e2 4, 5 6\r\n", out, why));
    EXPECT_EQ(PlacementLine(out), "1 -2.5 3e2 4 5 6");
    ASSERT_TRUE(SplitPlacementLine("1 2 3 x 5 6 ", out, why) == false);
    EXPECT_NE(why.find("Yaw: \"x\" is not a number."), std::string::npos) << why;
}

// Where the ground was marked to be baked again, in the order asked.
std::vector<Vector3>& Marks() {
    static std::vector<Vector3> marks;
    return marks;
}

class PlacementTest : public DemoSuite<::testing::Test> {
protected:
    void SetUp() override {
        LoadQuietly(File("skew-130.swp"));
        scope.emplace(pf);  // after the load, which installs its own
        hook = TheSceneHooks().markAreaForRebake;
        TheSceneHooks().markAreaForRebake = [](const Vector3& centre, float) { Marks().push_back(centre); };
        Marks().clear();
    }
    void TearDown() override {
        TheSceneHooks().markAreaForRebake = hook;
        ResetState(StateScope::Process);
    }
    static Instance& Named(const std::string& name) {
        for (const auto& i : TheScene().InstanceList)
            if (name == i->name) return *i;
        throw std::runtime_error("no " + name);
    }
    static bool MarkedNear(const Vector3& p) {
        for (const Vector3& m : Marks())
            if (m.Distance(p) < 20) return true;
        return false;
    }
    // Edit / Placement with the selection, the user's actions scripted.
    void Place(Instance* selection, std::vector<FormAction> actions) {
        TheEdits().selected = selection;
        pf.formAnswers.push_back(std::move(actions));
        RunCommand(ActionCommand(kCmdPlacement));
    }
    platform::ScriptedPlatform pf;
    std::optional<platform::PlatformScope> scope;
    void (*hook)(const Vector3&, float) = nullptr;
    TempDir out;
    SettingsHome settings{out.path()};
};

TEST_F(PlacementTest, TypedValuesMoveAndTurnTheObjectAsOneEditThatUndoesAndIsSaved) {
    Instance& crate = Named("crate_a");
    const Vector3 home = crate.position, turned = crate.rotation;
    const float scale = crate.scale;
    Place(&crate, {FormAction::Type(0, "-100.25"), FormAction::Type(1, "250"), FormAction::Type(3, "90"),
                   FormAction::Type(5, "-45.5"), FormAction::Type(6, "9"), FormAction::Ok()});
    ASSERT_EQ(pf.forms.size(), 1u);
    EXPECT_EQ(pf.forms[0].title, "Placement of crate_a #" + std::to_string(crate.index));
    const std::vector<std::string> shown = pf.formTexts[0];
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown[0], "-150");
    EXPECT_EQ(shown[6], "1.5");
    EXPECT_TRUE(pf.forms[0].fields[6].readOnly);
    EXPECT_TRUE(pf.boxes.empty());

    const Vector3 placed{-100.25f, 250, home.z};
    EXPECT_EQ(crate.position, placed);
    EXPECT_EQ(crate.rotation, Vector3(Radians(-45.5), turned.y, Radians(90)));
    EXPECT_EQ(crate.scale, scale);  // shown, never typed
    EXPECT_EQ(TheEdits().steps.size(), 1u);
    EXPECT_TRUE(HasUnsavedEdits());
    // Both the ground it left and the ground it stands on are baked again.
    EXPECT_TRUE(MarkedNear(home));
    EXPECT_TRUE(MarkedNear(placed));

    Marks().clear();
    RunCommand(ActionCommand(kCmdUndo));
    EXPECT_EQ(crate.position, home);
    EXPECT_EQ(crate.rotation, turned);
    EXPECT_TRUE(MarkedNear(placed));  // an undo's jump leaves no shadow behind either
    EXPECT_TRUE(MarkedNear(home));
    EXPECT_FALSE(HasUnsavedEdits());
    RunCommand(ActionCommand(kCmdRedo));
    EXPECT_EQ(crate.position, placed);

    std::string error;
    ASSERT_TRUE(SaveLevelAs(out.File("placed.grf"), error)) << error;
    WrittenLevel saved;
    saved.LoadScene(out.File("placed.grf"));
    bool found = false;
    for (const Placed& p : saved.instances) {
        if (p.name != "crate_a") continue;
        found = true;
        EXPECT_EQ(p.position, placed);
        EXPECT_EQ(p.rotation, crate.rotation);
    }
    EXPECT_TRUE(found);

    // Opened again, the form shows what was typed.
    for (const char* f : {"skew-130.pid", "skew-130.swp"})
        std::filesystem::copy_file(File(f), out.File(std::string("placed") + (f + 4)));
    scope.reset();
    LoadQuietly(out.File("placed-130.swp"));
    scope.emplace(pf);
    Place(&Named("crate_a"), {FormAction::Cancel()});
    EXPECT_EQ(pf.formTexts.back(), (std::vector<std::string>{"-100.25", "250", "7.5", "90", PlacementFields({{}, turned})[4],
                                                             "-45.5", "1.5"}));
}

TEST_F(PlacementTest, BadInputIsRefusedAndTheFormStaysOpenChangingNothing) {
    Instance& crate = Named("crate_b");
    const Vector3 home = crate.position, turned = crate.rotation;
    Place(&crate, {FormAction::Type(0, "abc"), FormAction::Ok(), FormAction::Type(0, "1"),
                   FormAction::Type(4, "nan"), FormAction::Ok(), FormAction::Type(4, "1e39"), FormAction::Ok(),
                   FormAction::Cancel()});
    ASSERT_EQ(pf.boxes.size(), 3u);
    EXPECT_EQ(pf.boxes[0].text, "X: \"abc\" is not a number.");
    EXPECT_EQ(pf.boxes[0].caption, pf.forms[0].title);
    EXPECT_EQ(pf.boxes[1].text.rfind("Pitch: nan is not a finite number", 0), 0u) << pf.boxes[1].text;
    EXPECT_EQ(pf.boxes[2].text.rfind("Pitch: 1e39 is not a finite number", 0), 0u) << pf.boxes[2].text;
    EXPECT_EQ(crate.position, home);
    EXPECT_EQ(crate.rotation, turned);
    EXPECT_TRUE(TheEdits().steps.empty());
    // OK without a change is no edit.
    Place(&crate, {FormAction::Ok()});
    EXPECT_TRUE(TheEdits().steps.empty());
    EXPECT_EQ(crate.rotation, turned);
    // Without a selection there is no form, only the way to get one.
    Place(nullptr, {FormAction::Ok()});
    EXPECT_EQ(pf.forms.size(), 2u);
    EXPECT_EQ(pf.boxes.back().text.rfind("No object is selected.", 0), 0u);
}

TEST_F(PlacementTest, CopyAndPasteCarryAPlacementFromOneObjectToAnother) {
    Instance &a = Named("crate_a"), &b = Named("crate_c");
    Place(&a, {FormAction::Press(0), FormAction::Cancel()});
    EXPECT_EQ(pf.forms[0].buttons[0].label, "Copy");
    EXPECT_EQ(pf.clipboard, PlacementLine(PlacementFields({a.position, a.rotation})));
    EXPECT_EQ(pf.clipboard, "-150 30 7.5 68.75494 -17.188735 22.918312");
    // Copy takes what is typed, and refuses what OK would refuse.
    Place(&a, {FormAction::Type(2, "zero"), FormAction::Press(0), FormAction::Cancel()});
    EXPECT_EQ(pf.boxes.back().text, "Z: \"zero\" is not a number.");
    EXPECT_EQ(pf.clipboard, "-150 30 7.5 68.75494 -17.188735 22.918312");

    Place(&b, {FormAction::Press(1), FormAction::Ok()});
    EXPECT_EQ(b.position, a.position);
    EXPECT_EQ(b.rotation, a.rotation);
    EXPECT_EQ(TheEdits().steps.size(), 1u);

    // Something else on the clipboard: said, and the texts stay as they were.
    pf.clipboard = "hello";
    const std::size_t boxes = pf.boxes.size();
    Place(&a, {FormAction::Press(1), FormAction::Ok()});
    ASSERT_EQ(pf.boxes.size(), boxes + 1);
    EXPECT_EQ(pf.boxes.back().text.rfind("The clipboard holds no placement", 0), 0u);
    EXPECT_EQ(TheEdits().steps.size(), 1u);
}

}  // namespace
