// Malformed and hostile levels as a user meets them: a flood of messages
// (met end to end, a corrupted level and a close request under its boxes,
// in corrupt_level_e2e), property tables and region blocks cut short, and
// texture files shorter than they say.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "diag/log.h"
#include "diag/notices.h"
#include "files/texture_database.h"
#include "level_fixture.h"
#include "scene/level.h"
#include "scene/value_table.h"

namespace {

using wvwrite::Property;
using wvwrite::ValueTableBuilder;

// ---- the message flood -------------------------------------------------------

class NoticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetState(StateScope::Process);
        SetLogCapture(&log);
    }
    void TearDown() override {
        SetLogCapture(nullptr);
        ResetState(StateScope::Process);
    }
    void Notices(int n) {
        for (int i = 0; i < n; ++i)
            ShowNotice(platform::Owner::MainWindow, "index over " + std::to_string(i), "Unexpected Wildgrove Event");
    }
    std::size_t Count(const std::string& text, const std::string& in) const {
        std::size_t n = 0;
        for (std::size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
        return n;
    }

    std::string log;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(NoticeTest, ALoadShowsTheFirstFewThenOneBoxForTheRestOutsideEveryOne) {
    Notices(12);  // outside a load: every notice a box
    EXPECT_EQ(pf.boxes.size(), 12u);
    EXPECT_EQ(log, "");
    pf.boxes.clear();
    BeginLoadNotices();
    Notices(12);
    EXPECT_EQ(pf.boxes.size(), kLoadNoticeBoxes);
    EXPECT_EQ(EndLoadNotices(), 12 - kLoadNoticeBoxes);
    ASSERT_EQ(pf.boxes.size(), kLoadNoticeBoxes + 1);
    EXPECT_EQ(pf.boxes[4].text, "index over 4");
    EXPECT_EQ(pf.boxes[5].text, CollectedNoticesText(7));
    EXPECT_NE(pf.boxes[5].text.find("7 more messages"), std::string::npos);
    EXPECT_NE(pf.boxes[5].text.find("debug log"), std::string::npos);
    EXPECT_EQ(pf.boxes[5].owner, platform::Owner::MainWindow);
    // Every collected message is in the log and the debug output, in order.
    for (int i = 5; i < 12; ++i) {
        const std::string line = "\nWARNING: Unexpected Wildgrove Event: index over " + std::to_string(i);
        EXPECT_EQ(Count(line, log), 1u) << i;
        EXPECT_EQ(Count(line, pf.debug), 1u) << i;
    }
    EXPECT_EQ(Count("index over 4", log), 0u);  // shown, so not repeated there

    // The next load starts counting again; a quiet load shows no summary.
    BeginLoadNotices();
    Notices(2);
    EXPECT_EQ(EndLoadNotices(), 0u);
    EXPECT_EQ(pf.boxes.size(), kLoadNoticeBoxes + 3);
}

// ---- files cut short ---------------------------------------------------------

using CutShortTest = LevelTest;

// Three tables, then one list of all three; the block is cut in the names,
// between entries, inside the list's members or in the last entry's
// trailing bytes alone (which loses nothing).
TEST(ValueTableCut, KeepsWhatFitsAndSaysHowMuch) {
    ValueTableBuilder b;
    const auto t0 = static_cast<std::uint32_t>(b.AddTable({Property::String("Class", "CSky")}));
    const auto t1 = static_cast<std::uint32_t>(b.AddTable({Property::String("Class", "Player")}));
    const auto t2 = static_cast<std::uint32_t>(b.AddTable({Property::Int("Height", 2)}));
    b.AddList("all", {t0, t1, t2});
    const std::vector<std::uint8_t> whole = b.Bytes();
    // Just after the name record of the first name.
    const std::size_t afterName =
        static_cast<std::size_t>(std::find(whole.begin() + wvwrite::kValueNamesOffset, whole.end(), 0) - whole.begin()) + 9;
    const struct { const char* what; std::size_t size, entries; const char* warning; } cases[] = {
        {"in the names", afterName + 3, 0,
         "the .valuetable block is cut short: 1 of its 4 names and none of its entries were read"},
        {"between entries", b.EntryOffset(4) + 5, 4, "the .valuetable block is cut short: 4 of its 7 entries were read"},
        {"in a list's members", whole.size() - wvwrite::kValueEntryTrailer - 8, 7,
         "the .valuetable block is cut short: 7 of its 7 entries were read, the last of them in part"},
        {"in the trailing bytes", whole.size() - wvwrite::kValueEntryTrailer, 7, ""},
    };
    for (const auto& c : cases) {
        ValueTable t;
        const ValueTableDecode d = t.Decode(std::span<const std::uint8_t>(whole.data(), c.size));
        EXPECT_EQ(d.cutShort, *c.warning != 0) << c.what;
        EXPECT_EQ(t.entries.size(), c.entries) << c.what;
        EXPECT_EQ(d.entriesRead, c.entries) << c.what;
        EXPECT_EQ(d.Warning(), c.warning) << c.what;
        if (c.entries == 7) {
            // A list cut in its members keeps the ones that fit.
            ASSERT_EQ(t.entries.size(), 7u) << c.what;
            EXPECT_EQ(std::vector<std::uint32_t>(t.entries[6].members.begin(), t.entries[6].members.end()), (*c.warning ? std::vector<std::uint32_t>{t0, t1} : std::vector<std::uint32_t>{t0, t1, t2}))
                << c.what;
            EXPECT_EQ(t.LookupString(t1, "Class"), "Player") << c.what;
        }
    }
}

// A property table cut in the second object's list and a region block
// that promises more records than it holds: both logged, neither a box.
TEST_F(CutShortTest, BlocksCutShortAreLoggedWithoutABox) {
    const BlockHandle sq = Square("sq");
    Place(sq, "first", {Property::String("Class", "CInstance")});
    Place(sq, "second", {Property::String("Class", "CInstance")});
    std::vector<std::uint8_t> table = values.Bytes(), records = region.Bytes();
    table.resize(values.EntryOffset(values.EntryCount() - 1) + 4);
    PutU32(records, 0, 5);
    scene.AddBlock(".valuetable", 0, table);
    scene.AddBlock(".region", 0, records);
    AddTexture("tex", ".tga");
    Load("level", false, false);
    for (const std::string line : {"\nWARNING: the .valuetable block is cut short: 3 of its 4 entries were read",
                                   "\nWARNING: the .region block is cut short: it holds 2 of its 5 records"}) {
        EXPECT_TRUE(Logged(line)) << loaded.log;
        EXPECT_TRUE(Debug(line));
    }
    EXPECT_TRUE(loaded.platform.boxes.empty());
    EXPECT_EQ(S().InstanceList.size(), 2u);
    ASSERT_NE(Named("first"), nullptr);
    ASSERT_NE(Named("second"), nullptr);
    EXPECT_NE(Named("first")->valueTable, 0xFFFFFFFFu);
    EXPECT_EQ(Named("second")->valueTable, 0xFFFFFFFFu);
}

TEST_F(CutShortTest, TextureFilesShorterThanTheDatabaseSaysAreLogged) {
    Place(Square("sq"), "sq", {});
    AddTexture("tex", ".tga", 1.0f, 16);
    AddTexture("other", ".tga", 1.0f, 16);
    Load();
    EXPECT_FALSE(Logged("WARNING: the texture"));

    // The pixel file loses its last rows.
    const std::string swp = dir.File("level-130.swp");
    std::filesystem::resize_file(swp, std::filesystem::file_size(swp) - 40);
    headless::LoadLevel(swp, loaded);
    EXPECT_NE(loaded.log.find("\nWARNING: the texture pixel file holds " +
                              std::to_string(std::filesystem::file_size(swp)) +
                              " bytes, but the texture database points up to byte " +
                              std::to_string(std::filesystem::file_size(swp) + 40)),
              std::string::npos)
        << loaded.log;
    EXPECT_TRUE(Debug("WARNING: the texture pixel file holds"));
    EXPECT_TRUE(loaded.platform.boxes.empty());

    // The database loses its second entry's directory record.
    const std::string pid = dir.File("level-130.pid");
    std::filesystem::resize_file(pid, std::filesystem::file_size(pid) - 20);
    headless::LoadLevel(swp, loaded);
    EXPECT_TRUE(Logged("\nWARNING: the texture database is shorter than its header and palettes say: 1 entries and "))
        << loaded.log;
    EXPECT_TRUE(Debug("WARNING: the texture database is shorter"));
    EXPECT_TRUE(loaded.platform.boxes.empty());
}

TEST(PixelExtent, TheFurthestRowOfADecodableEntry) {
    TextureDatabase db;
    TextureEntry a{}, b{}, huge{}, flat{};
    a = {0, 100, 4, 3, 8, 8, 0, 0, 0, 0, 0, 0, 1, 0};     // rows at 100, 108, 116; 4 bytes each
    b = {0, 10, 2, 2, 4, 16, 0, 0, 0, 0, 0, 0, 2, 0};     // 16-bit: rows at 10, 14; 4 bytes each
    huge = {0, 900000, 8192, 1, 8192, 8, 0, 0, 0, 0, 0, 0, 3, 0};  // never decoded
    flat = {0, 500000, 0, 5, 8, 8, 0, 0, 0, 0, 0, 0, 4, 0};       // no texels
    db.entries = {a, b, huge, flat};
    EXPECT_EQ(db.PixelExtent(), 120u);
}

// ---- a large level -------------------------------------------------------------

// Many materials and many polygons in one mesh: the polygons are grouped by
// material in one pass. The test run's timeout is the guard against a
// return of the pass per material (which takes minutes at this size).
TEST_F(CutShortTest, ManyMaterialsTimesManyPolygonsLoad) {
    constexpr std::uint32_t kCount = 200000;
    const wvwrite::MeshSpec m = wvwrite::ManyMaterialsMesh("many", kCount, {"tex", ".tga", ""});
    Place(wvwrite::WriteMesh(scene, m), "many", {});
    AddTexture("tex", ".tga");
    Load();
    EXPECT_TRUE(loaded.platform.boxes.empty());
    const Instance* inst = Named("many");
    ASSERT_NE(inst, nullptr);
    ASSERT_EQ(inst->model->faces.size(), kCount);
    ASSERT_EQ(inst->model->materials.size(), kCount);
    bool ordered = true;
    for (std::uint32_t t = 0; t < kCount; ++t) ordered = ordered && inst->model->faces[t].material == t;
    EXPECT_TRUE(ordered) << "triangles come grouped by material";
}

}  // namespace
