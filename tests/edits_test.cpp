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
// level; a damaged file is set aside once and reported once.
TEST(BookmarksTest, KeptPerLevelAndADamagedFileIsSetAsideOnce) {
    TempDir home;
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    std::string problem, error;
    EXPECT_TRUE(LoadBookmarks("demo", problem).empty());
    EXPECT_EQ(problem, "");
    const std::vector<Bookmark> marks = {{"the pond", {12.5f, -3.25f, 8.1f}, 45.0f, -10.3f},
                                         {"two\nlines", {1e-7f, 3e6f, -0.0f}, 359.9f, 89.9f},
                                         {"odd", {0.1f, -123456.79f, 1.17549435e-38f}, -0.0f, 0.333333343f}};
    ASSERT_TRUE(SaveBookmarks("demo", marks, error)) << error;
    EXPECT_EQ(BookmarksPath("demo"), home.File("wildview/bookmarks-demo.txt"));
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
    EXPECT_TRUE(LoadBookmarks("other/level", problem).empty());  // another level, and a name made safe

    WriteAll(BookmarksPath("demo"), {'w', 'i', 'l', 'd', '\n', '1', ' ', 'x', '\n'});
    EXPECT_TRUE(LoadBookmarks("demo", problem).empty());
    EXPECT_NE(problem.find("could not be read"), std::string::npos) << problem;
    EXPECT_TRUE(std::filesystem::exists(BookmarksPath("demo") + ".damaged"));
    EXPECT_TRUE(LoadBookmarks("demo", problem).empty());
    EXPECT_EQ(problem, "");  // said once: the file is out of the way
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
