// The command-line tools, run as a user runs them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <string>
#include <vector>

#include "files/name_handle.h"
#include "files/texture_database.h"
#include "test_util.h"
#include "writer/png_io.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"

namespace {

struct RunResult {
    int status;
    std::string out, err;
};

RunResult RunTool(const TempDir& dir, const std::string& args) {
    const std::string cmd = args + " >" + dir.File("stdout") + " 2>" + dir.File("stderr");
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir.File("stdout")), ReadText(dir.File("stderr"))};
}

std::string Inspect(const std::string& args) { return std::string(WV_INSPECT) + " " + args; }

// One clear line on standard error, nothing on standard output.
void ExpectCleanError(const RunResult& r, int status = 1) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_FALSE(r.err.empty());
    if (status == 1) {
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_EQ(r.err.rfind("wildview-inspect: ", 0), 0u) << r.err;
}

using wvwrite::Rgb;

class TextureExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        palette = {{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {255, 255, 0}};
        pal = w.AddPalette(palette);
        // 8-bit, 16-bit with normals, transparent, padded stride, default palette.
        Add(8, false, 0, pal, 5, 3);
        Add(16, false, 0, pal, 4, 4);
        Add(8, true, 0, pal, 6, 2);
        Add(8, false, 5, pal, 3, 3);
        Add(8, false, 2, kDefaultPaletteIndex, 2, 2);
        ASSERT_TRUE(w.Write(dir.File("t.pid"), dir.File("t.swp"), nullptr));
    }

    void Add(std::uint32_t bits, bool transparent, std::uint32_t padding, std::uint32_t paletteIndex,
             std::uint32_t width, std::uint32_t height) {
        wvwrite::TextureSpec s;
        s.identifier = static_cast<std::uint32_t>(specs.size() + 100);
        s.width = width;
        s.height = height;
        s.bits = bits;
        s.transparent = transparent;
        s.rowPadding = padding;
        s.palette = paletteIndex;
        for (std::uint32_t i = 0; i < width * height; ++i) s.indices.push_back(static_cast<std::uint8_t>((i * 7 + 1) % 4));
        if (bits == 16)
            for (std::uint32_t i = 0; i < width * height; ++i) s.normalCodes.push_back(static_cast<std::uint16_t>(i * 37 % 1024));
        specs.push_back(s);
        w.AddTexture(s);
    }

    // What the image must be, worked out from the writer's own input.
    std::vector<std::uint8_t> Expected(const wvwrite::TextureSpec& s) const {
        std::vector<std::uint8_t> rgba;
        for (std::uint8_t i : s.indices) {
            const Rgb c = s.palette == kDefaultPaletteIndex ? Rgb{0, 255, 210} : palette[i];
            rgba.insert(rgba.end(), {c.r, c.g, c.b, static_cast<std::uint8_t>(s.transparent && i == 0 ? 0 : 255)});
        }
        return rgba;
    }

    TempDir dir;
    wvwrite::TextureSetWriter w;
    std::vector<Rgb> palette;
    std::uint32_t pal = 0;
    std::vector<wvwrite::TextureSpec> specs;
};

TEST_F(TextureExportTest, ExportReproducesTheWrittenImagesExactly) {
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const std::string png = dir.File("out" + std::to_string(i) + ".png");
        const std::string normals = dir.File("n" + std::to_string(i) + ".png");
        const RunResult r = RunTool(dir, Inspect("texture " + dir.File("t.pid") + " " + dir.File("t.swp") + " " +
                                             std::to_string(i) + " " + png + " --normals " + normals));
        ASSERT_EQ(r.status, 0) << r.err;
        std::uint32_t width = 0, height = 0;
        std::vector<std::uint8_t> rgba;
        ASSERT_TRUE(wvwrite::ReadPng(png, width, height, rgba, nullptr));
        EXPECT_EQ(width, specs[i].width);
        EXPECT_EQ(height, specs[i].height);
        EXPECT_EQ(rgba, Expected(specs[i])) << "entry " << i;

        ASSERT_TRUE(wvwrite::ReadPng(normals, width, height, rgba, nullptr));
        for (std::size_t t = 0; t < specs[i].indices.size(); ++t) {
            std::uint8_t b[4] = {127, 127, 255, 255};
            if (!specs[i].normalCodes.empty()) NormalCodeToBytes(specs[i].normalCodes[t], b);
            ASSERT_EQ(std::vector<std::uint8_t>(rgba.begin() + 4 * t, rgba.begin() + 4 * t + 4),
                      std::vector<std::uint8_t>(b, b + 4)) << "entry " << i << " texel " << t;
        }
    }
}

TEST_F(TextureExportTest, TexturesJsonHasExactlyItsShape) {
    const RunResult r = RunTool(dir, Inspect("textures --json " + dir.File("t.pid")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string first =
              "{\"version\":304,\"entries\":[{\"index\":0,\"offset\":0,\"width\":5,\"height\":3,\"stride\":5,\"bits\":8,"
              "\"transparent\":false,\"bump\":false,\"kind\":0,\"palette\":0,\"identifier\":100,\"sizecode\":0},{\"index\":1,";
    EXPECT_EQ(r.out.substr(0, first.size()), first);
    EXPECT_NE(r.out.find("\"stride\":8,\"bits\":16"), std::string::npos);
    EXPECT_NE(r.out.find("\"transparent\":true"), std::string::npos);
    EXPECT_NE(r.out.find("\"palette\":4294967295,\"identifier\":104,\"sizecode\":0}],\"palettes\":[4,256]}\n"),
              std::string::npos);
}

TEST_F(TextureExportTest, LyingOrMissingFilesGiveOneLine) {
    ExpectCleanError(RunTool(dir, Inspect("textures " + dir.File("none.pid"))));
    ExpectCleanError(RunTool(dir, Inspect("texture " + dir.File("t.pid") + " " + dir.File("t.swp") + " 5 " + dir.File("x.png"))));
    ExpectCleanError(RunTool(dir, Inspect("texture " + dir.File("t.pid") + " " + dir.File("none.swp") + " 0 " + dir.File("x.png"))));

    std::vector<std::uint8_t> pid = ReadAll(dir.File("t.pid"));
    PutU32(pid, 12, 1000);  // more entries than the file holds
    WriteAll(dir.File("lying.pid"), pid);
    ExpectCleanError(RunTool(dir, Inspect("textures " + dir.File("lying.pid"))));
    PutU32(pid, 0, 0x200);
    WriteAll(dir.File("version.pid"), pid);
    ExpectCleanError(RunTool(dir, Inspect("textures --json " + dir.File("version.pid"))));

    std::vector<std::uint8_t> swp = ReadAll(dir.File("t.swp"));
    swp.resize(10);  // the pixel rows of the later entries are gone
    WriteAll(dir.File("short.swp"), swp);
    ExpectCleanError(RunTool(dir, Inspect("texture " + dir.File("t.pid") + " " + dir.File("short.swp") + " 3 " + dir.File("x.png"))));

    ExpectCleanError(RunTool(dir, Inspect("frobnicate")), 2);
    ExpectCleanError(RunTool(dir, Inspect("texture " + dir.File("t.pid"))), 2);
}

TEST(InspectBlocksTest, JsonEscapesEveryByteOfTheNames) {
    TempDir dir;
    wvwrite::SceneWriter s;
    s.AddBlock("a\"b\\c\n\x01\xE9", 4, {1, 2, 3});
    s.AddBlock(".region", 0, {});
    ASSERT_TRUE(s.Save(dir.File("x.grf"), nullptr));
    const RunResult r = RunTool(dir, Inspect("blocks " + dir.File("x.grf") + " --json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const SymbolHandle region = s.file().FindSymbolByName(".region");
    const SymbolHandle odd = s.file().FindSymbolByName("a\"b\\c\n\x01\xE9");
    EXPECT_EQ(r.out, "{\"blocks\":[{\"number\":0,\"handle\":2147483648,\"type\":4,\"size\":3,\"name\":"
                     "\"a\\\"b\\\\c\\n\\u0001\\u00E9\"},{\"number\":1,\"handle\":2147483649,\"type\":0,\"size\":0,"
                     "\"name\":\".region\"}],\"symbols\":[{\"handle\":" + std::to_string(region) +
                     ",\"refs\":1,\"name\":\".region\"},{\"handle\":" + std::to_string(odd) +
                     ",\"refs\":1,\"name\":\"a\\\"b\\\\c\\n\\u0001\\u00E9\"}]}\n");
}

TEST(InspectBlocksTest, BrokenContainersGiveOneLine) {
    TempDir dir;
    ExpectCleanError(RunTool(dir, Inspect("blocks " + dir.File("none.grf"))));
    WriteAll(dir.File("magic.grf"), std::vector<std::uint8_t>(48, 0));
    ExpectCleanError(RunTool(dir, Inspect("blocks --json " + dir.File("magic.grf"))));
    wvwrite::SceneWriter s;
    s.AddBlock("big", 0, std::vector<std::uint8_t>(100, 7));
    std::vector<std::uint8_t> bytes = s.file().SaveToMemory();
    bytes.resize(100);  // the block's data runs past the end now
    WriteAll(dir.File("cut.grf"), bytes);
    ExpectCleanError(RunTool(dir, Inspect("blocks " + dir.File("cut.grf"))));
}

TEST(InspectNameHandleTest, PrintsTheHandleOfAFloatAndAName) {
    TempDir dir;
    RunResult r = RunTool(dir, Inspect("namehandle 0 'A\\B'"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0xA5A50BE1\n");
    r = RunTool(dir, Inspect("namehandle 0.9 Tex\\\\Grass .tga"));
    char expected[16];
    std::snprintf(expected, sizeof expected, "0x%08X\n", MakeNameHandle(FloatBits(0.9f), "tex/grass", ".tga"));
    EXPECT_EQ(r.out, expected);
    ExpectCleanError(RunTool(dir, Inspect("namehandle one x")), 2);
}

TEST(MkLevelTest, DemoLevelIsTheSameOnEveryRun) {
    TempDir a, b;
    for (const TempDir* d : {&a, &b}) {
        const RunResult r = RunTool(*d, std::string(WV_MKLEVEL) + " demo " + d->path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    for (const char* name : {"demo.grf", "demo-130.pid", "demo-130.swp"}) {
        const std::vector<std::uint8_t> first = ReadAll(a.File(name));
        EXPECT_FALSE(first.empty()) << name;
        EXPECT_EQ(first, ReadAll(b.File(name))) << name;
    }
    const RunResult r = RunTool(a, Inspect("textures " + a.File("demo-130.pid")));
    EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace

namespace {

class InspectSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const RunResult r = RunTool(dir, std::string(WV_MKLEVEL) + " demo " + dir.path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    std::string Swp() const { return dir.File("demo-130.swp"); }
    TempDir dir;
};

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(InspectSceneTest, SceneJsonHasItsShapeAndTheDemoLoadsWithoutMessages) {
    const RunResult r = RunTool(dir, Inspect("scene " + Swp() + " --json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(j.rfind("{\"level\":\"demo\",\"fog\":[", 0), 0u);
    const char* keys[] = {",\"light\":[", ",\"camera\":{\"position\":[", ",\"yaw\":", ",\"pitch\":",
                          "},\"sky\":true,\"counters\":{\"gVisibleVerts\":0,\"gVisibleTris\":",
                          ",\"gTotalTris\":", "},\"messages\":[],\"debug\":\"", ",\"log\":\"", ",\"models\":[{\"handle\":",
                          ",\"instances\":[{\"index\":", ",\"terrain\":{\"1\":[{\"index\":"};
    std::size_t at = 0;
    for (const char* k : keys) {
        const std::size_t found = j.find(k, at);
        ASSERT_NE(found, std::string::npos) << k;
        at = found;
    }
    EXPECT_EQ(j.substr(j.size() - 4), "]}}\n");
    EXPECT_EQ(j.back(), '\n');
    EXPECT_EQ(Count(j, "\"flags\":{\"overlay\":"), Count(j, "\"geometry\":"));
    EXPECT_GT(Count(j, "\"alwaysFace\":true"), 10u);  // the trees
    EXPECT_GT(Count(j, "\"scrolling\":true"), 0u);    // the waterfall
    EXPECT_GT(Count(j, "\"bump\":true"), 0u);
    EXPECT_NE(j.find("Level load time:"), std::string::npos);
    EXPECT_EQ(r.err, "");  // the loader's lines are kept off the JSON
}

TEST_F(InspectSceneTest, ReportsOfOneInstance) {
    RunResult r = RunTool(dir, Inspect("model " + Swp() + " 1"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("\nModel: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nSource geometry type: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nVerts used:   "), std::string::npos);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    r = RunTool(dir, Inspect("instance " + Swp() + " 1"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("\n\nInstance: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n  scale:    "), std::string::npos);
    EXPECT_TRUE(r.out.find("\n\nValueTable: ") != std::string::npos ||
                r.out.find("\n\nNo valuetable entry. ") != std::string::npos);

    ExpectCleanError(RunTool(dir, Inspect("model " + Swp() + " 999999")));
    ExpectCleanError(RunTool(dir, Inspect("instance " + dir.File("none-130.swp") + " 1")));
}

TEST_F(InspectSceneTest, ValueTableListsEveryEntry) {
    const RunResult r = RunTool(dir, Inspect("valuetable " + dir.File("demo.grf")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("String  Class = \"CTerrainObj\""), std::string::npos);
    EXPECT_NE(r.out.find("Int     Height = 1"), std::string::npos);
    EXPECT_NE(r.out.find("List    "), std::string::npos);
}

}  // namespace
