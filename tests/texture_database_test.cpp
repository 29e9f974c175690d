#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "files/texture_database.h"
#include "test_util.h"
#include "writer/texture_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using wvwrite::Rgb;
using wvwrite::TextureSpec;

TextureSpec Plain(std::uint32_t id, std::uint32_t w, std::uint32_t h, std::uint8_t fill = 1) {
    TextureSpec t;
    t.identifier = id;
    t.width = w;
    t.height = h;
    t.indices.assign(std::size_t{w} * h, fill);
    return t;
}

// A writer's database and pixel file, read back from memory.
class TextureDatabaseTest : public ::testing::Test {
protected:
    void Read() {
        pid = w.PidBytes();
        ASSERT_TRUE(db.ReadFromMemory(pid));
        db.pixelFile.OpenMemory(w.SwpBytes());
    }
    TexturePixels Pixels(int entry, bool normals = false) {
        TexturePixels px;
        EXPECT_TRUE(db.ReadPixels(entry, normals, px));
        return px;
    }
    Bytes Rgba(int entry, bool normals = false) {
        DecodedImage img;
        EXPECT_TRUE(db.DecodeImage(entry, normals, img));
        return img.rgba;
    }
    wvwrite::TextureSetWriter w;
    TextureDatabase db;
    Bytes pid;
};

TEST_F(TextureDatabaseTest, WriterDatabaseReadsBackToTheSameEntriesAndPalettes) {
    const std::uint32_t p0 = w.AddPalette({{1, 2, 3}, {4, 5, 6}});
    const std::uint32_t p1 = w.AddPalette(std::vector<Rgb>(64, Rgb{9, 9, 9}));
    TextureSpec a = Plain(0x11, 4, 2);
    a.palette = p0;
    a.rowPadding = 3;
    a.transparent = true;
    TextureSpec b = Plain(0x22, 8, 8);
    b.bits = 16;
    b.bump = true;
    b.palette = p1;
    b.kind = kInvisibleTextureKind;
    b.smallerVersions = 2;
    w.AddTexture(a);
    w.AddTexture(b);
    Read();
    EXPECT_FALSE(db.Truncated());
    ASSERT_EQ(db.entries.size(), w.Entries().size());
    ASSERT_EQ(db.entries.size(), 4u);
    for (std::size_t i = 0; i < db.entries.size(); ++i)
        EXPECT_EQ(std::memcmp(&db.entries[i], &w.Entries()[i], sizeof(TextureEntry)), 0) << i;
    EXPECT_EQ(db.entries[0].stride, 7u);
    EXPECT_EQ(db.entries[2].sizeCode, 4u);
    EXPECT_EQ(db.entries[3].sizeCode, 2u);
    ASSERT_EQ(db.paletteSizes, (std::vector<std::uint32_t>{2, 64, 256}));
    EXPECT_EQ(db.palettes[0], (Bytes{3, 2, 1, 0, 6, 5, 4, 0}));  // stored B, G, R, unused
    EXPECT_EQ(db.identifiers.size(), 2u);
    EXPECT_EQ(db.identifiers.at(0x22), 1);
}

TEST_F(TextureDatabaseTest, FindTextureChoosesTheStoredVersionThatFits) {
    w.AddTexture(Plain(0xA, 16, 16));                     // 0
    TextureSpec big = Plain(0xB, 512, 256);
    big.smallerVersions = 3;                             // 1: 512, 2: 256, 3: 128, 4: 64
    w.AddTexture(big);
    TextureSpec square = Plain(0xC, 256, 256);
    square.smallerVersions = 2;                          // 5: 256, 6: 128, 7: 64
    w.AddTexture(square);
    w.AddTexture(Plain(0xD, 512, 512));                   // 8: nothing smaller stored
    w.AddTexture(Plain(0xE, 8, 8));                       // 9
    w.AddTexture(Plain(0xE, 4, 4));                       // 10: a later full-size entry, same identifier
    Read();
    const struct { std::uint32_t id; std::int32_t max; int entry; } cases[] = {
        {0xA, 64, 0},   {0xB, 128, 3},  // 512 x 256 halves to 128 x 64: size code 128
        {0xB, 64, 4},   {0xB, 512, 1},  {0xC, 64, 7}, {0xC, 128, 6}, {0xD, 128, 8},
        {0xE, 64, 10},                   // starts from the later full-size entry
        {0xF, 64, -1},  {0xB, 0, 1},    {0xB, -5, 1},  // no hang on odd limits
    };
    for (const auto& c : cases) {
        db.MaxTextureSize = c.max;
        EXPECT_EQ(db.FindTexture(c.id), c.entry) << std::hex << c.id << " at " << std::dec << c.max;
    }
}

TEST_F(TextureDatabaseTest, EmptyOrWrongVersionsFailAndCountsLargerThanTheFileAreClampedToIt) {
    // An empty database has only the default palette.
    Read();
    ASSERT_EQ(db.palettes.size(), 1u);
    EXPECT_EQ(db.DefaultPaletteIndex(), 0u);
    ASSERT_EQ(db.paletteSizes[0], 256u);
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(Bytes(&db.palettes[0][4 * i], &db.palettes[0][4 * i + 3]), (Bytes{0xD2, 0xFF, 0x00})) << i;
    EXPECT_EQ(db.FindTexture(0), -1);

    EXPECT_FALSE(db.Read("/nonexistent.pid"));
    Bytes bytes = w.PidBytes();
    PutU32(bytes, 0, 0x131);
    EXPECT_FALSE(db.ReadFromMemory(bytes));
    EXPECT_FALSE(db.ReadFromMemory(Bytes{0x30, 0x01}));

    w.AddPalette({{1, 1, 1}});
    w.AddTexture(Plain(1, 2, 2));
    w.AddTexture(Plain(2, 2, 2));
    const Bytes good = w.PidBytes();
    const struct { const char* what; std::size_t word; std::uint32_t value; std::size_t entries, palettes; } cases[] = {
        {"entry count", 12, 0xFFFFFFFF, 2, 2},
        {"directory offset", 8, 0xFFFFFFF0, 0, 2},
        {"palette count", 20, 0x7FFFFFFF, 2, 0},  // file palette, then entries read as palettes, then the end
        {"palette colour count", 36, 0x40000000, 2, 2},
    };
    for (const auto& c : cases) {
        bytes = good;
        PutU32(bytes, c.word, c.value);
        ASSERT_TRUE(db.ReadFromMemory(bytes)) << c.what;
        EXPECT_TRUE(db.Truncated()) << c.what;
        EXPECT_EQ(db.entries.size(), c.entries) << c.what;
        if (c.palettes) {
            EXPECT_EQ(db.palettes.size(), c.palettes) << c.what;
        }
        EXPECT_LE(db.palettes.size(), bytes.size() / 16 + 1) << c.what;
    }
    // Cut inside the second entry: only the first survives.
    ASSERT_TRUE(db.ReadFromMemory(Bytes(good.begin(), good.end() - 10)));
    EXPECT_EQ(db.entries.size(), 1u);
    EXPECT_TRUE(db.Truncated());
}

// A 16-bit word holds the colour index in its top 6 bits and the normal
// code below (rows, strides and their decoding are read back in tools_test).
TEST_F(TextureDatabaseTest, SixteenBitWordsHoldTheColourAboveTheNormalCode) {
    TextureSpec e16 = Plain(2, 2, 2);
    e16.bits = 16;
    e16.indices = {63, 0, 1, 2};
    e16.normalCodes = {0x000, 0x001, 0x10F, 0x3FF};
    w.AddTexture(e16);
    Read();
    EXPECT_EQ(Pixels(0, true).normalCodes, (std::vector<std::uint16_t>{0x000, 0x001, 0x10F, 0x3FF}));
    // The raw words: 0xFC00 is colour 63 with codes 0, 0x0001 colour 0 with e = 1.
    const Bytes& swp = w.SwpBytes();
    EXPECT_EQ(swp[db.entries[0].offset] | (swp[db.entries[0].offset + 1] << 8), 0xFC00);
    EXPECT_EQ(swp[db.entries[0].offset + 2] | (swp[db.entries[0].offset + 3] << 8), 0x0001);
}

TEST(TextureNormalsTest, CodesBecomeBumpBytesCloseToTheirVector) {
    const struct { std::uint16_t code; Bytes bytes; } cases[] = {
        {(16 << 4) | 0, {255, 127, 127, 255}}, {0x10F, {139, 127, 254, 255}}, {0x000, {126, 0, 127, 255}}};
    std::uint8_t out[4];
    for (const auto& c : cases) {
        NormalCodeToBytes(c.code, out);
        EXPECT_EQ(Bytes(out, out + 4), c.bytes) << std::hex << c.code;
    }
    for (const Vector3& n : {Vector3{0, 0, 1}, {0.6f, 0, 0.8f}, {0, -0.6f, 0.8f}, {-0.3f, 0.3f, 0.905f}}) {
        NormalCodeToBytes(wvwrite::EncodeNormal(n.Normalised()), out);
        const Vector3 back(out[0] / 127.5f - 1, out[1] / 127.5f - 1, out[2] / 127.5f - 1);
        EXPECT_GT(back.Normalised().Dot(n.Normalised()), 0.98f) << n.x << " " << n.y << " " << n.z;
    }
}

// A palette the entry does not name, or an index past its colours (the
// plain and transparent cases are read back in tools_test).
TEST_F(TextureDatabaseTest, ColoursOutsideTheEntrysPaletteFallBack) {
    const std::uint32_t p = w.AddPalette({{10, 20, 30}, {40, 50, 60}});
    TextureSpec fallback = Plain(1, 2, 1);
    fallback.palette = p;
    fallback.indices = {0, 1};
    TextureSpec shortPalette = fallback;  // index 2 lies just past the two colours
    shortPalette.identifier = 2;
    shortPalette.indices = {2, 1};
    for (const TextureSpec& s : {fallback, shortPalette}) w.AddTexture(s);
    Read();
    db.entries[0].palette = 7;  // names no palette: the default one colours it
    EXPECT_EQ(Rgba(0), (Bytes{0, 255, 210, 255, 0, 255, 210, 255}));
    EXPECT_EQ(Rgba(1), (Bytes{0, 0, 0, 255, 40, 50, 60, 255}));
    DecodedImage img;
    ASSERT_TRUE(db.DecodeImage(1, false, img));
    EXPECT_TRUE(img.normals.empty());
}

TEST_F(TextureDatabaseTest, PixelsOutsideThePixelFileReadAsZerosAndHugeOrUnknownEntriesAreRefused) {
    w.AddTexture(Plain(1, 4, 4, 9));
    Read();
    Bytes swp = w.SwpBytes();
    swp.resize(6);  // one row and a half
    db.pixelFile.OpenMemory(swp);
    EXPECT_EQ(Pixels(0).indices, (Bytes{9, 9, 9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    db.entries[0].offset = 0xFFFFFFF0u;  // wholly outside
    EXPECT_EQ(Pixels(0).indices, Bytes(16, 0));
    db.pixelFile.Close();  // no pixel file at all reads as zeros too
    db.entries[0].offset = 0;
    EXPECT_EQ(Pixels(0).indices, Bytes(16, 0));

    TexturePixels px;
    EXPECT_FALSE(db.ReadPixels(5, false, px));
    EXPECT_FALSE(db.ReadPixels(-1, false, px));
    for (std::uint32_t TextureEntry::*side : {&TextureEntry::width, &TextureEntry::height}) {
        db.entries[0].*side = 0xFFFFFFFFu;
        EXPECT_FALSE(db.ReadPixels(0, false, px));
        EXPECT_TRUE(px.indices.empty());
        db.entries[0].*side = 4;
    }
    db.entries[0].bits = 24;  // other depths read nothing
    EXPECT_EQ(Pixels(0).indices, Bytes(16, 0));

    // A pixel file on disk.
    TempDir dir;
    WriteAll(dir.File("a.swp"), {1, 2, 3});
    PixelFile f;
    EXPECT_FALSE(f.OpenFile(dir.File("missing.swp").c_str()));
    ASSERT_TRUE(f.OpenFile(dir.File("a.swp").c_str()));
    std::uint8_t buf[5];
    f.ReadAt(1, buf, 5);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{2, 3, 0, 0, 0}));
}

}  // namespace
