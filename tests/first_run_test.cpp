// What a new user meets first: the command-line tools' answers to wrong or
// failing input.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "test_util.h"
#include "writer/demo_level.h"
#include "writer/scene_writer.h"
#include "writer/value_table_builder.h"

namespace {

// Runs in dir, where the tools may leave files.
RunResult RunIn(const TempDir& dir, const std::string& command) {
    return RunShell(dir, "cd " + dir.path() + " && " + command);
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// No display: a named level that cannot be used must be refused before the
// viewer looks for one.
TEST(ViewerCommandLine, AnUnusableLevelIsRefusedBeforeAnyWindow) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("folder-130.swp"));
    struct Case { std::string args, says; };
    const Case cases[] = {
        {dir.File("none-130.swp"), "wildview: " + dir.File("none-130.swp") + ": No such file or directory\n"},
        {dir.File("folder-130.swp"), "wildview: " + dir.File("folder-130.swp") + ": is a folder"},
        {"a.swp b.swp", "wildview: one level at most, 2 were given\nusage: wildview"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunIn(dir, "env -u DISPLAY " + std::string(WV_VIEWER) + " " + c.args);
        EXPECT_EQ(r.status, 2) << c.args << ": " << r.err;
        EXPECT_TRUE(StartsWith(r.err, c.says)) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(ScreenshotCommandLine, HelpIsNoFileName) {
    TempDir dir;
    const struct {
        const char* args;
        int status;
        std::string says;
    } cases[] = {{"--help", 0, "usage: wildview-xshot OUT.png [WINDOW-ID]"},
                 {"--frobnicate", 2, "wildview-xshot: unknown option --frobnicate"},
                 {"out.png window", 2, "wildview-xshot: WINDOW-ID must be a number"}};
    for (const auto& c : cases) {
        const RunResult r = RunIn(dir, "env -u DISPLAY " + std::string(WV_XSHOT) + " " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_TRUE(StartsWith(c.status == 0 ? r.out : r.err, c.says)) << r.out << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("--help")));
}

// A load that fails is an error with its reason, as the file commands are.
TEST(InspectorLoads, AFailedLoadExitsWithTheReason) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(wvwrite::WriteDemoLevel(dir.path(), &error)) << error;
    const std::vector<std::uint8_t> grf = ReadAll(dir.File("demo.grf")), pid = ReadAll(dir.File("demo-130.pid"));
    struct Case { const char* name; std::function<void()> damage; std::string says; };
    const Case cases[] = {
        {"missing scene file", [&] { std::filesystem::remove(dir.File("demo.grf")); },
         "Could not load GRF file: " + dir.File("demo.grf") + ": "},
        {"scene file cut short", [&] { WriteAll(dir.File("demo.grf"), {grf.begin(), grf.begin() + 1000}); },
         "Could not load GRF file: " + dir.File("demo.grf") + ": "},
        {"empty database", [&] { WriteAll(dir.File("demo-130.pid"), {}); },
         "Could not load PID file: " + dir.File("demo-130.pid") + ": not a texture database"},
    };
    for (const Case& c : cases) {
        WriteAll(dir.File("demo.grf"), grf);
        WriteAll(dir.File("demo-130.pid"), pid);
        c.damage();
        const RunResult r = RunIn(dir, std::string(WV_INSPECT) + " scene " + dir.File("demo-130.swp"));
        EXPECT_EQ(r.status, 1) << c.name << ": " << r.err;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_TRUE(StartsWith(r.err, "wildview-inspect: " + c.says)) << c.name << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.name << ": one line: " << r.err;
    }
}

TEST(InspectorLoads, AValueTableCutShortListsWhatWasReadAndFails) {
    TempDir dir;
    wvwrite::ValueTableBuilder values;
    values.AddTable({wvwrite::Property::String("Class", "CSky")});
    values.AddTable({wvwrite::Property::String("Class", "Player")});
    std::vector<std::uint8_t> bytes = values.Bytes();
    bytes.resize(values.EntryOffset(3) + 2);
    wvwrite::SceneWriter scene;
    scene.AddBlock(".valuetable", 0, bytes);
    ASSERT_TRUE(scene.Save(dir.File("cut.grf"), nullptr));
    const RunResult r = RunIn(dir, std::string(WV_INSPECT) + " valuetable " + dir.File("cut.grf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("String  Class = \"Player\""), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "wildview-inspect: " + dir.File("cut.grf") +
                         ": the .valuetable block is cut short: 3 of its 4 entries were read\n");
}

}  // namespace
