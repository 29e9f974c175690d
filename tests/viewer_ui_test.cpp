// The viewer's own tools against the scripted platform, and on a headless
// context where they draw: the object list, select and fly, bookmarks,
// undo from the keys, the title, and the question before quitting.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <set>

#include "edit/edits.h"
#include "app/input.h"
#include "app/main_loop.h"
#include "render/frame.h"
#include "render/highlight.h"
#include "files/texture_database.h"
#include "render/measure.h"
#include "render/picking.h"
#include "app/pointer.h"
#include "terrain/terrain.h"
#include "render/scene_pass.h"
#include "app/viewer_tools.h"
#include "render/view_setup.h"
#include "diag/state_registry.h"
#include "demo_fixture.h"
#include "gl_fixture.h"
#include "headless/headless_level.h"
#include "resources/resources.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"

namespace {

using platform::ListKind;
using platform::Message;
using platform::MessageKind;

Message Key(int key, bool down = true) { return {.kind = down ? MessageKind::KeyDown : MessageKind::KeyUp, .key = key}; }
Message Command(int id) { return {.kind = MessageKind::Command, .command = id}; }
Message Choose(ListKind list, int row, int command) {
    return {.kind = MessageKind::ListChoice, .command = command, .list = list, .row = row};
}

class ViewerUiTest : public DemoSuite<GlTest> {
protected:
    static void SetUpTestSuite() {
        DemoSuite::SetUpTestSuite();
        ASSERT_TRUE(wvwrite::WriteBenchLevel(dir->path(), 2000, 200, 40, 3, nullptr));
    }
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        settings.emplace(dir->path());
        Load("demo-130.swp");
    }
    void TearDown() override {
        GlTest::TearDown();
        settings.reset();
    }
    void Load(const std::string& level) {
        LoadQuietly(File(level));
        SetUpDrawing();
    }
    platform::ListSource& List(ListKind kind) {
        EXPECT_TRUE(pf.lists.count(kind));
        return *pf.lists.at(kind);
    }
    std::optional<SettingsHome> settings;
};

TEST_F(ViewerUiTest, TheObjectListFiltersSortsAndFollowsDeletes) {
    Load("bench-130.swp");
    WindowProc(Key('O'));
    platform::ListSource& list = List(ListKind::Objects);
    std::size_t everything = TheScene().InstanceList.size();
    for (const auto& [key, group] : TheScene().TerrainObjectsByHeight) everything += group.size();
    EXPECT_EQ(list.Rows(), everything);
    EXPECT_EQ(list.Columns(), (std::vector<std::string>{"Record", "Name", "Model", "Class", "Position"}));

    // A model name, in any case: exactly the objects of that model.
    const std::string model = TheScene().InstanceList[3]->model->name;
    std::string shouted = model;
    for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    list.SetFilter(shouted);
    std::size_t expected = 0;
    for (const auto& inst : TheScene().InstanceList) expected += inst->model->name.find(model) != std::string::npos;
    ASSERT_GT(expected, 0u);
    EXPECT_EQ(list.Rows(), expected);
    for (std::size_t r = 0; r < list.Rows(); ++r) EXPECT_NE(list.Cell(r, 2).find(model), std::string::npos);

    list.SetFilter("");
    list.SortBy(1, false);  // names, descending
    for (std::size_t r = 1; r < list.Rows(); ++r) EXPECT_GE(list.Cell(r - 1, 1), list.Cell(r, 1));
    list.SortBy(0, true);  // records, ascending
    for (std::size_t r = 1; r < list.Rows(); ++r) EXPECT_LT(std::stoul(list.Cell(r - 1, 0)), std::stoul(list.Cell(r, 0)));

    // Choosing a row selects that object; deleting it takes it off the list.
    const std::string record = list.Cell(5, 0);
    WindowProc(Choose(ListKind::Objects, 5, platform::kListActivate));
    ASSERT_NE(TheEdits().selected, nullptr);
    EXPECT_EQ(std::to_string(TheEdits().selected->index), record);
    EXPECT_NE(pf.debug.find("\nSelect: " + std::to_string(TheEdits().selected->SerialId) + " 0"), std::string::npos);
    EXPECT_NE(pf.debug.find("\nInstance: " + std::string(5 - record.size(), ' ') + record + " "), std::string::npos);
    WindowProc(Key(platform::vk::kDelete));
    EXPECT_EQ(list.Rows(), everything - 1);
    EXPECT_NE(list.Cell(5, 0), record);
    WindowProc(Key(platform::vk::kControl));
    WindowProc(Key('Z'));  // the undo puts it back, and back on the list
    WindowProc(Key(platform::vk::kControl, false));
    EXPECT_EQ(list.Rows(), everything);
    EXPECT_EQ(list.Cell(5, 0), record);
    EXPECT_FALSE(TheInput().KeyState['Z']);  // Ctrl+Z never flies down
}

// Select and fly: the object ends up in the middle of the view.
TEST_F(ViewerUiTest, SelectAndFlyPutsTheObjectInTheMiddleOfTheView) {
    // A house turned about z on the demo; crates turned about every axis,
    // from a start off every diagonal, on the skew level.
    for (const auto& [level, name] : {std::pair{"demo-130.swp", "house_003"}, {"skew-130.swp", "crate_b"},
                                      {"skew-130.swp", "crate_c"}}) {
        Load(level);
        Instance* inst = nullptr;
        for (const auto& i : TheScene().InstanceList)
            if (std::string(i->name) == name) inst = i.get();
        ASSERT_NE(inst, nullptr) << name;
        SelectAndFly(*inst);
        EXPECT_EQ(TheEdits().selected, inst);
        EXPECT_LT(TheCamera().position.Distance(inst->sphere.centre), 4 * inst->sphere.radius + 3) << name;
        // Drawn from there, the object fills the middle of the view and is
        // what a click there picks.
        Clear(0, 0, 1);
        SetProjection();
        SetupCamera();
        glEnable(GL_DEPTH_TEST);
        DrawScenePass();
        const auto middle = Pixel(kWidth / 2, kHeight / 2);
        EXPECT_FALSE(middle[0] == 0 && middle[1] == 0 && middle[2] == 255) << name;
        const std::optional<PickHit> hit = PickObject(kWidth / 2, kHeight / 2);
        ASSERT_TRUE(hit) << name;
        EXPECT_EQ(hit->serial, inst->SerialId) << name;
        EXPECT_NE(WindowTitle().find(std::string(" - ") + name + " #" + std::to_string(inst->index)),
                  std::string::npos);
    }
}

// A measure on the demo's ground: the point under a pixel lies on the
// ground's heights along that pixel's ray; two measuring clicks draw the
// line over the view, and Escape takes it away.
TEST_F(ViewerUiTest, AMeasureOnTheGroundIsDrawnUntilEscape) {
    Camera& camera = TheCamera();
    camera.position = {-30, -60, TerrainHeightAt(-30, -60) + 30};
    camera.yaw = 20;
    camera.pitch = 35;  // looking down onto the ground
    for (const auto& [x, y] : {std::pair{8, 40}, {32, 56}, {56, 48}}) {
        const Vector3 ray = PixelRay(camera, TheView().viewport, x, y);
        const std::optional<Vector3> p = RayHitsGround(camera.position, ray, 1050);
        ASSERT_TRUE(p) << x << "," << y;
        EXPECT_NEAR(p->z, TerrainHeightAt(p->x, p->y), 0.01) << x << "," << y;
        EXPECT_NEAR((*p - camera.position).Normalised().Dot(ray), 1, 1e-5) << x << "," << y;
    }
    EXPECT_FALSE(RayHitsGround(camera.position, {0, 0, 1}, 1050)) << "straight up is sky";

    const auto magenta = [&] {
        TheFrame().LoadState = 2;
        TheView().help.visible = false;
        DrawFrame();
        int n = 0;
        const std::vector<std::uint8_t> px = Pixels();
        for (std::size_t k = 0; k + 3 < px.size(); k += 4) n += px[k] > 230 && px[k + 1] < 90 && px[k + 2] > 230;
        return n;
    };
    const int before = magenta();
    SetFlyingMode(false);
    const auto click = [](int x, int y) {
        WindowProc({.kind = MessageKind::LButtonDown, .x = x, .y = y, .shift = true, .control = true});
        WindowProc({.kind = MessageKind::LButtonUp, .x = x, .y = y});
    };
    click(8, 40);
    click(56, 48);
    ASSERT_EQ(TheMeasure().points, 2);
    const int drawn = magenta();
    EXPECT_GT(drawn, before + 20) << "the line runs across the view";
    WindowProc(Key(platform::vk::kEscape));
    EXPECT_EQ(TheMeasure().points, 0);
    EXPECT_FALSE(ThePointer().FlyingMode);
    EXPECT_EQ(magenta(), before);
}

// View / Textures on the demo: every entry with its name, size, format and
// users; the filter and the sort; a thumbnail that is the texture; choosing
// the bricks shows them with the index and colour under the pointer and
// marks the three houses in the view, until the picture goes; Save as PNG
// writes a palette picture.
TEST_F(ViewerUiTest, TheTextureBrowserListsChoosesMarksItsUsersAndSaves) {
    WindowProc(Command(kCmdTextures));
    platform::ListSource& list = List(ListKind::Textures);
    const TextureDatabase& db = TheTextureDatabase();
    ASSERT_EQ(list.Rows(), db.entries.size());
    EXPECT_EQ(list.Columns(), (std::vector<std::string>{"Entry", "Name", "Size", "Format", "Models", "Objects"}));
    EXPECT_TRUE(list.HasThumbnails());

    // Every stored size of the bricks carries their name; the one in use
    // (entry 30, as the inspector's --users reports it) has the house model
    // and its three objects.
    list.SetFilter("BRICKS");
    std::size_t versions = 0;
    for (const TextureEntry& e : db.entries) versions += e.identifier == db.entries[30].identifier;
    ASSERT_GE(versions, 2u);
    ASSERT_EQ(list.Rows(), versions);
    std::size_t inUse = list.Rows();
    for (std::size_t r = 0; r < list.Rows(); ++r) {
        EXPECT_EQ(list.Cell(r, 1), "demo\\bricks");
        EXPECT_EQ(list.Cell(r, 3), "16-bit palette, normal map");
        if (list.Cell(r, 0) == "30") inUse = r;
    }
    ASSERT_LT(inUse, list.Rows());
    EXPECT_EQ(list.Cell(inUse, 2), "128 x 128");
    EXPECT_EQ(list.Cell(inUse, 4), "1");
    EXPECT_EQ(list.Cell(inUse, 5), "3");
    list.SetFilter("normal map");
    for (std::size_t r = 0; r < list.Rows(); ++r) EXPECT_TRUE(db.entries[std::stoul(list.Cell(r, 0))].bump);
    list.SetFilter("");
    list.SortBy(5, false);  // objects, most first
    for (std::size_t r = 1; r < list.Rows(); ++r) EXPECT_GE(std::stoul(list.Cell(r - 1, 5)), std::stoul(list.Cell(r, 5)));
    list.SortBy(0, true);

    // The thumbnail is the texture, its nearest texels fitted into 32 x 32.
    platform::Image thumb;
    ASSERT_TRUE(list.Thumbnail(30, thumb));
    EXPECT_EQ(thumb.width, 32);
    EXPECT_EQ(thumb.height, 32);
    DecodedImage bricks;
    ASSERT_TRUE(db.DecodeImage(30, false, bricks));
    for (const auto& [x, y] : {std::pair{0, 0}, {5, 9}, {31, 31}}) {
        const std::size_t from = (std::size_t(y) * 4 * bricks.width + std::size_t(x) * 4) * 4;
        for (int c = 0; c < 4; ++c) EXPECT_EQ(thumb.rgba[(std::size_t(y) * 32 + x) * 4 + c], bricks.rgba[from + c]);
    }

    WindowProc(Choose(ListKind::Textures, 30, platform::kListActivate));
    ASSERT_EQ(pf.pictures.size(), 1u);
    const platform::PictureRequest& picture = pf.pictures[0];
    EXPECT_EQ(picture.title, "Texture 30: demo\\bricks (128 x 128)");
    EXPECT_EQ(picture.image.width, 128);
    EXPECT_EQ(picture.image.rgba, bricks.rgba);
    TexturePixels pixels;
    ASSERT_TRUE(db.ReadPixels(30, false, pixels));
    for (const auto& [x, y] : {std::pair{0, 0}, {17, 3}, {127, 127}}) {
        const unsigned index = pixels.indices[std::size_t(y) * 128 + x];
        const std::uint8_t* rgb = &bricks.rgba[(std::size_t(y) * 128 + x) * 4];
        EXPECT_EQ(picture.describe(x, y), "x " + std::to_string(x) + ", y " + std::to_string(y) + ": index " +
                                              std::to_string(index) + ", colour " + std::to_string(rgb[0]) + " " +
                                              std::to_string(rgb[1]) + " " + std::to_string(rgb[2]));
    }
    EXPECT_EQ(picture.describe(128, 0), "");
    ASSERT_EQ(TheHighlight().models.size(), 1u);
    EXPECT_EQ(TheHighlight().models[0]->name, "house");

    // From the third house's yard the marks are drawn; they go with the picture.
    TheCamera() = Camera{{-96, -56, 8}, 100, 12};
    TheFrame().LoadState = 2;
    TheView().help.visible = false;
    const auto cyan = [&] {
        DrawFrame();
        int n = 0;
        const std::vector<std::uint8_t> px = Pixels();
        for (std::size_t k = 0; k + 3 < px.size(); k += 4) n += px[k] < 90 && px[k + 1] > 200 && px[k + 2] > 230;
        return n;
    };
    EXPECT_GT(cyan(), 10);
    pf.ClosePicture();
    EXPECT_EQ(cyan(), 0);
    EXPECT_TRUE(TheHighlight().models.empty());

    // Save as PNG: a palette picture (colour type 3) where the user chose.
    pf.saveAnswers = {dir->File("bricks.png")};
    WindowProc(Command(kCmdSaveTexturePng));
    ASSERT_EQ(pf.saveDialogs.size(), 1u);
    EXPECT_EQ(pf.saveDialogs[0].initialName, "bricks.png");  // the name's last part
    const std::vector<std::uint8_t> png = ReadAll(dir->File("bricks.png"));
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png[1], 'P');
    EXPECT_EQ(png[25], 3) << "an indexed picture";
}

// On the skew level (nothing symmetric to hide a swapped count): each row's
// counts are those of a plain walk over the models' materials and the
// placed objects and terrain pieces, and the thumbnail keeps the entry's
// proportions.
TEST_F(ViewerUiTest, TheTextureBrowsersCountsOnTheSkewLevelAreAPlainWalks) {
    Load("skew-130.swp");
    WindowProc(Command(kCmdTextures));
    platform::ListSource& list = List(ListKind::Textures);
    const TextureDatabase& db = TheTextureDatabase();
    ASSERT_EQ(list.Rows(), db.entries.size());
    std::size_t used = 0;
    for (std::size_t r = 0; r < list.Rows(); ++r) {
        const std::uint32_t entry = static_cast<std::uint32_t>(std::stoul(list.Cell(r, 0)));
        std::set<const Model*> models;
        for (const auto& m : TheScene().ModelList)
            for (const Material& mat : m->materials)
                if (mat.hasTexture && mat.textureIndex == entry) models.insert(m.get());
        std::set<std::uint32_t> records;
        for (const auto& inst : TheScene().InstanceList)
            if (models.count(inst->model)) records.insert(inst->index);
        for (const auto& [key, group] : TheScene().TerrainObjectsByHeight)
            for (const auto& inst : group)
                if (models.count(inst->model)) records.insert(inst->index);
        EXPECT_EQ(list.Cell(r, 4), std::to_string(models.size())) << "entry " << entry;
        EXPECT_EQ(list.Cell(r, 5), std::to_string(records.size())) << "entry " << entry;
        used += !models.empty();
        const TextureEntry& e = db.entries[entry];
        EXPECT_EQ(list.Cell(r, 2), std::to_string(e.width) + " x " + std::to_string(e.height));
        platform::Image thumb;
        if (e.width && e.height && list.Thumbnail(r, thumb)) {
            EXPECT_EQ(thumb.width >= thumb.height, e.width >= e.height) << "entry " << entry;
        }
    }
    EXPECT_GT(used, 1u);
}

// A level of thousands of textures: the list opens with every entry and
// its users, a number in the filter finds that entry, and a thumbnail is
// only made for a row asked for (the last one here).
TEST_F(ViewerUiTest, TheTextureBrowserOpensOnThousandsOfTextures) {
    TempDir big;
    ASSERT_TRUE(wvwrite::WriteBenchLevel(big.path(), 3000, 300, 3000, 11, nullptr));
    LoadQuietly(big.File("bench-130.swp"));
    SetUpDrawing();
    const auto start = std::chrono::steady_clock::now();
    WindowProc(Command(kCmdTextures));
    platform::ListSource& list = List(ListKind::Textures);
    std::printf("the list of %zu textures opened in %.1f ms\n", list.Rows(),
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    ASSERT_EQ(list.Rows(), TheTextureDatabase().entries.size());
    ASSERT_GE(list.Rows(), 3000u);
    std::size_t used = 0, objects = 0;
    for (std::size_t r = 0; r < list.Rows(); ++r) {
        used += list.Cell(r, 4) != "0";
        objects += std::stoul(list.Cell(r, 5));
    }
    EXPECT_GT(used, 200u) << "the meshes use many of the textures";
    EXPECT_GE(objects, 2000u) << "most objects are counted under some texture";
    platform::Image thumb;
    ASSERT_TRUE(list.Thumbnail(list.Rows() - 1, thumb));
    EXPECT_LE(std::max(thumb.width, thumb.height), 32);
    list.SetFilter("2999");
    ASSERT_GE(list.Rows(), 1u);
    EXPECT_EQ(list.Cell(0, 0), "2999");
}

TEST_F(ViewerUiTest, BookmarksAreAddedJumpedToAndDeleted) {
    TheCamera() = Camera{{10, 20, 30}, 45, 10};
    pf.textAnswers = {std::string("the pond")};
    WindowProc(Command(kCmdAddBookmark));
    TheCamera() = Camera{{-5, -6, 7}, 0, 0};
    pf.textAnswers = {std::nullopt};  // cancelled: nothing added
    WindowProc(Command(kCmdAddBookmark));
    WindowProc(Command(kCmdBookmarks));
    platform::ListSource& list = List(ListKind::Bookmarks);
    ASSERT_EQ(list.Rows(), 1u);
    EXPECT_EQ(list.Cell(0, 0), "the pond");
    WindowProc(Choose(ListKind::Bookmarks, 0, platform::kListActivate));
    EXPECT_EQ(TheCamera().position, Vector3(10, 20, 30));
    EXPECT_EQ(TheCamera().yaw, 45.0f);
    WindowProc(Choose(ListKind::Bookmarks, 0, platform::kListDelete));
    EXPECT_EQ(list.Rows(), 0u);
}

// Quitting with unsaved edits asks, and Yes saves before quitting (Cancel,
// No and the title's mark are met end to end in viewer_e2e and shadows_e2e).
TEST_F(ViewerUiTest, QuittingWithUnsavedEditsAsksAndYesSavesFirst) {
    Instance& inst = *TheScene().InstanceList[3];
    BeginDrag(inst);
    inst.SetPosition(inst.position.x + 1, inst.position.y, inst.position.z);
    EndDrag();
    pf.answers = {platform::Answer::Yes};
    pf.saveAnswers = {dir->File("kept.grf")};
    WindowProc({.kind = MessageKind::Close});
    ASSERT_EQ(pf.boxes.size(), 1u);
    EXPECT_EQ(pf.boxes[0].buttons, platform::Buttons::YesNoCancel);
    EXPECT_EQ(pf.quitsPosted.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(dir->File("kept.grf")));
    EXPECT_FALSE(HasUnsavedEdits());
}

// The scene file changed on disk after the load (another tool saved over
// it): the save says so and writes only when told to.
TEST_F(ViewerUiTest, SavingAfterTheSceneFileChangedOnDiskAsksFirst) {
    TempDir copy;
    for (const char* name : {"demo.grf", "demo-130.pid", "demo-130.swp"})
        std::filesystem::copy_file(File(name), copy.File(name));
    LoadQuietly(copy.File("demo-130.swp"));
    SetUpDrawing();
    pf.saveAnswers = {copy.File("same.grf")};
    WindowProc(Command(kCmdSaveAs));
    EXPECT_TRUE(pf.boxes.empty()) << "asked with nothing changed on disk";
    ASSERT_TRUE(std::filesystem::exists(copy.File("same.grf")));

    const auto written = std::filesystem::last_write_time(copy.File("demo.grf"));
    std::filesystem::last_write_time(copy.File("demo.grf"), written + std::chrono::seconds(5));
    pf.answers = {platform::Answer::No};
    pf.saveAnswers = {copy.File("declined.grf")};
    WindowProc(Command(kCmdSaveAs));
    ASSERT_EQ(pf.boxes.size(), 1u);
    EXPECT_EQ(pf.boxes[0].buttons, platform::Buttons::YesNo);
    EXPECT_NE(pf.boxes[0].text.find("has changed on disk"), std::string::npos) << pf.boxes[0].text;
    EXPECT_FALSE(std::filesystem::exists(copy.File("declined.grf")));

    pf.answers = {platform::Answer::Yes};
    pf.saveAnswers = {copy.File("anyway.grf")};
    WindowProc(Command(kCmdSaveAs));
    EXPECT_EQ(ReadAll(copy.File("anyway.grf")), ReadAll(copy.File("same.grf")));
}

}  // namespace
