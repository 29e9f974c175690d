// Edits without a window: undo and redo of moves, turns and deletes, and the
// saved level read back.
#include <gtest/gtest.h>

#include <sys/stat.h>

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

// The saved level holds exactly the edits: untouched blocks byte for byte,
// the moved and turned records changed, the deleted ones gone; the diff
// lists the same, and the level loads again as it was left.
TEST_F(EditsTest, ASavedLevelHoldsTheEditsAndNothingElse) {
    Instance& house = Named("house_001");
    const Vector3 moved = house.position + Vector3(3.5f, -2, 0);
    Drag(house, moved, {0, 0, 0.25f});
    const std::string deletedName = Named("tree").name;
    ASSERT_TRUE(DeleteInstance(Named("tree")));
    Instance& ground = Named("terrain_r1c1");  // stored at z 0 whatever the instance says
    Drag(ground, ground.position + Vector3(1, 1, 0));

    TempDir out;
    std::string error;
    ASSERT_FALSE(SaveLevelAs(TheLevelFiles().GrfPath, error));  // never over the level it came from
    EXPECT_NE(error.find("cannot be saved over"), std::string::npos) << error;
    ASSERT_TRUE(SaveLevelAs(out.File("edited.grf"), error)) << error;
    EXPECT_FALSE(HasUnsavedEdits());
    EXPECT_FALSE(std::filesystem::exists(out.File("edited.grf.part")));

    BlockFile before, after;
    ASSERT_TRUE(before.Load(dir->File("demo.grf").c_str()));
    ASSERT_TRUE(after.Load(out.File("edited.grf").c_str()));
    ASSERT_EQ(before.GetBlockCount(), after.GetBlockCount());
    for (std::size_t n = 0; n < before.GetBlockCount(); ++n) {
        const char* name = before.Blocks()[n].GetName();
        if (name && std::string(name) == ".region") continue;
        EXPECT_EQ(before.Blocks()[n].data, after.Blocks()[n].data) << n;
    }
    EXPECT_EQ(after.FindBlockByName(".region")->size(), before.FindBlockByName(".region")->size() - 44);

    const RunResult diff = RunShell(out, std::string(WV_INSPECT) + " diff " + dir->File("demo.grf") + " " +
                                            out.File("edited.grf"));
    ASSERT_EQ(diff.status, 0) << diff.err;
    EXPECT_NE(diff.out.find("2 moved, 1 turned, 1 removed, 0 added"), std::string::npos) << diff.out;
    EXPECT_NE(diff.out.find("removed") , std::string::npos);
    EXPECT_NE(diff.out.find(deletedName), std::string::npos) << diff.out;

    // Opened again with the level's textures, the edits are where they were left.
    for (const char* f : {"demo-130.pid", "demo-130.swp"})
        std::filesystem::copy_file(dir->File(f), out.File(std::string("edited") + (f + 4)));
    LoadQuietly(out.File("edited-130.swp"));
    EXPECT_EQ(Named("house_001").position, moved);
    EXPECT_EQ(Named("terrain_r1c1").position.z, 0.0f);
    for (const auto& i : TheScene().InstanceList) EXPECT_NE(std::string(i->name), deletedName);
}

TEST_F(EditsTest, AFailedSaveSaysWhyAndLeavesNothing) {
    if (geteuid() == 0) {
        // Permissions do not stop root: a folder that does not exist does.
        std::string error;
        EXPECT_FALSE(SaveLevelAs(dir->File("no-such-folder/edited.grf"), error));
        EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
        EXPECT_FALSE(std::filesystem::exists(dir->File("no-such-folder")));
        return;
    }
    TempDir locked;
    chmod(locked.path().c_str(), 0500);
    std::string error;
    EXPECT_FALSE(SaveLevelAs(locked.File("edited.grf"), error));
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_empty(locked.path()));
    chmod(locked.path().c_str(), 0700);
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
                                         {"two\nlines", {1e-7f, 3e6f, -0.0f}, 359.9f, 89.9f}};
    ASSERT_TRUE(SaveBookmarks("demo", marks, error)) << error;
    EXPECT_EQ(BookmarksPath("demo"), home.File("wildview/bookmarks-demo.txt"));
    EXPECT_FALSE(std::filesystem::exists(BookmarksPath("demo") + ".part"));
    const std::vector<Bookmark> back = LoadBookmarks("demo", problem);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].name, "the pond");
    EXPECT_EQ(back[0].position, marks[0].position);
    EXPECT_EQ(back[0].yaw, 45.0f);
    EXPECT_EQ(back[0].pitch, -10.3f);
    EXPECT_EQ(back[1].name, "two lines");
    EXPECT_EQ(back[1].position, marks[1].position);
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
