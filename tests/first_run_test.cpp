// What a new user meets first: the level named on the command line, the
// dialogs' starting folders, and the command-line tools' answers to wrong
// or failing input.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <functional>

#include "diag/log.h"
#include "location/level_files.h"
#include "location/level_location.h"
#include "platform/scripted_platform.h"
#include "test_util.h"
#include "writer/demo_level.h"
#include "writer/scene_writer.h"
#include "writer/value_table_builder.h"

namespace {

// ---- the level named on the command line --------------------------------------

class NamedLevelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLevelFiles();
        SetLogCapture(&log);
    }
    void TearDown() override {
        SetLogCapture(nullptr);
        SetFirstSwpChoice(std::nullopt);
    }
    void Touch(const std::string& name) {
        std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
        WriteAll(dir.File(name), {1});
    }
    const LevelFiles& L() const { return TheLevelFiles(); }

    TempDir dir;
    std::string log;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(NamedLevelTest, FilesBesideItOpenWithoutAPrompt) {
    // No game installed at all: the design would ask for the CD first.
    Touch("levels/demo.grf");
    Touch("levels/demo-130.pid");
    Touch("levels/demo-130.swp");
    SetFirstSwpChoice(dir.File("levels/demo-130.swp"));
    ASSERT_TRUE(SelectLevelFiles());
    EXPECT_TRUE(pf.boxes.empty());
    EXPECT_TRUE(pf.dialogs.empty());
    EXPECT_EQ(L().GrfPath, dir.File("levels/demo.grf"));
    EXPECT_EQ(L().PidPath, dir.File("levels/demo-130.pid"));
    EXPECT_EQ(L().SwpPath, dir.File("levels/demo-130.swp"));
    EXPECT_EQ(L().LevelName, "demo");
    EXPECT_NE(log.find("\nLevel files beside '" + dir.File("levels/demo-130.swp") + "'"), std::string::npos);
    EXPECT_NE(log.find("\nChecking for PID file: '" + dir.File("levels/demo-130.pid") + "'... found."),
              std::string::npos);
}

TEST_F(NamedLevelTest, FilesBesideItWinOverTheDataDirectory) {
    pf.config[kGameKey]["Data Drive"] = dir.File("cd/");
    pf.config[kGameKey]["Installed Directory"] = dir.File("game/");
    Touch("cd/data/it.grf");
    Touch("cd/data/it-130.pid");
    Touch("mods/it.grf");
    Touch("mods/it-130.pid");
    Touch("mods/it-130.swp");
    SetFirstSwpChoice(dir.File("mods/it-130.swp"));
    ASSERT_TRUE(SelectLevelFiles());
    EXPECT_EQ(L().GrfPath, dir.File("mods/it.grf"));
    EXPECT_EQ(L().PidPath, dir.File("mods/it-130.pid"));
    EXPECT_EQ(L().DataPath, dir.File("cd/data/"));  // still the game's, as configured
}

TEST_F(NamedLevelTest, WithoutBothFilesBesideItTheSearchHolds) {
    Touch("levels/demo.grf");  // the database is elsewhere
    Touch("levels/demo-130.swp");
    SetFirstSwpChoice(dir.File("levels/demo-130.swp"));
    pf.fileAnswers = {""};
    EXPECT_FALSE(SelectLevelFiles());
    ASSERT_EQ(pf.boxes.size(), 1u);
    EXPECT_EQ(pf.boxes[0].caption, "Wildgrove Data Drive Not Found");
    ASSERT_EQ(pf.dialogs.size(), 1u);
    EXPECT_EQ(pf.dialogs[0].title, "Load .GRF File");
    EXPECT_EQ(log.find("Level files beside"), std::string::npos);
}

TEST_F(NamedLevelTest, TheDatabaseDialogOpensInTheSceneFilesFolderAsOnDisk) {
    pf.config[kGameKey]["Data Drive"] = dir.File("cd/");
    pf.config[kGameKey]["Installed Directory"] = dir.File("game/");
    std::filesystem::create_directories(dir.File("cd/data"));
    Touch("My Levels/Beach.grf");
    Touch("game/beach-130.swp");
    pf.fileAnswers = {dir.File("game/beach-130.swp"), dir.File("My Levels/Beach.grf"), ""};
    EXPECT_FALSE(SelectLevelFiles());
    ASSERT_EQ(pf.dialogs.size(), 3u);
    EXPECT_EQ(pf.dialogs[2].title, "Load .PID File");
    // The lower-cased folder does not exist; the one written does.
    ASSERT_FALSE(std::filesystem::exists(LowerDirectoryOf(dir.File("My Levels/Beach.grf"))));
    EXPECT_EQ(pf.dialogs[2].initialDirectory, dir.File("My Levels/"));
}

// ---- the command-line tools ---------------------------------------------------------

struct RunResult {
    int status;
    std::string out, err;
};

RunResult RunIn(const TempDir& dir, const std::string& command) {
    const std::string cmd =
        "cd " + dir.path() + " && " + command + " >" + dir.File("stdout") + " 2>" + dir.File("stderr");
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir.File("stdout")), ReadText(dir.File("stderr"))};
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// No display: a named level that cannot be used must be refused before the
// viewer looks for one.
TEST(ViewerCommandLine, AnUnusableLevelIsRefusedBeforeAnyWindow) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("folder-130.swp"));
    struct Case {
        std::string args, says;
    };
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
    RunResult r = RunIn(dir, std::string(WV_XSHOT) + " --help");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(StartsWith(r.out, "usage: wildview-xshot OUT.png [WINDOW-ID]")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("--help")));
    r = RunIn(dir, "env -u DISPLAY " + std::string(WV_XSHOT) + " --frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(StartsWith(r.err, "wildview-xshot: unknown option --frobnicate")) << r.err;
    r = RunIn(dir, "env -u DISPLAY " + std::string(WV_XSHOT) + " out.png window");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(StartsWith(r.err, "wildview-xshot: WINDOW-ID must be a number")) << r.err;
}

// A load that fails is an error with its reason, as the file commands are.
TEST(InspectorLoads, AFailedLoadExitsWithTheReason) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(wvwrite::WriteDemoLevel(dir.path(), &error)) << error;
    const std::vector<std::uint8_t> grf = ReadAll(dir.File("demo.grf")), pid = ReadAll(dir.File("demo-130.pid"));
    struct Case {
        const char* name;
        std::function<void()> damage;
        std::string says;
    };
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
