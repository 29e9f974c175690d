// The ground from the command line: the height field written out by the
// inspector, and pictures made without a display.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "demo_fixture.h"
#include "test_util.h"
#include "writer/demo_level.h"

namespace {

class TerrainToolsTest : public DemoSuite<::testing::Test> {
protected:
    static std::string Level() { return File("demo-130.swp"); }
};

TEST_F(TerrainToolsTest, HeightsAreWrittenRawAndAsAPictureWithASummary) {
    const RunResult r = RunShell(*dir, std::string(WV_INSPECT) + " heights " + Level() + " --json --raw " +
                                          dir->File("h.f32") + " --png " + dir->File("h.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"width\":1024,\"height\":1024"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"extent\":[2048,2048]"), std::string::npos) << r.out;
    // Window centred on trunc of the player start (-170, -170): origin -1194.
    EXPECT_NE(r.out.find("\"origin\":[-1194,-1194]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"lowest\":0.001"), std::string::npos) << r.out;

    const std::vector<std::uint8_t> raw = ReadAll(dir->File("h.f32"));
    ASSERT_EQ(raw.size(), 1024u * 1024u * 4u);
    auto sample = [&](int i, int j) {
        float v;
        std::memcpy(&v, &raw[(static_cast<std::size_t>(j) * 1024 + i) * 4], 4);
        return v;
    };
    EXPECT_FLOAT_EQ(sample(0, 0), 0.001f);  // outside the island's terrain area
    // The island's middle, at world (0, 0): cell 597 from the origin.
    EXPECT_GT(sample(597, 597), 5.0f);

    std::uint32_t w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    ASSERT_TRUE(ReadPng(dir->File("h.png"), w, h, rgba));
    EXPECT_EQ(w, 1024u);
    EXPECT_EQ(h, 1024u);
    // North up: the middle of the island is bright, the far corners black.
    EXPECT_GT(rgba[(static_cast<std::size_t>(1023 - 597) * 1024 + 597) * 4], 100);
    EXPECT_EQ(rgba[0], 0);

    // Placed for another camera, the window moves with it.
    const RunResult moved = RunShell(*dir, std::string(WV_INSPECT) + " heights " + Level() + " --centre 100.7 -50.2");
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_NE(moved.out.find("origin (-924.0, -1074.0)"), std::string::npos) << moved.out;
}

TEST_F(TerrainToolsTest, ARenderedViewShowsTheGroundUnderTheSky) {
    const std::string out = dir->File("view.png");
    const RunResult r = RunShell(*dir, std::string(WV_RENDER) + " " + Level() + " --out " + out +
                                          " --size 320x240 --camera -60 -60 25 --yaw 45 --pitch 15 --fog off");
    if (r.status == 1 && r.err.find("no headless GL") != std::string::npos) GTEST_SKIP() << r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    std::uint32_t w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    ASSERT_TRUE(ReadPng(out, w, h, rgba));
    ASSERT_EQ(w, 320u);
    ASSERT_EQ(h, 240u);
    // Below the horizon the ground covers every pixel: none keeps the clear
    // colour (the level's fog colour, 176, 196, 214), which a hole would show.
    int clear = 0;
    for (std::uint32_t y = 140; y < 240; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t* p = &rgba[(y * w + x) * 4];
            clear += p[0] == 176 && p[1] == 196 && p[2] == 214;
        }
    EXPECT_EQ(clear, 0);

    for (const char* bad : {" --size 10x10", " --fog maybe", " --frames 0", ""}) {
        const RunResult e = RunShell(*dir, std::string(WV_RENDER) + " " + Level() + bad + " --out x.png --bogus");
        EXPECT_EQ(e.status, 2) << bad;
        EXPECT_EQ(e.err.rfind("wildview-render: ", 0), 0u) << e.err;
    }
    const RunResult missing = RunShell(*dir, std::string(WV_RENDER) + " " + dir->File("none-130.swp") + " --out x.png");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such file"), std::string::npos) << missing.err;
}

// The demo's standing stone, seen from the west beside the third house: its
// shadow darkens the house's wall only with object shadows on, and the
// house's own shadow darkens the ground only with terrain shadows on.
TEST_F(TerrainToolsTest, EachShadowToggleDarkensItsOwnPartOfTheView) {
    struct View {
        const char* toggles;
        std::vector<std::uint8_t> rgba;
    } views[] = {{"--shadows off --terrain-shadows off", {}},
                 {"--shadows on --terrain-shadows off", {}},
                 {"--shadows off --terrain-shadows on", {}}};
    for (View& v : views) {
        const std::string out = dir->File("shadow.png");
        const RunResult r = RunShell(*dir, std::string(WV_RENDER) + " " + Level() + " --out " + out +
                                              " --size 320x200 --camera -96 -56 8 --yaw 100 --pitch 12 " + v.toggles);
        if (r.status == 1 && r.err.find("no headless GL") != std::string::npos) GTEST_SKIP() << r.err;
        ASSERT_EQ(r.status, 0) << r.err;
        std::uint32_t w = 0, h = 0;
        ASSERT_TRUE(ReadPng(out, w, h, v.rgba));
        ASSERT_EQ(w * h, 320u * 200u);
    }
    // Pixels of a rectangle clearly darker (by 30 of 765) than without shadows.
    auto darker = [&](const View& v, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const std::size_t k = (static_cast<std::size_t>(y) * 320 + x) * 4;
                const int plain = views[0].rgba[k] + views[0].rgba[k + 1] + views[0].rgba[k + 2];
                n += v.rgba[k] + v.rgba[k + 1] + v.rgba[k + 2] + 30 < plain;
            }
        return n;
    };
    // The wall: the gable end between the roof and the ground, left of the
    // stone. The ground: below and left of the house.
    EXPECT_GT(darker(views[1], 100, 35, 200, 95), 200) << "the stone's shadow on the wall";
    EXPECT_EQ(darker(views[1], 0, 100, 320, 200), 0) << "object shadows leave the ground alone";
    EXPECT_GT(darker(views[2], 60, 75, 140, 100), 100) << "the house's shadow on the ground";
    EXPECT_EQ(darker(views[2], 100, 35, 200, 70), 0) << "terrain shadows leave the wall alone";
}

// The map covers the terrain bounds at the stated scale: 400 x 400 units at
// 2 pixels a unit, the island green in the middle, the sea floor at the edge,
// the legend's boxes in the corners.
TEST_F(TerrainToolsTest, TheOverviewMapCoversTheTerrainAreaWithALegend) {
    const std::string out = dir->File("map.png");
    const RunResult r = RunShell(*dir, std::string(WV_RENDER) + " " + Level() + " --overview --out " + out);
    if (r.status == 1 && r.err.find("no headless GL") != std::string::npos) GTEST_SKIP() << r.err;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("800x800, 2 pixels a unit, world (-200.0, -200.0) to (200.0, 200.0), north up"),
              std::string::npos)
        << r.out;
    std::uint32_t w = 0, h = 0;
    std::vector<std::uint8_t> rgba;
    ASSERT_TRUE(ReadPng(out, w, h, rgba));
    ASSERT_EQ(w, 800u);
    ASSERT_EQ(h, 800u);
    auto at = [&](std::uint32_t x, std::uint32_t y) { return &rgba[(y * w + x) * 4]; };
    // Grass at world (30, -60): pixel (460, 520). Sea floor at (-190, 0).
    const std::uint8_t* grass = at(460, 520);
    EXPECT_GT(grass[1], grass[0] + 20);
    EXPECT_GT(grass[1], grass[2] + 20);
    const std::uint8_t* sea = at(20, 400);
    EXPECT_LT(std::abs(sea[1] - sea[2]), 40);  // grey-blue, no green lead
    // The legend: a white box with black text in each corner.
    for (auto [x, y] : {std::pair{3u, 3u}, {796u, 3u}, {3u, 796u}, {796u, 796u}}) EXPECT_EQ(at(x, y)[0], 255) << x;
    int ink = 0;
    for (std::uint32_t y = 4; y < 18; ++y)
        for (std::uint32_t x = 4; x < 80; ++x) ink += at(x, y)[0] == 0;
    EXPECT_GT(ink, 20);
    // At a finer scale the map grows with it.
    const RunResult fine = RunShell(*dir, std::string(WV_RENDER) + " " + Level() + " --overview --texels-per-unit 3.5 --out " +
                                             dir->File("fine.png"));
    ASSERT_EQ(fine.status, 0) << fine.err;
    EXPECT_NE(fine.out.find("1400x1400, 3.5 pixels a unit"), std::string::npos) << fine.out;
    // A size asked for bounds the longest side, the scale following (and the
    // legend saying it); a size outside 16 to 8192 pixels is refused.
    const struct {
        const char* args;
        int status;
        const char* says;
    } sizes[] = {{"--map-size 500", 0, "500x500, 1.25 pixels a unit"},
                 {"--texels-per-unit 0.5 --map-size 500", 0, "200x200, 0.5 pixels a unit"},
                 {"--map-size 1000 --texels-per-unit 16", 0, "1000x1000, 2.5 pixels a unit"},
                 {"--texels-per-unit 12", 0, "4096x4096, 10.2 pixels a unit"},  // the default size
                 {"--map-size 15", 2, "--map-size wants a number of pixels, 16 to 8192"},
                 {"--map-size 8193", 2, "--map-size wants"},
                 {"--map-size 12x", 2, "--map-size wants"}};
    for (const auto& c : sizes) {
        const RunResult r = RunShell(*dir, std::string(WV_RENDER) + " " + Level() + " --overview " + c.args +
                                               " --out " + dir->File("sized.png"));
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << c.args << ": " << r.out << r.err;
    }
    std::uint32_t sw = 0, sh = 0;
    std::vector<std::uint8_t> sized;
    ASSERT_TRUE(ReadPng(dir->File("sized.png"), sw, sh, sized));
    EXPECT_EQ(sw, 4096u);
    EXPECT_EQ(sh, 4096u);
}

}  // namespace
