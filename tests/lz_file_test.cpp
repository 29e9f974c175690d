// Scene files compressed by the old compress.exe (Debian's mscompress
// writes the same format) that are damaged fail with their reason, never a
// crash or a read past the bytes. (Whole ones load as their plain files:
// the save test reads one back.)
#include <gtest/gtest.h>

#include "files/block_file.h"
#include "test_util.h"
#include "writer/skew_level.h"

namespace {

class LzFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        ASSERT_TRUE(wvwrite::WriteSkewLevel(dir->path(), nullptr));
        ASSERT_TRUE(LzCompress(dir->File("skew.grf"), dir->File("skew.grf_")));
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static inline TempDir* dir = nullptr;
};

// Damage of every kind: the load fails, says why, and the container is
// left empty.
TEST_F(LzFileTest, DamagedCompressedFilesFailWithTheirReason) {
    const std::vector<std::uint8_t> packed = ReadAll(dir->File("skew.grf_"));
    auto withLength = [&](std::uint32_t length) {
        std::vector<std::uint8_t> b = packed;
        PutU32(b, 10, length);
        return b;
    };
    const std::uint32_t length = static_cast<std::uint32_t>(ReadAll(dir->File("skew.grf")).size());
    const struct { const char* what; std::vector<std::uint8_t> bytes; std::string reason; } cases[] = {
        {"cut in the header", {packed.begin(), packed.begin() + 12}, "it is cut short in its header"},
        {"cut in the middle", {packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)},
         "it is cut short: "},
        {"a longer length than it holds", withLength(length + 100),
         "it is cut short: " + std::to_string(length) + " of its " + std::to_string(length + 100) + " bytes"},
        {"a length no data could reach", withLength(0xFFFFFFF0u),
         "it says it expands to 4294967280 bytes, more than its " + std::to_string(packed.size() - 14) +
             " compressed bytes can hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteAll(dir->File("damaged.grf"), c.bytes);
        BlockFile file;
        EXPECT_FALSE(file.Load(dir->File("damaged.grf").c_str()));
        EXPECT_EQ(file.LastError().rfind("the LZ-compressed file cannot be expanded: " + c.reason, 0), 0u)
            << file.LastError();
        EXPECT_EQ(file.GetBlockCount() + file.GetSymbolCount(), 0u);
        EXPECT_FALSE(file.LoadedCompressed());
    }
    // A shorter length keeps what it promises: the container is then cut.
    WriteAll(dir->File("damaged.grf"), withLength(length - 1000));
    BlockFile file;
    EXPECT_FALSE(file.Load(dir->File("damaged.grf").c_str()));
    EXPECT_EQ(file.LastError().find("LZ"), std::string::npos) << file.LastError();
}

}  // namespace
