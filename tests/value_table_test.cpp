#include <gtest/gtest.h>


#include "platform/scripted_platform.h"
#include "files/block_file.h"
#include "scene/value_table.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/value_table_builder.h"

namespace {

using wvwrite::Property;
using wvwrite::ValueTableBuilder;

std::vector<std::uint32_t> Members(const ValueEntry& e) { return {e.members.begin(), e.members.end()}; }

class ValueTableTest : public ::testing::Test {
protected:
    ValueTable Decode(const ValueTableBuilder& b) {
        ValueTable t;
        bytes = b.Bytes();
        t.Decode(bytes);
        return t;
    }
    std::size_t Boxes(const char* text) const {
        std::size_t n = 0;
        for (const auto& box : pf.boxes) {
            if (box.text == text) {
                EXPECT_EQ(box.caption, "");
                EXPECT_EQ(box.owner, platform::Owner::MainWindow);
                EXPECT_EQ(box.buttons, platform::Buttons::Ok);
                ++n;
            }
        }
        return n;
    }
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
    std::vector<std::uint8_t> bytes;
};

TEST_F(ValueTableTest, EveryKindDecodesAndConsumesItsPayload) {
    ValueTableBuilder b(0xA5);  // gaps full of junk: a reader must skip them
    b.AddBool("flag", true);
    b.AddEmpty("nothing");
    b.AddInt("count", -42);
    b.AddFloat("ratio", 0.5f);
    b.AddString("text", "hello");
    b.AddString("blank", "");
    b.AddEntry(0x7777, b.NameHandle("odd"), {});  // unknown kinds carry nothing
    b.AddList("list", {0, 2, 4});
    b.AddRawList(b.NameHandle("none"), 0, {});
    b.AddRawList(b.NameHandle("negative"), -3, {});
    b.AddEntry(0x8105, b.UnnamedHandle(), {});  // high bit: negative once sign-extended
    b.AddInt("last", 7);
    const ValueTable t = Decode(b);
    ASSERT_EQ(t.entries.size(), 12u);
    EXPECT_EQ(t.entries[0].kind, kValueBool);
    EXPECT_TRUE(t.entries[0].boolValue);
    EXPECT_EQ(t.entries[1].kind, kValueEmpty);
    EXPECT_EQ(t.entries[2].intValue, -42);
    EXPECT_EQ(t.entries[3].floatValue, 0.5f);
    EXPECT_EQ(t.entries[4].stringValue, "hello");
    EXPECT_EQ(t.entries[5].stringValue, "");
    EXPECT_EQ(t.entries[6].kind, 0x7777);
    EXPECT_EQ(Members(t.entries[7]), (std::vector<std::uint32_t>{0, 2, 4}));
    EXPECT_TRUE(t.entries[8].members.empty());
    EXPECT_TRUE(t.entries[9].members.empty());
    EXPECT_EQ(t.entries[10].kind, static_cast<std::int16_t>(0x8105));
    EXPECT_EQ(t.entries[10].name, "");  // its handle has no name record
    EXPECT_EQ(t.entries[11].name, "last");
    EXPECT_EQ(t.entries[11].intValue, 7);
}

// The lists view one array of the table's and the names its name records:
// each list its own part, through empty and unknown entries between them, a
// move and a decode of another block.
TEST_F(ValueTableTest, ListsAndNamesStayTheirOwnThroughAMoveAndAnotherDecode) {
    ValueTableBuilder b;
    b.AddList("a", {5, 6});
    b.AddInt("x", 1);
    b.AddRawList(b.NameHandle("none"), 0, {});
    b.AddEntry(0x7777, b.NameHandle("odd"), {});
    b.AddList("b", {1});
    b.AddList("c", {8, 9, 10, 11});
    b.AddEntry(0x102, b.UnnamedHandle(), {});
    ValueTable t = Decode(b);
    const std::vector<std::vector<std::uint32_t>> expected = {{5, 6}, {}, {}, {}, {1}, {8, 9, 10, 11}, {}};
    ASSERT_EQ(t.entries.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Members(t.entries[i]), expected[i]) << i;

    ValueTable moved(std::move(t));
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Members(moved.entries[i]), expected[i]) << i;
    ValueTable assigned;
    assigned = std::move(moved);
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Members(assigned.entries[i]), expected[i]) << i;
    EXPECT_EQ(assigned.LookupInt(4, "x"), 1);
    EXPECT_FALSE(assigned.HasKey(0, "x"));
    EXPECT_FALSE(assigned.HasKey(5, "x"));  // entries 8 to 11 are not there
    // The names view the table's name records, which moved with it.
    EXPECT_EQ(assigned.entries[1].name, "x");
    EXPECT_STREQ(assigned.entries[5].NameText(), "c");
    EXPECT_STREQ(assigned.entries[6].NameText(), "");  // no record: empty, never null

    ValueTableBuilder other;
    other.AddInt("x", 3);
    other.AddList("d", {0});
    const std::vector<std::uint8_t> again = other.Bytes();
    assigned.Decode(again);
    ASSERT_EQ(assigned.entries.size(), 2u);
    EXPECT_EQ(Members(assigned.entries[1]), (std::vector<std::uint32_t>{0}));
    EXPECT_EQ(assigned.LookupInt(1, "x"), 3);
}

TEST_F(ValueTableTest, OddCountsAndTruncatedBlocksKeepWhatWasWhole) {
    ValueTableBuilder repeated;  // a repeated handle keeps its last name
    repeated.AddNameRecord("first", 0x500);
    repeated.AddNameRecord("second", 0x500);
    repeated.AddEntry(0x103, 0x500, {1, 0, 0, 0});
    EXPECT_EQ(Decode(repeated).entries[0].name, "second");
    for (std::int32_t count : {0, -1}) {  // a stored entry count of zero or less means none
        ValueTableBuilder b;
        b.AddInt("x", 1);
        b.SetStoredEntryCount(count);
        EXPECT_TRUE(Decode(b).entries.empty()) << count;
    }

    ValueTableBuilder b;
    b.AddInt("a", 1);
    b.AddString("b", "text");
    b.AddList("c", {0, 1});
    const std::vector<std::uint8_t> whole = b.Bytes();
    // Cut at every length: never a crash, never an entry beyond its bytes.
    // An entry stays once its payload is whole (the 8 bytes after it may
    // be missing); the list once one member is.
    const std::size_t aEnd = b.EntryOffset(1) - 8, bEnd = b.EntryOffset(2) - 8;
    const std::size_t firstMember = b.EntryOffset(2) + 27 + 4 + 8;
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        ValueTable t;
        t.Decode(std::span<const std::uint8_t>(whole.data(), n));
        const std::size_t expected = (n >= aEnd) + (n >= bEnd) + (n >= firstMember);
        ASSERT_EQ(t.entries.size(), expected) << n;
        if (expected == 3) {
            EXPECT_EQ(t.entries[2].members.size(), n >= firstMember + 8 ? 2u : 1u) << n;
        }
    }
    // A list whose count is far beyond the block keeps the members that fit.
    ValueTableBuilder lying;
    lying.AddRawList(lying.NameHandle("l"), 0x7FFFFFFF, {1, 2});
    const ValueTable cut = Decode(lying);
    ASSERT_EQ(cut.entries.size(), 1u);
    EXPECT_GE(cut.entries[0].members.size(), 2u);
    EXPECT_LE(cut.entries[0].members.size(), 3u);  // the unread bytes after it may pass for one more
    EXPECT_EQ(cut.entries[0].members[0], 1u);
    ValueTableBuilder many;
    many.AddInt("a", 1);
    many.SetStoredEntryCount(0x7FFFFFFF);
    EXPECT_EQ(Decode(many).entries.size(), 1u);
}

TEST_F(ValueTableTest, LookupsReturnValuesOrTheirDefaultsAndIndicesOutOfRangeNeverMatch) {
    ValueTableBuilder b;
    const int table = b.AddTable({Property::String("Class", "CAnimal"), Property::Float("Diffuse", 0.9f),
                                  Property::Bool("Shadow", false), Property::Bool("Shadow", true),
                                  Property::Int("Height", 3), Property::String("Mesh", "wolf")});
    const int empty = b.AddTable({Property::Int("Other", 1)});
    const ValueTable t = Decode(b);
    const auto T = static_cast<std::uint32_t>(table), E = static_cast<std::uint32_t>(empty);

    EXPECT_EQ(t.LookupString(T, "Class"), "CAnimal");
    EXPECT_EQ(t.LookupFloat(T, "Diffuse"), 0.9f);
    EXPECT_FALSE(t.LookupBool(T, "Shadow"));  // the first of two members wins
    EXPECT_EQ(t.LookupInt(T, "Height"), 3);
    EXPECT_EQ(t.LookupString(T, "Mesh"), "wolf");
    EXPECT_TRUE(t.HasKey(T, "Height"));
    EXPECT_FALSE(t.HasKey(T, "height"));  // exact, case-sensitive
    EXPECT_TRUE(pf.boxes.empty());

    struct BoolDefault { const char* name; bool value; };
    for (const BoolDefault& d : {BoolDefault{"Visible", true}, {"Tangible", false}, {"AlwaysFace", false},
                                 {"Shadow", true}, {"Unlit", false}})
        EXPECT_EQ(t.LookupBool(E, d.name), d.value) << d.name;
    EXPECT_EQ(t.LookupFloat(E, "Diffuse"), 1.0f);
    EXPECT_EQ(t.LookupString(E, "Class"), "CInstance");
    EXPECT_EQ(t.LookupString(E, "Mesh"), "");
    EXPECT_TRUE(pf.boxes.empty());  // defaults with a built-in value say nothing

    // Member indices and tables out of range never match.
    ValueTableBuilder odd;
    odd.AddInt("Height", 4);                                                              // 0
    const int list = odd.AddRawList(odd.NameHandle("list"), 3, {1000, 0xFFFFFFFF, 0});  // 1
    const ValueTable o = Decode(odd);
    EXPECT_EQ(o.LookupInt(static_cast<std::uint32_t>(list), "Height"), 4);
    EXPECT_FALSE(o.HasKey(99, "Height"));
    EXPECT_EQ(o.LookupString(99, "Class"), "CInstance");
    EXPECT_FALSE(o.HasKey(0, "Height"));  // not a list: no members
}

TEST_F(ValueTableTest, UnknownNamesWarnOnceAndMissingIntsWarn) {
    ValueTableBuilder b;
    const auto table = static_cast<std::uint32_t>(b.AddTable({Property::Bool("Fancy", true), Property::Int("R", 9)}));
    const ValueTable t = Decode(b);
    EXPECT_TRUE(t.LookupBool(table, "Fancy"));  // warned about, value still returned
    EXPECT_EQ(Boxes("Warning: Valuetable name not known"), 1u);
    EXPECT_FALSE(t.LookupBool(table, "Sparkle"));
    EXPECT_EQ(t.LookupFloat(table, "Speed"), 0.0f);
    EXPECT_EQ(t.LookupString(table, "Label"), "");
    EXPECT_EQ(Boxes("Warning: Valuetable name not known"), 4u);
    EXPECT_EQ(t.LookupInt(table, "G"), 0);
    EXPECT_EQ(Boxes("Warning: Valuetable name not found"), 1u);
    EXPECT_EQ(t.LookupInt(table, "R"), 9);
    EXPECT_EQ(pf.boxes.size(), 5u);
}

// ---- names as numbers against names as texts --------------------------------

// Every list of the table, asked for every name it knows, names it does not,
// the empty name and near misses: the numbered lookup finds the member the
// text comparison finds.
void ExpectKeysFindWhatTextsFind(const ValueTable& t, const std::string& what) {
    std::vector<std::string> asked = {"", "Class", "class", "Classes", "Clas", "Nothing", "Shadow ", "Height"};
    for (const auto& [handle, text] : t.names) asked.push_back(text);
    std::size_t lists = 0, found = 0;
    for (std::uint32_t i = 0; i < t.entries.size() + 2; ++i) {
        if (i < t.entries.size() && t.entries[i].kind != kValueList) continue;
        ++lists;
        for (const std::string& name : asked) {
            const ValueEntry* plain = t.FindMemberPlain(i, name.c_str());
            EXPECT_EQ(t.FindMember(i, t.Key(name.c_str())), plain) << what << ", list " << i << ", '" << name << "'";
            found += plain != nullptr;
        }
    }
    EXPECT_EQ(t.FindMember(0, t.Key(nullptr)), nullptr) << what;
    EXPECT_GT(lists, 2u) << what;
    EXPECT_GT(found, 0u) << what;
}

TEST_F(ValueTableTest, NumberedNamesFindWhatTextComparisonsFind) {
    // Names that repeat under other handles, a handle whose text changes,
    // an entry whose handle has no record and one named by the empty text.
    ValueTableBuilder b;
    b.AddNameRecord("Shadow", 0x500);
    b.AddNameRecord("Shadow", 0x501);
    b.AddNameRecord("Height", 0x600);
    b.AddNameRecord("Width", 0x600);  // the last text of a handle wins
    b.AddNameRecord("", 0x700);
    const int s0 = b.AddEntry(kValueBool, 0x500, {0});
    const int s1 = b.AddEntry(kValueBool, 0x501, {1});
    const int w = b.AddEntry(kValueInt, 0x600, {7, 0, 0, 0});
    const int nameless = b.AddEntry(kValueInt, 0x999, {8, 0, 0, 0});
    const int empty = b.AddEntry(kValueInt, 0x700, {9, 0, 0, 0});
    const int cls = b.AddString("Class", "CSky");
    b.AddList("one", {static_cast<std::uint32_t>(s1), static_cast<std::uint32_t>(s0), static_cast<std::uint32_t>(w)});
    b.AddList("two", {static_cast<std::uint32_t>(nameless), static_cast<std::uint32_t>(empty),
                      static_cast<std::uint32_t>(cls), 12345});
    const ValueTable t = Decode(b);
    ExpectKeysFindWhatTextsFind(t, "made by hand");
    const std::uint32_t two = static_cast<std::uint32_t>(t.entries.size() - 1);
    EXPECT_EQ(t.LookupInt(two, ""), 8);  // the first member without a name text
    EXPECT_EQ(t.LookupInt(two - 1, "Width"), 7);
    EXPECT_FALSE(t.HasKey(two - 1, "Height"));

    // The property tables of written levels.
    TempDir dir;
    ASSERT_TRUE(wvwrite::WriteDemoLevel(dir.path(), nullptr));
    ASSERT_TRUE(wvwrite::WriteBenchLevel(dir.path(), 600, 30, 10, 8, nullptr));
    for (const char* level : {"demo.grf", "bench.grf"}) {
        BlockFile file;
        ASSERT_TRUE(file.Load(dir.File(level).c_str()));
        ValueTable table;
        table.Decode(file.FindBlockByName(".valuetable")->bytes());
        ExpectKeysFindWhatTextsFind(table, level);
    }
}

TEST_F(ValueTableTest, AKeyFromAnEarlierDecodeIsResolvedAgain) {
    ValueTableBuilder a;
    a.NameHandle("Padding");  // numbers the names differently from b
    const auto ta = static_cast<std::uint32_t>(a.AddTable({Property::Int("Height", 1)}));
    ValueTableBuilder b;
    const auto tb = static_cast<std::uint32_t>(b.AddTable({Property::Int("Width", 5), Property::Int("Height", 2)}));
    ValueTable t = Decode(a);
    const PropertyKey height = t.Key("Height"), width = t.Key("Width");
    EXPECT_EQ(t.LookupInt(ta, height), 1);
    EXPECT_EQ(width.id, kNoNameId);
    bytes = b.Bytes();
    t.Decode(bytes);  // the names are numbered anew
    EXPECT_EQ(t.LookupInt(tb, height), 2);
    EXPECT_EQ(t.LookupInt(tb, width), 5);
    EXPECT_TRUE(pf.boxes.empty());
}

}  // namespace
