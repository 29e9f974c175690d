#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "files/file_stream.h"
#include "files/name_handle.h"
#include "test_util.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/scene_writer.h"

namespace {

// A container image built by hand: header, block records, data, symbols.
struct RawBlock { std::uint32_t symbol, type, handle; std::vector<std::uint8_t> data; };
struct RawSymbol { std::uint32_t handle, refs; std::string name; };

std::vector<std::uint8_t> RawContainer(const std::vector<RawBlock>& blocks, const std::vector<RawSymbol>& symbols) {
    std::vector<std::uint8_t> out(48 + 32 * blocks.size());
    std::vector<std::uint32_t> offsets;
    for (const RawBlock& b : blocks) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), b.data.begin(), b.data.end());
    }
    const std::uint32_t symbolOffset = static_cast<std::uint32_t>(out.size());
    for (const RawSymbol& s : symbols) {
        const std::size_t at = out.size();
        PutU32(out, at, s.handle);
        PutU32(out, at + 4, static_cast<std::uint32_t>(s.name.size() + 1));
        PutU32(out, at + 8, s.refs);
        out.insert(out.end(), s.name.begin(), s.name.end());
        out.push_back(0);
    }
    PutU32(out, 0, kBlockFileMagic);
    PutU32(out, 4, static_cast<std::uint32_t>(out.size()));
    PutU32(out, 8, static_cast<std::uint32_t>(blocks.size()));
    PutU32(out, 12, static_cast<std::uint32_t>(symbols.size()));
    PutU32(out, 16, static_cast<std::uint32_t>(out.size()) - symbolOffset);
    PutU32(out, 20, symbolOffset);
    PutU32(out, 28, 12);
    PutU32(out, 32, 10);
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        const std::size_t r = 48 + 32 * n;
        PutU32(out, r + 0, blocks[n].symbol);
        PutU32(out, r + 8, offsets[n]);
        PutU32(out, r + 12, static_cast<std::uint32_t>(blocks[n].data.size()));
        PutU32(out, r + 24, blocks[n].type);
        PutU32(out, r + 28, blocks[n].handle);
    }
    return out;
}

bool LoadBytes(BlockFile& file, const std::vector<std::uint8_t>& bytes) {
    MemoryStream stream(bytes);
    return file.Load(stream, "memory.grf");
}

// The handle folds name and suffix as it reads them (lower case, '/' for
// '\'): the CRC of the whole folded text and the value, for any bytes.
TEST(NameHandleTest, HandlesAreTheCrcOfTheFoldedTextAndValue) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(MakeNameHandle(0, "A\\B", ""), 0xA5A50BE1u);
    EXPECT_EQ(MakeNameHandle(7, nullptr, nullptr), MakeNameHandle(7, "", ""));
    std::mt19937 rng(5);
    for (int n = 0; n < 300; ++n) {
        std::string name, suffix;
        for (std::size_t k = rng() % 24; k > 0; --k) name += static_cast<char>(1 + rng() % 255);
        for (std::size_t k = rng() % 6; k > 0; --k) suffix += static_cast<char>(1 + rng() % 255);
        std::string folded = name + suffix;
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            else if (c == '\\') c = '/';
        }
        const std::uint32_t value = static_cast<std::uint32_t>(rng());
        for (int k = 0; k < 4; ++k) folded += static_cast<char>(value >> (8 * k));
        EXPECT_EQ(MakeNameHandle(value, name.c_str(), suffix.c_str()), Crc32(folded.data(), folded.size())) << n;
    }
}

// Handles match their position with flag bits ignored; a name finds the
// first block of that name, case-sensitively.
TEST(BlockFileTest, LookupsByHandleAndByNameAndMissingFiles) {
    BlockFile file;
    ASSERT_TRUE(LoadBytes(file, RawContainer({}, {})));
    EXPECT_EQ(file.GetBlockCount() + file.GetSymbolCount(), 0u);
    EXPECT_EQ(file.GetBlock(0), nullptr);
    EXPECT_EQ(file.FindBlockHandleByName(".region"), kNotFound);

    const std::vector<RawBlock> blocks = {{7, 0, 0, {1}}, {9, 0, 1, {2}}, {9, 0, 2, {3}}, {9, 0, 0x80000003u, {4}}};
    ASSERT_TRUE(LoadBytes(file, RawContainer(blocks, {{7, 1, ".valuetable"}, {9, 3, ".region"}})));
    ASSERT_NE(file.GetBlock(3), nullptr);
    EXPECT_EQ(file.GetBlock(0x80000003u), file.GetBlock(3));
    EXPECT_EQ(file.GetBlock(3)->handle, 0x80000003u);
    EXPECT_EQ(file.GetBlock(4), nullptr);
    EXPECT_EQ(file.FindBlockHandleByName(".region"), 1u);
    ASSERT_NE(file.FindBlockByName(".region"), nullptr);
    EXPECT_EQ(file.FindBlockByName(".region")->data[0], 2);
    EXPECT_EQ(file.FindBlockByName(".Region"), nullptr);
    EXPECT_EQ(file.FindSymbolByName(".REGION"), kNotFound);
    EXPECT_EQ(file.GetSymbolName(8), nullptr);
    EXPECT_EQ(file.GetSymbolNameAt(2), nullptr);
    EXPECT_STREQ(file.GetBlock(2)->GetName(), ".region");

    EXPECT_FALSE(file.Load("/nonexistent/level.grf"));
    EXPECT_FALSE(file.Load("/tmp"));  // a directory is no file either
    EXPECT_FALSE(file.Save("/nonexistent-dir/level.grf"));
    EXPECT_FALSE(file.LastError().empty());
}

TEST(BlockFileTest, SaveThenLoadReproducesEverything) {
    TempDir dir;
    wvwrite::SceneWriter w;
    w.AddBlock(".region", 0, {1, 2, 3, 4});
    w.AddBlock("rock", kMeshBlockType, std::vector<std::uint8_t>(1000, 0xAB));
    w.AddBlock("rock", 0x1234, {});
    w.AddBlock("gone", 9, {5});
    w.file().FreeBlock(3);
    w.Symbol("textures\\grass");
    ASSERT_TRUE(w.Save(dir.File("level.grf"), nullptr));

    BlockFile loaded;
    ASSERT_TRUE(loaded.Load(dir.File("level.grf").c_str()));
    EXPECT_STREQ(loaded.FileName(), dir.File("level.grf").c_str());
    const BlockFile& original = w.file();
    ASSERT_EQ(loaded.GetBlockCount(), original.GetBlockCount());
    for (std::size_t n = 0; n < original.GetBlockCount(); ++n) {
        const BlockRecord &a = original.Blocks()[n], &b = loaded.Blocks()[n];
        EXPECT_TRUE(a.data == b.data && a.handle == b.handle && a.type == b.type && a.nameSymbol == b.nameSymbol) << n;
        EXPECT_STREQ(a.GetName(), b.GetName()) << n;
    }
    ASSERT_EQ(loaded.GetSymbolCount(), original.GetSymbolCount());
    for (std::size_t i = 0; i < original.GetSymbolCount(); ++i) {
        const SymbolRecord &a = original.Symbols()[i], &b = loaded.Symbols()[i];
        EXPECT_TRUE(a.handle == b.handle && a.refCount == b.refCount) << i;
        EXPECT_STREQ(a.Name(), b.Name()) << i;
    }
    // And the bytes themselves: the loaded file saves as the same file.
    EXPECT_EQ(loaded.SaveToMemory(), ReadAll(dir.File("level.grf")));
}

// The header words Save writes: magic, size, counts, the symbol table's size
// and offset, and the constants every level carries.
TEST(BlockFileTest, SavedHeaderCarriesItsConstants) {
    BlockFile file;
    file.NewBlock("a").data = {1, 2, 3};
    const std::vector<std::uint8_t> bytes = file.SaveToMemory();
    ASSERT_GE(bytes.size(), 48u);
    const std::uint32_t expected[12] = {kBlockFileMagic, static_cast<std::uint32_t>(bytes.size()), 1, 1, 14, 83, 0, 12, 10, 0, 0, 0};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(LoadU32(bytes.data() + 4 * k), expected[k]) << "header word " << k;

    // Words of no known use come back as a loaded file had them.
    std::vector<std::uint8_t> odd = bytes;
    const std::pair<std::size_t, std::uint32_t> words[] = {{24, 0x12345678}, {36, 7}, {44, 0xFFFFFFFF},
                                                           {48 + 4, 0xABCD}, {48 + 16, 1}, {48 + 20, 0x80000000}};
    for (const auto& [at, value] : words) PutU32(odd, at, value);
    MemoryStream stream(odd);
    BlockFile loaded;
    ASSERT_TRUE(loaded.Load(stream, "odd.grf")) << loaded.LastError();
    EXPECT_EQ(loaded.SaveToMemory(), odd);
}

// Hashed or, for handles that crowd one slot, sorted: every handle answers as
// the walk answers, repeated handles with their first record; and the index
// follows the table's changes.
TEST(BlockFileTest, SymbolIndexAnswersAsTheWalkForAnyHandles) {
    std::mt19937 rng(4);
    auto crowded = [](std::size_t n) {
        // Handles whose hash lands in one slot of a table of 2n (the index's rule).
        std::size_t slots = 16;
        while (slots < 2 * n) slots *= 2;
        std::vector<SymbolHandle> out;
        for (SymbolHandle h = 1; out.size() < n; ++h)
            if (((static_cast<std::uint64_t>(h) * 0x9E3779B97F4A7C15ull) >> 32 & (slots - 1)) == 3) out.push_back(h);
        return out;
    };
    struct Case { const char* what; std::vector<SymbolHandle> handles; bool sorted; };
    std::vector<Case> cases = {{"repeated", {5, 7, 5}, false}, {"sequential", {}, false},
                               {"random, some repeated", {}, false}, {"crowded", crowded(300), true}};
    for (SymbolHandle h = 0; h < 500; ++h) cases[1].handles.push_back(h * 16 + 0x00AF0000u);
    for (int i = 0; i < 500; ++i) cases[2].handles.push_back(i % 7 == 0 && i ? cases[2].handles[rng() % i] : rng());
    for (const Case& c : cases) {
        std::vector<RawSymbol> symbols;
        for (std::size_t i = 0; i < c.handles.size(); ++i) symbols.push_back({c.handles[i], 1, std::to_string(i)});
        BlockFile file;
        ASSERT_TRUE(LoadBytes(file, RawContainer({}, symbols))) << c.what;
        std::vector<SymbolHandle> asked = c.handles;
        for (int i = 0; i < 200; ++i) asked.push_back(rng());
        for (SymbolHandle h : asked) ASSERT_EQ(file.GetSymbolName(h), file.GetSymbolNameLinear(h)) << c.what << ", handle " << h;
        EXPECT_EQ(file.SymbolIndexSorted(), c.sorted) << c.what;
    }
    BlockFile file;
    ASSERT_TRUE(LoadBytes(file, RawContainer({}, {{5, 1, "first"}, {5, 1, "second"}})));
    EXPECT_STREQ(file.GetSymbolName(5), "first");
    const SymbolHandle added = file.AddSymbolReference("added");
    EXPECT_STREQ(file.GetSymbolName(added), "added");
    file.ReleaseSymbol(added);
    EXPECT_EQ(file.GetSymbolName(added), nullptr);
    ASSERT_TRUE(LoadBytes(file, RawContainer({}, {{9, 1, "nine"}})));
    EXPECT_EQ(file.GetSymbolName(5), nullptr);
    EXPECT_STREQ(file.GetSymbolName(9), "nine");
}

TEST(BlockFileTest, NewSymbolsTakeHandlesFromTheCounterInSortedPlace) {
    BlockFile file;
    const SymbolHandle next = PeekNextSymbolHandle();
    EXPECT_EQ(file.AddSymbolReference("m"), next);
    EXPECT_EQ(file.AddSymbolReference("b"), next + 16);
    EXPECT_EQ(file.AddSymbolReference("z"), next + 32);
    EXPECT_EQ(file.AddSymbolReference("m"), next);  // existing: one more reference
    ASSERT_EQ(file.GetSymbolCount(), 3u);
    EXPECT_STREQ(file.GetSymbolNameAt(0), "b");
    EXPECT_STREQ(file.GetSymbolNameAt(1), "m");
    EXPECT_STREQ(file.GetSymbolNameAt(2), "z");
    EXPECT_EQ(file.Symbols()[1].refCount, 2u);

    file.ReleaseSymbol("m");
    EXPECT_EQ(file.Symbols()[1].refCount, 1u);
    file.ReleaseSymbol(next);  // by handle, the last reference
    EXPECT_EQ(file.FindSymbolByName("m"), kNotFound);
    file.ReleaseSymbol("unknown");
    file.ReleaseSymbol(0x12345678u);
    EXPECT_EQ(file.GetSymbolCount(), 2u);
}

TEST(BlockFileTest, FreedSlotsAreReusedAndRenamingMovesReferences) {
    BlockFile file;
    file.NewBlock("first").data = {1};
    file.NewBlock("second").data = {2};
    EXPECT_EQ(file.GetBlock(1)->handle, 1u | kNewBlockFlag);
    file.FreeBlock(0);
    EXPECT_EQ(file.GetBlock(0)->size(), 0u);
    EXPECT_STREQ(file.GetBlock(0)->GetName(), "first");  // kept until reused

    BlockRecord& reused = file.NewBlock("third");
    EXPECT_EQ(&reused, file.GetBlock(0));
    EXPECT_EQ(reused.handle, 0u | kNewBlockFlag);
    EXPECT_EQ(file.FindSymbolByName("first"), kNotFound);  // its last reference went with the slot
    reused.SetName("second");
    EXPECT_EQ(file.FindSymbolByName("third"), kNotFound);
    EXPECT_EQ(file.Symbols()[0].refCount, 2u);
    reused.SetName("second");  // same name: nothing happens
    EXPECT_EQ(file.Symbols()[0].refCount, 2u);
}

// ---- the shared buffer against block-by-block reads --------------------------

// Loads both ways and expects everything a load leaves, successful or not,
// the same in both; gives what the shared-buffer load returned.
bool ExpectSameLoad(const std::vector<std::uint8_t>& bytes, const std::string& what) {
    BlockFile fast, plain;
    bool ok[2];
    std::string printed[2];
    for (bool p : {false, true}) {
        MemoryStream stream(bytes);
        testing::internal::CaptureStdout();
        ok[p] = (p ? plain : fast).Load(stream, "memory.grf", p);
        printed[p] = testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(ok[0], ok[1]) << what;
    EXPECT_EQ(printed[0], printed[1]) << what;
    EXPECT_EQ(fast.LastError(), plain.LastError()) << what;
    EXPECT_TRUE(ok[0] || !fast.LastError().empty()) << what;
    EXPECT_EQ(fast.GetBlockCount(), plain.GetBlockCount()) << what;
    for (std::size_t n = 0; n < std::min(fast.GetBlockCount(), plain.GetBlockCount()); ++n) {
        const BlockRecord &x = fast.Blocks()[n], &y = plain.Blocks()[n];
        EXPECT_TRUE(x.type == y.type && x.handle == y.handle && x.nameSymbol == y.nameSymbol &&
                    x.fileOffset == y.fileOffset && x.data == y.data) << what << " block " << n;
        EXPECT_FALSE(y.data.Shared()) << what << " block " << n;
    }
    EXPECT_EQ(fast.GetSymbolCount(), plain.GetSymbolCount()) << what;
    for (std::size_t i = 0; i < std::min(fast.GetSymbolCount(), plain.GetSymbolCount()); ++i) {
        const SymbolRecord &x = fast.Symbols()[i], &y = plain.Symbols()[i];
        EXPECT_TRUE(x.handle == y.handle && x.refCount == y.refCount) << what << " symbol " << i;
        EXPECT_STREQ(x.Name(), y.Name()) << what << " symbol " << i;
        // The lookup answers with the first record's own text, the same
        // pointer (empty names included), as block names are compared by it.
        std::size_t first = 0;
        while (fast.Symbols()[first].handle != x.handle) ++first;
        EXPECT_EQ(fast.GetSymbolName(x.handle), fast.Symbols()[first].Name()) << what << " symbol " << i;
    }
    return ok[0];
}

std::vector<std::uint8_t> WrittenSceneFile(bool demo, std::uint64_t seed) {
    TempDir dir;
    std::string error;
    const bool ok = demo ? wvwrite::WriteDemoLevel(dir.path(), &error)
                         : wvwrite::WriteBenchLevel(dir.path(), 400, 40, 12, seed, &error);
    EXPECT_TRUE(ok) << error;
    return ReadAll(dir.File(demo ? "demo.grf" : "bench.grf"));
}

TEST(BlockFileTest, TheSharedBufferLoadsWhatBlockByBlockReadsLoad) {
    // Levels as the writer makes them: every block a slice of one buffer. A
    // file on disk loads as the same bytes in memory.
    TempDir dir;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {{"demo", WrittenSceneFile(true, 0)}};
    for (std::uint64_t seed : {1u, 2u, 3u}) files.push_back({"bench " + std::to_string(seed), WrittenSceneFile(false, seed)});
    for (const auto& [what, bytes] : files) {
        EXPECT_TRUE(ExpectSameLoad(bytes, what));
        BlockFile file, disk;
        ASSERT_TRUE(LoadBytes(file, bytes)) << what;
        for (const BlockRecord& b : file.Blocks()) EXPECT_TRUE(b.data.Shared()) << what;
        WriteAll(dir.File("level.grf"), bytes);
        ASSERT_TRUE(disk.Load(dir.File("level.grf").c_str())) << what;
        EXPECT_EQ(disk.SaveToMemory(), bytes) << what;
    }

    // Layouts Save never writes, and damaged ones.
    const std::vector<std::uint8_t> good =
        RawContainer({{1, 0, 0, {1, 2, 3, 4}}, {1, 4, 1, {5, 6, 7}}, {2, 0, 2, {}}}, {{1, 2, "a"}, {2, 1, "b"}});
    const std::size_t rec1 = 48 + 32, rec2 = 48 + 64, symbols = LoadU32(good.data() + 20);
    const struct {
        const char* what;
        std::size_t at;  // word to overwrite (SIZE_MAX: truncate to `value` bytes)
        std::uint32_t value;
        bool loads;
    } cases[] = {
        {"as written", 0, kBlockFileMagic, true},
        {"two blocks on the same bytes", rec1 + 8, LoadU32(good.data() + 48 + 8), true},
        {"a block inside another", rec1 + 12, 1, true},
        {"a block over the block table", rec1 + 8, 8, true},
        {"a block over the symbol table", rec2 + 8, static_cast<std::uint32_t>(symbols), true},
        {"an empty block at the very end", rec2 + 8, static_cast<std::uint32_t>(good.size()), true},
        {"a symbol size the header overstates", 16, 0xFFFFFFFF, true},
        {"a symbol size the header understates", 16, 0, true},
        {"the symbol table over the blocks", 20, 48 + 3 * 32, false},
        {"the first name cut before its zero", symbols + 4, 1, false},
        {"a name of no bytes", symbols + 4, 0, false},
        {"short header", SIZE_MAX, 40, false},
        {"wrong magic", 0, 0x0ACEBABF, false},
        {"block count beyond the file", 8, 0xFFFFFFFF, false},
        {"block count one too many", 8, 4, false},
        {"a handle off its position", rec1 + 28, 7, false},
        {"data offset past the end", 48 + 8, 0x7FFFFFFF, false},
        {"data size past the end", 48 + 12, 0xFFFFFFF0, false},
        {"second block's data past the end", rec1 + 12, 42, false},
        {"symbol table offset past the end", 20, 0xFFFFFF00, false},
        {"symbol count beyond the file", 12, 0x40000000, false},
        {"symbol count one too many", 12, 3, false},
        {"symbol name length past the end", symbols + 4, 0xFFFFFFFF, false},
        {"truncated symbol table", SIZE_MAX, static_cast<std::uint32_t>(good.size() - 1), false},
        {"truncated in the blocks", SIZE_MAX, static_cast<std::uint32_t>(symbols - 2), false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = good;
        if (c.at == SIZE_MAX) bytes.resize(c.value);
        else PutU32(bytes, c.at, c.value);
        EXPECT_EQ(ExpectSameLoad(bytes, c.what), c.loads) << c.what;
    }

    // The last symbol's name without its zero (and a length that says so) is
    // terminated all the same.
    std::vector<std::uint8_t> bytes = RawContainer({}, {{3, 1, "abc"}});
    bytes.pop_back();
    PutU32(bytes, 48 + 4, 3);
    PutU32(bytes, 4, static_cast<std::uint32_t>(bytes.size()));
    BlockFile file;
    ASSERT_TRUE(ExpectSameLoad(bytes, "an unterminated last name") && LoadBytes(file, bytes));
    EXPECT_STREQ(file.GetSymbolName(3), "abc");
}

TEST(BlockFileTest, ChangingASharedBlockLeavesTheBlocksItOverlapsAlone) {
    std::vector<std::uint8_t> bytes = RawContainer({{1, 0, 0, {1, 2, 3, 4}}, {1, 0, 1, {9, 9, 9, 9}}}, {{1, 2, "a"}});
    PutU32(bytes, 48 + 32 + 8, LoadU32(bytes.data() + 48 + 8));  // block 1 on block 0's bytes
    BlockFile file;
    ASSERT_TRUE(LoadBytes(file, bytes));
    ASSERT_TRUE(file.GetBlock(0)->data.Shared() && file.GetBlock(1)->data.Shared());
    file.GetBlock(0)->data[0] ^= 0xFF;
    EXPECT_FALSE(file.GetBlock(0)->data.Shared());
    // Save writes each block's own bytes.
    BlockFile again;
    ASSERT_TRUE(LoadBytes(again, file.SaveToMemory()));
    EXPECT_EQ(again.GetBlock(0)->data, BlockData({0xFE, 2, 3, 4}));
    EXPECT_EQ(again.GetBlock(1)->data, BlockData({1, 2, 3, 4}));
}

TEST(BlockFileTest, WideGapsAreReadAroundNotThrough) {
    // Four bytes of blocks, then the symbol table a mebibyte further on: the
    // gap is not read, the blocks are read on their own.
    std::vector<std::uint8_t> bytes = RawContainer({{1, 0, 0, {1, 2, 3, 4}}}, {{1, 1, "a"}});
    const std::size_t symbols = LoadU32(bytes.data() + 20);
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(symbols), 1u << 20, 0);
    PutU32(bytes, 20, static_cast<std::uint32_t>(symbols + (1u << 20)));
    PutU32(bytes, 4, static_cast<std::uint32_t>(bytes.size()));
    EXPECT_TRUE(ExpectSameLoad(bytes, "a wide gap"));
    BlockFile file;
    ASSERT_TRUE(LoadBytes(file, bytes));
    EXPECT_FALSE(file.GetBlock(0)->data.Shared());
    EXPECT_EQ(file.GetBlock(0)->data, BlockData({1, 2, 3, 4}));
    EXPECT_STREQ(file.GetSymbolName(1), "a");
}

TEST(FileStreamTest, ReadsAndSeeksStayInsideTheStream) {
    const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5};
    MemoryStream s(bytes);
    EXPECT_FALSE(s.Open("x", "wb"));
    ASSERT_TRUE(s.Open("x", "rb"));
    std::uint8_t buf[8] = {};
    EXPECT_TRUE(s.Read(buf, 2));
    EXPECT_TRUE(s.Seek(1, FileStream::kCurrent));
    EXPECT_TRUE(s.Read(buf, 2));
    EXPECT_EQ(buf[0], 4);
    EXPECT_FALSE(s.Read(buf, 1));  // at the end: a short read is a failure
    EXPECT_TRUE(s.Seek(-5, FileStream::kEnd));
    EXPECT_FALSE(s.Seek(6, FileStream::kBegin));
    EXPECT_TRUE(s.Seek(5, 7));  // unknown origins mean "from the start"
    EXPECT_FALSE(s.Seek(-1, FileStream::kBegin));

    TempDir dir;
    WriteAll(dir.File("f"), bytes);
    PlainFileStream p;
    EXPECT_FALSE(p.Open(dir.File("f").c_str(), "w"));
    ASSERT_TRUE(p.Open(dir.File("f").c_str(), "rb"));
    EXPECT_TRUE(p.Seek(3, FileStream::kBegin));
    EXPECT_TRUE(p.Read(buf, 2));
    EXPECT_EQ(buf[1], 5);
    EXPECT_FALSE(p.Read(buf, 1));
    EXPECT_FALSE(p.Seek(6, FileStream::kBegin));
    PlainFileStream missing;
    EXPECT_TRUE(missing.Open("/nonexistent", "r"));  // failure shows at the first read
    EXPECT_FALSE(missing.Read(buf, 1));
}

}  // namespace
