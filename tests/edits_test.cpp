// Edits without a window: undo and redo of moves, turns and deletes, and
// the bookmarks kept per level.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "edit/bookmarks.h"
#include "edit/edits.h"
#include "output/level_save.h"
#include "diag/state_registry.h"
#include "files/block_file.h"
#include "headless/headless_level.h"
#include "location/level_files.h"
#include "demo_fixture.h"
#include "scene/level.h"
#include "test_util.h"
#include "scene/scene_model.h"
#include "writer/demo_level.h"

namespace {

class EditsTest : public DemoSuite<::testing::Test> {
protected:
    void SetUp() override { LoadQuietly(); }
    void TearDown() override { ResetState(StateScope::Process); }
    // The serials of a container, in order: what an undo must restore.
    static std::vector<std::uint32_t> Order(const std::vector<std::unique_ptr<Instance>>& list) {
        std::vector<std::uint32_t> out;
        for (const auto& i : list) out.push_back(i->SerialId);
        return out;
    }
    static Instance& Named(const std::string& stem) {
        for (const auto& i : TheScene().InstanceList)
            if (std::string(i->name).rfind(stem, 0) == 0) return *i;
        for (auto& [key, group] : TheScene().TerrainObjectsByHeight)
            for (const auto& i : group)
                if (std::string(i->name).rfind(stem, 0) == 0) return *i;
        throw std::runtime_error("no " + stem);
    }
    static void Drag(Instance& inst, const Vector3& to, const Vector3& turn = {}) {
        BeginDrag(inst);
        inst.SetPosition(to.x, to.y, to.z);
        inst.SetRotation(inst.rotation.x + turn.x, inst.rotation.y + turn.y, inst.rotation.z + turn.z);
        EndDrag();
    }

};

TEST_F(EditsTest, UndoAndRedoRestoreExactPlacementsAndContainerOrder) {
    auto& list = TheScene().InstanceList;
    const std::vector<std::uint32_t> order = Order(list);
    Instance& house = Named("house_002");
    const Vector3 home = house.position, turned = house.rotation;
    EXPECT_FALSE(HasUnsavedEdits());
    Drag(house, home + Vector3(5, 0, 0));
    Drag(house, home + Vector3(5, 7, 0), {0, 0, 0.5f});
    BeginDrag(house);
    EndDrag();  // a click without a move is no step
    EXPECT_EQ(TheEdits().steps.size(), 2u);
    EXPECT_TRUE(HasUnsavedEdits());
    Instance* rock = &Named("rock");
    ASSERT_TRUE(DeleteInstance(*rock));
    EXPECT_EQ(list.size(), order.size() - 1);
    EXPECT_EQ(ShadowCandidates().size(), 0u);

    // A terrain object out of its group: the group's last one fills the gap.
    auto& group = TheScene().TerrainObjectsByHeight[1];
    const std::vector<std::uint32_t> groupOrder = Order(group);
    ASSERT_GE(group.size(), 3u);
    ASSERT_TRUE(DeleteInstance(*group[1]));
    EXPECT_EQ(group[1]->SerialId, groupOrder.back());

    Instance* restored = Undo();
    EXPECT_EQ(restored, group[1].get());
    EXPECT_EQ(Order(group), groupOrder);
    EXPECT_EQ(Undo(), rock);
    EXPECT_EQ(Order(list), order);  // back in its place, same serial
    EXPECT_EQ(Undo(), &house);
    EXPECT_EQ(house.position, home + Vector3(5, 0, 0));
    EXPECT_EQ(Undo(), &house);
    EXPECT_EQ(house.position, home);
    EXPECT_EQ(house.rotation, turned);
    EXPECT_EQ(Undo(), nullptr);
    EXPECT_FALSE(HasUnsavedEdits());

    EXPECT_EQ(Redo(), &house);
    EXPECT_EQ(Redo(), &house);
    EXPECT_EQ(house.position, home + Vector3(5, 7, 0));
    EXPECT_EQ(Redo(), nullptr);  // the rock is deleted again
    EXPECT_EQ(list.size(), order.size() - 1);
    // A new edit drops what could be redone.
    Drag(house, home);
    EXPECT_FALSE(CanRedo());
    EXPECT_EQ(TheEdits().steps.size(), 4u);
}

}  // namespace

namespace {

// Bookmarks survive a restart (they are read from the file again), per
// level, every number to the bit.
TEST(BookmarksTest, KeptPerLevelToTheBit) {
    TempDir home;
    SettingsHome settings(home.path());
    std::string problem, error;
    EXPECT_TRUE(LoadBookmarks("demo", problem).empty());
    EXPECT_EQ(problem, "");
    const std::vector<Bookmark> marks = {{"the pond", {12.5f, -3.25f, 8.1f}, 45.0f, -10.3f},
                                         {"two\nlines", {1e-7f, 3e6f, -0.0f}, 359.9f, 89.9f},
                                         {"odd", {0.1f, -123456.79f, 1.17549435e-38f}, -0.0f, 0.333333343f}};
    ASSERT_TRUE(SaveBookmarks("demo", marks, error)) << error;
    EXPECT_EQ(std::filesystem::path(BookmarksPath("demo")).lexically_normal(),
              std::filesystem::path(home.File("wildview/bookmarks-demo.txt")).lexically_normal());
    const std::vector<Bookmark> back = LoadBookmarks("demo", problem);
    ASSERT_EQ(back.size(), marks.size());
    for (std::size_t k = 0; k < marks.size(); ++k) {
        // Every number comes back to the bit, signs of zero included.
        const float sent[5] = {marks[k].position.x, marks[k].position.y, marks[k].position.z, marks[k].yaw,
                               marks[k].pitch};
        const float got[5] = {back[k].position.x, back[k].position.y, back[k].position.z, back[k].yaw, back[k].pitch};
        EXPECT_EQ(std::memcmp(sent, got, sizeof sent), 0) << k;
    }
    EXPECT_EQ(back[0].name, "the pond");
    EXPECT_EQ(back[1].name, "two lines");
    EXPECT_EQ(back[2].name, "odd");
    EXPECT_TRUE(LoadBookmarks("other/level", problem).empty());  // another level, and a name made safe
}

// Names are kept on one line, whole characters, within their cap: a NUL or
// a line end in a name never merges two bookmarks.
TEST(BookmarksTest, NamesAreCleanedToOneLineAndCapped) {
    const struct {
        std::string in, out;
    } cases[] = {
        {std::string("a\0b", 3), "a b"},
        {"two\r\nlines", "two  lines"},
        {"  \t ", ""},
        {std::string(300, 'x'), std::string(kMaxBookmarkName, 'x')},
        {"x" + [] { std::string e; for (int k = 0; k < 150; ++k) e += "\xC3\xA9"; return e; }(),
         "x" + [] { std::string e; for (int k = 0; k < 99; ++k) e += "\xC3\xA9"; return e; }()},
    };
    for (const auto& c : cases) EXPECT_EQ(CleanBookmarkName(c.in), c.out) << c.in;
}

// A damaged file: what can be read is kept (and written again), the file
// as it was is set aside beside earlier copies, and the user is told how
// many were kept. Line ends from Windows are not damage.
TEST(BookmarksTest, ADamagedFileKeepsItsGoodLinesAndEveryEarlierCopy) {
    TempDir home;
    SettingsHome settings(home.path());
    const std::string path = home.File("wildview/bookmarks-demo.txt");
    std::filesystem::create_directories(home.File("wildview"));
    const struct {
        const char* what;
        std::string text;
        std::size_t kept;
        bool damaged;
    } cases[] = {
        {"CR LF", "wildview bookmarks 1\r\n1 2 3 4 5 pond\r\n6 7 8 9 10 hill\r\n", 2, false},
        {"one bad number", "wildview bookmarks 1\n1 2 3 4 5 pond\n1 2 nan 4 5 bad\n6 7 8 9 10 hill\n", 2, true},
        {"not bookmarks", "wild\n1 x\n", 0, true},
        {"a second damaged file", "wildview bookmarks 1\nx\n1 2 3 4 5 pond\n", 1, true},
    };
    std::size_t asides = 0;
    for (const auto& c : cases) {
        WriteAll(path, std::vector<std::uint8_t>(c.text.begin(), c.text.end()));
        std::string problem;
        const std::vector<Bookmark> marks = LoadBookmarks("demo", problem);
        EXPECT_EQ(marks.size(), c.kept) << c.what;
        EXPECT_EQ(problem.empty(), !c.damaged) << c.what << ": " << problem;
        if (!c.damaged) {
            EXPECT_EQ(marks.back().name, "hill") << c.what;
            continue;
        }
        ++asides;
        EXPECT_NE(problem.find(std::to_string(c.kept) + (c.kept == 1 ? " bookmark was kept" : " bookmarks were kept")),
                  std::string::npos) << problem;
        const std::string aside = asides == 1 ? path + ".damaged" : path + ".damaged-" + std::to_string(asides);
        EXPECT_EQ(ReadAll(aside), std::vector<std::uint8_t>(c.text.begin(), c.text.end())) << c.what;
        // Read again: the kept ones, and nothing more to say.
        EXPECT_EQ(LoadBookmarks("demo", problem).size(), c.kept) << c.what;
        EXPECT_EQ(problem, "") << c.what;
    }
}

}  // namespace
