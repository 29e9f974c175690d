// The command-line tools, run as a user runs them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "files/name_handle.h"
#include "files/texture_database.h"
#include "test_util.h"
#include "files/png_image.h"
#include "writer/mesh_builder.h"
#include "writer/scene_writer.h"
#include "writer/texture_writer.h"

namespace {

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
        const std::uint32_t pal = w.AddPalette(palette);
        // 8-bit, 16-bit with normals, transparent, padded stride, default palette.
        const struct {
            std::uint32_t bits, padding, palette, width, height;
            bool transparent;
        } shapes[] = {{8, 0, pal, 5, 3, false}, {16, 0, pal, 4, 4, false}, {8, 0, pal, 6, 2, true},
                      {8, 5, pal, 3, 3, false}, {8, 2, kDefaultPaletteIndex, 2, 2, false}};
        for (const auto& c : shapes) {
            wvwrite::TextureSpec s;
            s.identifier = static_cast<std::uint32_t>(specs.size() + 100);
            s.width = c.width;
            s.height = c.height;
            s.bits = c.bits;
            s.transparent = c.transparent;
            s.rowPadding = c.padding;
            s.palette = c.palette;
            for (std::uint32_t i = 0; i < c.width * c.height; ++i) {
                s.indices.push_back(static_cast<std::uint8_t>((i * 7 + 1) % 4));
                if (c.bits == 16) s.normalCodes.push_back(static_cast<std::uint16_t>(i * 37 % 1024));
            }
            specs.push_back(s);
            w.AddTexture(s);
        }
        ASSERT_TRUE(w.Write(dir.File("t.pid"), dir.File("t.swp"), nullptr));
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
    // "texture PID SWP INDEX PNG" with this test's files.
    std::string Texture(const std::string& pid, const std::string& swp, std::size_t index, const std::string& png) {
        return Inspect("texture " + dir.File(pid) + " " + dir.File(swp) + " " + std::to_string(index) + " " + dir.File(png));
    }

    TempDir dir;
    wvwrite::TextureSetWriter w;
    const std::vector<Rgb> palette = {{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {255, 255, 0}};
    std::vector<wvwrite::TextureSpec> specs;
};

TEST_F(TextureExportTest, ExportReproducesTheWrittenImagesExactly) {
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const std::string png = dir.File("out.png"), normals = dir.File("n.png");
        const RunResult r = RunShell(dir, Texture("t.pid", "t.swp", i, "out.png") + " --normals " + normals);
        ASSERT_EQ(r.status, 0) << r.err;
        std::uint32_t width = 0, height = 0;
        std::vector<std::uint8_t> rgba;
        ASSERT_TRUE(ReadPng(png, width, height, rgba));
        EXPECT_EQ(width, specs[i].width);
        EXPECT_EQ(height, specs[i].height);
        EXPECT_EQ(rgba, Expected(specs[i])) << "entry " << i;

        ASSERT_TRUE(ReadPng(normals, width, height, rgba));
        for (std::size_t t = 0; t < specs[i].indices.size(); ++t) {
            std::uint8_t b[4] = {127, 127, 255, 255};
            if (!specs[i].normalCodes.empty()) NormalCodeToBytes(specs[i].normalCodes[t], b);
            ASSERT_EQ(std::vector<std::uint8_t>(rgba.begin() + 4 * t, rgba.begin() + 4 * t + 4),
                      std::vector<std::uint8_t>(b, b + 4)) << "entry " << i << " texel " << t;
        }
    }
}

// A palette PNG's pieces read straight from its chunks: the indices of its
// (unfiltered) rows, its palette and its transparency.
struct IndexedPng {
    std::uint32_t width = 0, height = 0;
    std::uint8_t colourType = 0;
    std::vector<std::uint8_t> indices, palette, alpha;
};
IndexedPng ReadIndexedPng(const std::vector<std::uint8_t>& file) {
    IndexedPng png;
    std::vector<std::uint8_t> idat;
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(file[at] << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]);
    };
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t size = u32(at);
        const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at + 4), file.begin() + static_cast<std::ptrdiff_t>(at + 8));
        const auto data = file.begin() + static_cast<std::ptrdiff_t>(at + 8);
        if (type == "IHDR") png.width = u32(at + 8), png.height = u32(at + 12), png.colourType = file[at + 17];
        if (type == "PLTE") png.palette.assign(data, data + size);
        if (type == "tRNS") png.alpha.assign(data, data + size);
        if (type == "IDAT") idat.insert(idat.end(), data, data + size);
        at += 12 + size;
    }
    std::vector<std::uint8_t> rows(std::size_t{png.height} * (png.width + 1));
    uLongf length = static_cast<uLongf>(rows.size());
    if (uncompress(rows.data(), &length, idat.data(), static_cast<uLong>(idat.size())) != Z_OK || length != rows.size())
        return png;
    for (std::uint32_t y = 0; y < png.height; ++y) {
        const auto row = rows.begin() + static_cast<std::ptrdiff_t>(y * (png.width + 1));
        if (*row != 0) return IndexedPng{};  // a palette picture's rows are never filtered
        png.indices.insert(png.indices.end(), row + 1, row + 1 + png.width);
    }
    return png;
}

// The picture of a texture is a palette picture: the texture's own indices,
// and its palette's colours in their order (transparency for index 0 where
// the entry has it).
TEST_F(TextureExportTest, APaletteTextureIsSavedWithItsIndicesAndPalette) {
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const RunResult r = RunShell(dir, Texture("t.pid", "t.swp", i, "indexed.png"));
        ASSERT_EQ(r.status, 0) << r.err;
        const IndexedPng png = ReadIndexedPng(ReadAll(dir.File("indexed.png")));
        EXPECT_EQ(png.colourType, 3) << "entry " << i;
        EXPECT_EQ(png.width, specs[i].width);
        EXPECT_EQ(png.indices, specs[i].indices) << "entry " << i;
        if (specs[i].palette != kDefaultPaletteIndex) {
            std::vector<std::uint8_t> colours;
            for (const Rgb& c : palette) colours.insert(colours.end(), {c.r, c.g, c.b});
            EXPECT_EQ(png.palette, colours) << "entry " << i;
        } else {
            EXPECT_GE(png.palette.size(), 3u * 4) << "entry " << i << ": every index used has a colour";
        }
        EXPECT_EQ(png.alpha, specs[i].transparent ? std::vector<std::uint8_t>{0} : std::vector<std::uint8_t>{})
            << "entry " << i;
    }
}

TEST_F(TextureExportTest, TexturesJsonHasExactlyItsShape) {
    const RunResult r = RunShell(dir, Inspect("textures --json " + dir.File("t.pid")));
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

// Missing, lying or broken files and wrong arguments: one line each, for
// every command.
TEST_F(TextureExportTest, LyingOrMissingFilesGiveOneLine) {
    std::vector<std::uint8_t> pid = ReadAll(dir.File("t.pid"));
    PutU32(pid, 12, 1000);  // more entries than the file holds
    WriteAll(dir.File("lying.pid"), pid);
    PutU32(pid, 0, 0x200);
    WriteAll(dir.File("version.pid"), pid);
    std::vector<std::uint8_t> swp = ReadAll(dir.File("t.swp"));
    swp.resize(10);  // the pixel rows of the later entries are gone
    WriteAll(dir.File("short.swp"), swp);
    WriteAll(dir.File("magic.grf"), std::vector<std::uint8_t>(48, 0));
    wvwrite::SceneWriter s;
    s.AddBlock("big", 0, std::vector<std::uint8_t>(100, 7));
    std::vector<std::uint8_t> bytes = s.file().SaveToMemory();
    bytes.resize(100);  // the block's data runs past the end now
    WriteAll(dir.File("cut.grf"), bytes);
    for (const std::string& command :
         {Inspect("textures " + dir.File("none.pid")), Texture("t.pid", "t.swp", 5, "x.png"),
          Texture("t.pid", "none.swp", 0, "x.png"), Inspect("textures " + dir.File("lying.pid")),
          Inspect("textures --json " + dir.File("version.pid")), Texture("t.pid", "short.swp", 3, "x.png"),
          Inspect("blocks " + dir.File("none.grf")), Inspect("blocks --json " + dir.File("magic.grf")),
          Inspect("blocks " + dir.File("cut.grf"))})
        ExpectCleanError(RunShell(dir, command));
    for (const char* args : {"frobnicate", "texture t.pid", "namehandle one x"})
        ExpectCleanError(RunShell(dir, Inspect(args)), 2);
}

// Control bytes escaped, the rest read as code page 1252 where the name is
// not UTF-8: the output is valid JSON whatever the file holds.
TEST(InspectBlocksTest, JsonEscapesEveryByteOfTheNames) {
    TempDir dir;
    wvwrite::SceneWriter s;
    s.AddBlock("a\"b\\c\n\x01\xE9\x80", 4, {1, 2, 3});
    s.AddBlock(".region", 0, {});
    ASSERT_TRUE(s.Save(dir.File("x.grf"), nullptr));
    const RunResult r = RunShell(dir, Inspect("blocks " + dir.File("x.grf") + " --json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const SymbolHandle region = s.file().FindSymbolByName(".region");
    const SymbolHandle odd = s.file().FindSymbolByName("a\"b\\c\n\x01\xE9\x80");
    EXPECT_EQ(r.out, "{\"blocks\":[{\"number\":0,\"handle\":2147483648,\"type\":4,\"size\":3,\"name\":"
                     "\"a\\\"b\\\\c\\n\\u0001\xC3\xA9\xE2\x82\xAC\"},{\"number\":1,\"handle\":2147483649,\"type\":0,\"size\":0,"
                     "\"name\":\".region\"}],\"symbols\":[{\"handle\":" + std::to_string(region) +
                     ",\"refs\":1,\"name\":\".region\"},{\"handle\":" + std::to_string(odd) +
                     ",\"refs\":1,\"name\":\"a\\\"b\\\\c\\n\\u0001\xC3\xA9\xE2\x82\xAC\"}]}\n");
}

TEST(InspectNameHandleTest, PrintsTheHandleOfAFloatAndAName) {
    TempDir dir;
    RunResult r = RunShell(dir, Inspect("namehandle 0 \"A\\B\""));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0xA5A50BE1\n");
    r = RunShell(dir, Inspect("namehandle 0.9 \"Tex\\Grass\" .tga"));
    char expected[16];
    std::snprintf(expected, sizeof expected, "0x%08X\n", MakeNameHandle(FloatBits(0.9f), "tex/grass", ".tga"));
    EXPECT_EQ(r.out, expected);
}

// The demo level, written once for the scene commands.
class InspectSceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const RunResult r = RunShell(*dir_, std::string(WV_MKLEVEL) + " demo " + dir_->path());
        ASSERT_EQ(r.status, 0) << r.err;
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string Swp() { return dir_->File("demo-130.swp"); }
    static TempDir* dir_;
    TempDir& dir = *dir_;
};
TempDir* InspectSceneTest::dir_ = nullptr;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST_F(InspectSceneTest, SceneJsonHasItsShapeAndTheDemoLoadsWithoutMessages) {
    const RunResult r = RunShell(dir, Inspect("scene " + Swp() + " --json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& j = r.out;
    EXPECT_EQ(j.rfind("{\"level\":\"demo\",\"fog\":[", 0), 0u);
    const char* keys[] = {",\"light\":[", ",\"camera\":{\"position\":[", ",\"yaw\":", ",\"pitch\":",
                          "},\"sky\":true,\"counters\":{\"gVisibleVerts\":0,\"gVisibleTris\":",
                          ",\"gTotalTris\":", "},\"messages\":[],\"debug\":\"", ",\"log\":\"", ",\"models\":[{\"handle\":",
                          ",\"instances\":[{\"record\":", ",\"terrain\":{\"1\":[{\"record\":"};
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

// A full disk must not pass for a written report.
TEST_F(InspectSceneTest, AReportThatCannotBeWrittenIsAFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that refuses every write";
#endif
    for (const std::string& args : {"scene " + Swp(), "scene --json " + Swp(), "model " + Swp() + " 1"}) {
        EXPECT_EQ(RunShell(dir, Inspect(args)).status, 0) << args;
        EXPECT_EQ(RunShell(dir, "(" + Inspect(args) + " >/dev/full)").status, 1) << args;
    }
}

// The scene's reports never read the ground, so their load does not infer it;
// the heights report does.
TEST_F(InspectSceneTest, OnlyTheHeightsReportInfersTheGround) {
    const RunResult scene = RunShell(dir, Inspect("scene " + Swp()));
    ASSERT_EQ(scene.status, 0) << scene.err;
    EXPECT_NE(scene.out.find("InitModels"), std::string::npos);
    EXPECT_EQ(scene.out.find("InitTerrain"), std::string::npos);
    const RunResult heights = RunShell(dir, Inspect("heights " + Swp() + " --json"));
    ASSERT_EQ(heights.status, 0) << heights.err;
    EXPECT_NE(heights.out.find("\"highest\":9.83"), std::string::npos) << heights.out.substr(0, 200);
}

// The summary's load skips the objects' bounds, the JSON document's finds
// them: both list the same level.
TEST_F(InspectSceneTest, TheSummaryCountsWhatTheJsonDocumentLists) {
    const RunResult summary = RunShell(dir, Inspect("scene " + Swp()));
    const RunResult json = RunShell(dir, Inspect("scene --json " + Swp()));
    ASSERT_EQ(summary.status, 0) << summary.err;
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json j = nlohmann::json::parse(json.out);
    const std::string counts = "level 'demo': " + std::to_string(j["models"].size()) + " models, " +
                               std::to_string(j["instances"].size()) + " instances, " +
                               std::to_string(j["terrain"].size()) + " terrain groups, sky yes\n";
    EXPECT_NE(summary.out.find(counts), std::string::npos) << counts;
    EXPECT_GT(j["instances"].size(), 100u);
    EXPECT_LT(j["instances"][0]["box"][0][0].get<double>(), 1e19) << "the document's objects are bounded";
}

// The users of the demo's textures against what the demo is made of: its
// scene report's models (each material's entry) and objects, and, by the
// name handle the writer stores it under, the bricks: the house model's
// alone, and so every house's.
TEST_F(InspectSceneTest, TextureUsersAreTheModelsAndObjectsThatNameThem) {
    const RunResult r = RunShell(dir, Inspect("textures " + dir.File("demo-130.pid") + " --users --json"));
    ASSERT_EQ(r.status, 0) << r.err;
    const RunResult s = RunShell(dir, Inspect("scene " + Swp() + " --json"));
    ASSERT_EQ(s.status, 0) << s.err;
    const nlohmann::json textures = nlohmann::json::parse(r.out), scene = nlohmann::json::parse(s.out);
    // Expected from the scene report: entry -> model names and records.
    std::map<std::size_t, std::set<std::string>> models;
    std::map<std::size_t, std::set<std::uint32_t>> records;
    std::map<std::uint32_t, std::set<std::size_t>> entriesOfHandle;
    std::map<std::uint32_t, std::string> nameOfHandle;
    for (const auto& m : scene["models"]) {
        for (const auto& mat : m["materials"])
            if (!mat["texture"].is_null()) {
                entriesOfHandle[m["handle"]].insert(mat["texture"].get<std::size_t>());
                models[mat["texture"].get<std::size_t>()].insert(m["name"].get<std::string>());
            }
        nameOfHandle[m["handle"]] = m["name"];
    }
    const auto place = [&](const nlohmann::json& inst) {
        for (std::size_t e : entriesOfHandle[inst["model"].get<std::uint32_t>()]) records[e].insert(inst["record"].get<std::uint32_t>());
    };
    for (const auto& inst : scene["instances"]) place(inst);
    for (const auto& [height, group] : scene["terrain"].items())
        for (const auto& inst : group) place(inst);

    const auto& entries = textures["entries"];
    ASSERT_GT(entries.size(), 10u);
    std::size_t used = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto names = entries[i]["models"].get<std::vector<std::string>>();
        const auto objects = entries[i]["objects"].get<std::vector<std::uint32_t>>();
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), models[i]) << "entry " << i;
        EXPECT_EQ(names.size(), models[i].size()) << "entry " << i << ": a model twice";
        EXPECT_EQ(std::set<std::uint32_t>(objects.begin(), objects.end()), records[i]) << "entry " << i;
        EXPECT_TRUE(std::is_sorted(objects.begin(), objects.end())) << "entry " << i;
        EXPECT_EQ(objects.size(), records[i].size()) << "entry " << i << ": an object twice";
        used += !objects.empty();
    }
    EXPECT_GT(used, 5u);

    // The bricks are stored in more than one version; the one the loader
    // chose is the house's alone.
    const std::uint32_t bricks = wvwrite::TextureIdentifier("demo\\bricks", ".bmp");
    std::set<std::uint32_t> houses;
    for (const auto& inst : scene["instances"])
        if (inst["name"].get<std::string>().rfind("house_", 0) == 0) houses.insert(inst["record"].get<std::uint32_t>());
    EXPECT_EQ(houses.size(), 3u);
    std::size_t versions = 0, chosen = 0;
    for (const auto& e : entries) {
        if (e["identifier"] != bricks) continue;
        ++versions;
        if (e["objects"].empty()) continue;
        ++chosen;
        EXPECT_EQ(e["models"], nlohmann::json::array({"house"}));
        EXPECT_EQ(e["objects"].get<std::set<std::uint32_t>>(), houses);
    }
    EXPECT_GE(versions, 1u);
    EXPECT_EQ(chosen, 1u);

    // The text report says the same, a line an entry.
    const RunResult text = RunShell(dir, Inspect("textures " + dir.File("demo-130.pid") + " --users"));
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("index  models  objects  models: objects\n"), std::string::npos) << text.out;
    // Without its level beside it, --users says why.
    ASSERT_TRUE(std::filesystem::copy_file(dir.File("demo-130.pid"), dir.File("alone-130.pid")));
    ExpectCleanError(RunShell(dir, Inspect("textures " + dir.File("alone-130.pid") + " --users")));
}

// Every offset the raw report gives, read back from the files themselves:
// the region record holds the object's model handle and place, the model
// block's bytes are the container's, each property entry holds its kind,
// name and value, the table lists its members, and the texture entry names
// the palette and the first pixel the report says, inside the pixel file.
TEST_F(InspectSceneTest, TheRawReportsOffsetsHoldWhatItSays) {
    const std::uint32_t record = 21;  // house_001
    const RunResult r = RunShell(dir, Inspect("instance " + Swp() + " " + std::to_string(record) + " --raw"));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::uint8_t> grf = ReadAll(dir.File("demo.grf")), pid = ReadAll(dir.File("demo-130.pid"));
    const std::uint64_t swpSize = std::filesystem::file_size(dir.File("demo-130.swp"));
    const RunResult s = RunShell(dir, Inspect("scene " + Swp() + " --json"));
    ASSERT_EQ(s.status, 0) << s.err;
    const nlohmann::json scene = nlohmann::json::parse(s.out);
    nlohmann::json inst;
    for (const auto& i : scene["instances"])
        if (i["record"] == record) inst = i;
    ASSERT_FALSE(inst.is_null());
    const auto u32 = [](const std::vector<std::uint8_t>& b, std::uint64_t at) {
        return at + 4 <= b.size() ? LoadU32(b.data() + at) : 0xDEADBEEFu;
    };
    const auto f32 = [&](const std::vector<std::uint8_t>& b, std::uint64_t at) { return std::bit_cast<float>(u32(b, at)); };
    std::istringstream lines(r.out);
    std::size_t regions = 0, models = 0, tables = 0, properties = 0, textures = 0;
    for (std::string line; std::getline(lines, line);) {
        unsigned long long at = 0;
        unsigned a = 0, b = 0, c = 0;
        char kind[16] = {}, name[64] = {}, palette[32] = {};
        if (std::sscanf(line.c_str(), "record %u of the .region block: demo.grf at %llu, %u bytes", &a, &at, &b) == 3) {
            ++regions;
            EXPECT_EQ(a, record);
            EXPECT_EQ(b, 44u);
            EXPECT_EQ(u32(grf, at), inst["model"].get<std::uint32_t>()) << line;
            for (int k = 0; k < 3; ++k) EXPECT_EQ(f32(grf, at + 8 + 4 * k), inst["position"][k].get<float>()) << line;
            EXPECT_EQ(f32(grf, at + 32), inst["scale"].get<float>()) << line;
        } else if (std::sscanf(line.c_str(), "model block '%63[^']', handle 0x%x: demo.grf at %llu, %u bytes", name, &a,
                               &at, &b) == 4) {
            ++models;
            EXPECT_EQ(a, inst["model"].get<std::uint32_t>()) << line;
            BlockFile file;
            ASSERT_TRUE(file.Load(dir.File("demo.grf").c_str()));
            const BlockRecord* block = file.GetBlock(a);
            ASSERT_NE(block, nullptr) << line;
            EXPECT_STREQ(block->GetName(), name);
            ASSERT_EQ(block->size(), b) << line;
            ASSERT_LE(at + b, grf.size()) << line;
            EXPECT_TRUE(std::equal(block->bytes().begin(), block->bytes().end(), grf.begin() + static_cast<std::ptrdiff_t>(at)))
                << line;
        } else if (std::sscanf(line.c_str(), "property table, entry %u of the .valuetable block: demo.grf at %llu", &a,
                               &at) == 2) {
            ++tables;
            EXPECT_EQ(a, inst["valuetable"].get<std::uint32_t>());
            EXPECT_EQ(static_cast<std::int16_t>(grf.at(at) | grf.at(at + 1) << 8), 0x106) << "a list: " << line;
            EXPECT_EQ(u32(grf, at + 27), 3u) << "Class, Shadow and Tangible: " << line;
            EXPECT_EQ(u32(grf, at + 31), 63u) << line;
            EXPECT_EQ(u32(grf, at + 39), 64u) << line;
            EXPECT_EQ(u32(grf, at + 47), 65u) << line;
        } else if (std::sscanf(line.c_str(), "  entry %u, %15s %63[^:]: demo.grf at %llu", &a, kind, name, &at) == 4) {
            ++properties;
            const int stored = static_cast<std::int16_t>(grf.at(at) | grf.at(at + 1) << 8);
            const std::string property = name;
            if (property == "Class") {
                EXPECT_EQ(stored, 0x105) << line;
                EXPECT_STREQ(reinterpret_cast<const char*>(grf.data() + at + 27), "CInstance") << line;
            } else {
                EXPECT_EQ(stored, 0x101) << line;
                EXPECT_EQ(grf.at(at + 27), 1) << property << " is true: " << line;
            }
            EXPECT_EQ(std::string(kind), property == "Class" ? "string" : "bool");
            // The name's handle is the one its name record gives it.
            const std::string record = property + '\0';
            const auto found = std::search(grf.begin(), grf.end(), record.begin(), record.end());
            ASSERT_NE(found, grf.end()) << property;
            EXPECT_EQ(u32(grf, at + 11), u32(grf, static_cast<std::uint64_t>(found - grf.begin()) + record.size()))
                << "the name's handle: " << line;
        } else if (std::sscanf(line.c_str(),
                               "material %u: texture entry %u: demo-130.pid at %llu, %u bytes, %31[^;]; first pixel: "
                               "demo-130.swp at %u",
                               &a, &b, &at, &c, palette, &c) == 6) {
            ++textures;
            unsigned first = 0, bytes = 0;
            std::sscanf(line.c_str(), "%*[^,], %u bytes", &bytes);
            std::sscanf(strstr(line.c_str(), "first pixel"), "first pixel: demo-130.swp at %u", &first);
            EXPECT_EQ(bytes, 56u);
            EXPECT_EQ(u32(pid, at + 4), first) << line;
            const unsigned stride = u32(pid, at + 16), height = u32(pid, at + 12);
            EXPECT_GT(height, 0u) << line;
            EXPECT_LE(std::uint64_t{first} + std::uint64_t{stride} * height, swpSize) << line;
            const std::string said = palette;
            EXPECT_EQ(said, u32(pid, at + 40) == 0xFFFFFFFFu ? std::string("the default palette")
                                                             : "palette " + std::to_string(u32(pid, at + 40)))
                << line;
        }
    }
    EXPECT_EQ(regions, 1u);
    EXPECT_EQ(models, 1u);
    EXPECT_EQ(tables, 1u);
    EXPECT_EQ(properties, 3u);
    EXPECT_EQ(textures, 2u) << r.out;  // walls and roof
}

TEST_F(InspectSceneTest, ReportsOfOneInstanceAndTheValueTable) {
    RunResult r = RunShell(dir, Inspect("model " + Swp() + " 1"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("\nModel: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nSource geometry type: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nVerts used:   "), std::string::npos);
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    // An object is asked for by the number the reports name it by.
    r = RunShell(dir, Inspect("instance " + Swp() + " 21"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("\n\nInstance:    21 ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n  scale:    "), std::string::npos);
    EXPECT_TRUE(r.out.find("\n\nValueTable: ") != std::string::npos ||
                r.out.find("\n\nNo valuetable entry. ") != std::string::npos);

    ExpectCleanError(RunShell(dir, Inspect("model " + Swp() + " 999999")));
    ExpectCleanError(RunShell(dir, Inspect("instance " + dir.File("none-130.swp") + " 1")));

    r = RunShell(dir, Inspect("valuetable " + dir.File("demo.grf")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("String  Class = \"CTerrainObj\""), std::string::npos);
    EXPECT_NE(r.out.find("Int     Height = 1"), std::string::npos);
    EXPECT_NE(r.out.find("List    "), std::string::npos);
}

}  // namespace
