// Level file location against the scripted platform: the configuration,
// the CD prompt, the dialogs, the derived names and the log.
#include <gtest/gtest.h>

#include <filesystem>

#include "diag/log.h"
#include "location/level_files.h"
#include "location/level_location.h"
#include "platform/scripted_platform.h"
#include "scene/level.h"
#include "test_util.h"

namespace {

using platform::Answer;

class LocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetFirstSwpChoice(std::nullopt);
        SetLogCapture(&log);
        std::filesystem::create_directories(dir.File("cd/data"));
        std::filesystem::create_directories(dir.File("game"));
    }
    void TearDown() override {
        SetLogCapture(nullptr);
        SetFirstSwpChoice(std::nullopt);
    }
    void Touch(const std::string& name) {
        std::filesystem::create_directories(std::filesystem::path(dir.File(name)).parent_path());
        WriteAll(dir.File(name), {1});
    }
    void Registry(const std::string& drive, const std::string& install) {
        pf.config[kGameKey]["Data Drive"] = drive;
        pf.config[kGameKey]["Installed Directory"] = install;
    }
    bool Select() { return SelectLevelFiles(files); }
    const LevelFiles& L() const { return files; }
    bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }
    LevelFiles files;
    // A dialog as "title | folder | name | filter".
    static std::string Seen(const platform::RecordedDialog& d) {
        return d.title + " | " + d.initialDirectory + " | " + d.initialName + " | " + d.filter.description + " " +
               d.filter.pattern;
    }

    TempDir dir;
    std::string log;
    platform::ScriptedPlatform pf;
    platform::PlatformScope scope{pf};
};

TEST_F(LocationTest, FilesInTheDataDirectoryNeedOnlyTheFirstDialogOrTheCommandLine) {
    Registry(dir.File("cd/"), dir.File("game/"));
    for (const char* name : {"cd/data/it.grf", "cd/data/it-130.pid", "game/it-130.swp"}) Touch(name);
    pf.fileAnswers = {dir.File("game/it-130.swp")};
    ASSERT_TRUE(Select());
    ASSERT_EQ(pf.dialogs.size(), 1u);
    EXPECT_EQ(Seen(pf.dialogs[0]), "Load Wildgrove Level (needs .SWP file created by Wildgrove) | " +
                                       dir.File("game/") + " |  | SWP files *.swp");
    EXPECT_EQ(L().LevelName, "it");
    EXPECT_EQ(L().GrfPath, dir.File("cd/data/it.grf"));
    EXPECT_EQ(L().PidPath, dir.File("cd/data/it-130.pid"));
    EXPECT_TRUE(pf.boxes.empty());
    EXPECT_EQ(log, "\n\n    File Selection\n    ==============\nRegistry settings:\n Data path:    '" +
                       dir.File("cd/data/") + "'\n Install path: '" + dir.File("game/") + "'\n\nChecking for GRF file: '" +
                       dir.File("cd/data/it.grf") + "'... found.\nChecking for PID file: '" +
                       dir.File("cd/data/it-130.pid") + "'... found.\nChecking for SWP file: '" +
                       dir.File("game/it-130.swp") + "'... found.");

    // The command line stands for the first dialog.
    for (const char* name : {"cd/data/jr.grf", "cd/data/jr-130.pid", "game/jr-130.swp"}) Touch(name);
    SetFirstSwpChoice(dir.File("game/jr-130.swp"));
    ASSERT_TRUE(Select());
    EXPECT_EQ(pf.dialogs.size(), 1u);
    EXPECT_EQ(L().GrfPath, dir.File("cd/data/jr.grf"));
}

TEST_F(LocationTest, WithoutTheCdEachRetryAsksAgainAndCancelFallsBack) {
    // The game not installed: no CD can help, so no box; the files are chosen.
    pf.fileAnswers = {""};
    EXPECT_FALSE(Select());
    EXPECT_TRUE(Logged("\nWARNING: registry key not found.\nWARNING: registry key not found."));
    EXPECT_TRUE(pf.boxes.empty()) << pf.boxes[0].text;
    EXPECT_TRUE(Logged("\nNo data path.\n Attempting manual selection"));
    EXPECT_TRUE(Logged("\n *** Initial SWP selection cancelled ***"));
    EXPECT_EQ(pf.dialogs.at(0).initialDirectory, "");  // both paths empty

    // Each retry shows the box again; Cancel falls back to the install directory.
    pf.boxes.clear();
    pf.dialogs.clear();
    Registry(dir.File("nowhere/"), dir.File("game/"));
    pf.answers = {Answer::Retry, Answer::Retry, Answer::Cancel};
    pf.fileAnswers = {""};
    EXPECT_FALSE(Select());
    ASSERT_EQ(pf.boxes.size(), 3u);
    EXPECT_EQ(pf.boxes[0].caption + ": " + pf.boxes[0].text,
              "Wildgrove Data Drive Not Found: Datapath '" + dir.File("nowhere/data/") +
                  "' not found. Please insert the Wildgrove CD and press RETRY, or press CANCEL to select files manually");
    EXPECT_EQ(pf.boxes[0].buttons, platform::Buttons::RetryCancel);
    EXPECT_EQ(pf.boxes[0].owner, platform::Owner::None);
    EXPECT_TRUE(Logged("\n *** Retry insert CD cancelled ***"));
    EXPECT_EQ(L().DataPath, dir.File("game/"));
    EXPECT_EQ(pf.dialogs.at(0).initialDirectory, dir.File("game/"));
}

TEST_F(LocationTest, RetryFindsTheCdOnceItIsInserted) {
    // The CD goes in while the second box is up.
    struct CdDrive : platform::ScriptedPlatform {
        std::string slot;
        Answer ShowMessageBox(platform::Owner owner, const std::string& text, const std::string& caption,
                          platform::Buttons buttons, platform::Icon icon) override {
            const Answer a = ScriptedPlatform::ShowMessageBox(owner, text, caption, buttons, icon);
            if (boxes.size() == 2) std::filesystem::create_directories(slot);
            return a;
        }
    } drive;
    drive.slot = dir.File("drive/data");
    drive.config[kGameKey]["Data Drive"] = dir.File("drive/");
    drive.config[kGameKey]["Installed Directory"] = dir.File("game/");
    drive.answers = {Answer::Retry, Answer::Retry, Answer::Retry};
    drive.fileAnswers = {""};
    platform::PlatformScope inserting(drive);
    EXPECT_FALSE(Select());
    EXPECT_EQ(drive.boxes.size(), 2u);
    EXPECT_EQ(L().DataPath, dir.File("drive/data/"));
    EXPECT_FALSE(Logged("Retry insert CD cancelled"));
    EXPECT_EQ(drive.dialogs.at(0).initialDirectory, dir.File("game/"));
}

TEST_F(LocationTest, MissingFilesAreAskedForInOrderWithTheirNames) {
    Registry(dir.File("cd/"), dir.File("game/"));
    Touch("elsewhere/Beach.grf");
    pf.fileAnswers = {dir.File("game/BEACH-130.swp"), dir.File("Elsewhere/Beach.grf"), dir.File("x/beach-130.pid"),
                      dir.File("y/beach-130.swp")};
    ASSERT_TRUE(Select());
    ASSERT_EQ(pf.dialogs.size(), 4u);
    EXPECT_EQ(Seen(pf.dialogs[1]), "Load .GRF File | " + dir.File("cd/data/") + " | BEACH.grf | GRF files *.grf");
    EXPECT_EQ(Seen(pf.dialogs[2]), "Load .PID File | " + LowerDirectoryOf(dir.File("Elsewhere/Beach.grf")) +
                                       " | BEACH-130.pid | PID files *.pid");
    EXPECT_EQ(Seen(pf.dialogs[3]), "Load .SWP File | " + dir.File("game/") + " | BEACH-130.swp | SWP files *.swp");
    EXPECT_EQ(L().LevelName, "BEACH");  // not updated by the manual choices
    EXPECT_TRUE(pf.boxes.empty());      // Beach, beach and beach match without regard to case
    EXPECT_TRUE(Logged(" not found.\n Attempting manual selection\n Manually selected file: '" +
                       dir.File("Elsewhere/Beach.grf") + "'"));
}

// Each dialog can be cancelled; the paths are logged literally, never as
// a format.
TEST_F(LocationTest, EveryManualDialogCanBeCancelled) {
    Registry(dir.File("cd/"), dir.File("game/"));
    const struct { std::vector<std::string> answers; std::string line; } cases[] = {
        {{""}, "\n *** Initial SWP selection cancelled ***"},
        {{"a-130.swp", ""}, "\n *** Manual GRF select cancelled ***"},
        {{"a-130.swp", "a.grf", ""}, "\n *** Manual PID select cancelled ***"},
        {{"a-130.swp", "a.grf", "a-130.pid", ""}, "\n *** Manual SWP select cancelled ***"},
        {{dir.File("game/%s%d-130.swp"), ""},
         "\nChecking for GRF file: '" + dir.File("cd/data/%s%d.grf") + "'... not found."},
    };
    for (const auto& c : cases) {
        log.clear();
        pf.dialogs.clear();
        pf.fileAnswers.assign(c.answers.begin(), c.answers.end());
        EXPECT_FALSE(Select()) << c.line;
        EXPECT_TRUE(Logged(c.line)) << c.line;
        EXPECT_EQ(pf.dialogs.size(), c.answers.size()) << c.line;
    }
}

TEST_F(LocationTest, NamesThatDoNotMatchWarnButGoOn) {
    Registry(dir.File("cd/"), dir.File("game/"));
    for (const char* name : {"cd/data/a-b.grf", "cd/data/a-b-130.pid", "game/a-b-130.swp"}) Touch(name);
    pf.fileAnswers = {dir.File("game/a-b-130.swp")};
    ASSERT_TRUE(Select());
    EXPECT_EQ(L().LevelName, "a-b");
    EXPECT_EQ(L().GrfPath, dir.File("cd/data/a-b.grf"));
    // The scene file's own name is cut at its last '-' too ("a"), so such a
    // level always draws the warning; the files are used all the same.
    EXPECT_EQ(pf.boxes.size(), 1u);

    pf.boxes.clear();
    Touch("cd/data/other.grf");
    Touch("game/other-130.swp");
    pf.fileAnswers = {dir.File("game/other-130.swp"), dir.File("cd/data/a-b-130.pid")};
    ASSERT_TRUE(Select());
    ASSERT_EQ(pf.boxes.size(), 1u);
    EXPECT_EQ(pf.boxes[0].caption + ": " + pf.boxes[0].text,
              "WARNING: WARNING: file level names don't match. If the selected filesdon't represent the same level, "
              "Wildview may be unstable");
    EXPECT_TRUE(Logged("\n *** Level file names don't match ***"));
}

TEST_F(LocationTest, MissingValuesAndPlainDirectories) {
    pf.config[kGameKey]["Installed Directory"] = dir.File("game/");
    pf.fileAnswers = {""};
    EXPECT_FALSE(Select());
    EXPECT_TRUE(Logged("\nWARNING: registry value not found."));
    EXPECT_EQ(L().InstallPath, dir.File("game/"));

    // A drive given as a plain directory gets its separator before "data/".
    log.clear();
    pf.config[kGameKey]["Data Drive"] = dir.File("cd");
    pf.fileAnswers = {""};
    EXPECT_FALSE(Select());
    EXPECT_EQ(L().DataPath, dir.File("cd/data/"));
    EXPECT_FALSE(Logged("not found.\n Attempting"));

    // A drive written the Windows way keeps its backslashes, so the level's
    // name reads the same from every file.
    for (const auto& [drive, data] : {std::pair{"D:\\", "D:\\data\\"}, {"E:\\Games\\CD", "E:\\Games\\CD\\data\\"}}) {
        pf.config[kGameKey]["Data Drive"] = drive;
        pf.fileAnswers = {""};
        log.clear();
        EXPECT_FALSE(Select());
        EXPECT_TRUE(Logged(std::string("\nData path '") + data + "' not found.")) << log;
    }

    // Values are cut at 128 characters.
    pf.config[kGameKey]["Installed Directory"] = std::string(200, 'x');
    EXPECT_FALSE(Select());
    EXPECT_EQ(L().InstallPath, std::string(128, 'x'));
}

// A level named on the command line opens from its own folder without a
// prompt, and wins over the data directory (with no game installed it is
// met end to end in dialogs_e2e).
TEST_F(LocationTest, FilesBesideANamedLevelOpenWithoutAPrompt) {
    Registry(dir.File("cd/"), dir.File("game/"));
    for (const char* name : {"cd/data/demo.grf", "cd/data/demo-130.pid", "levels/demo.grf", "levels/demo-130.pid",
                             "levels/demo-130.swp"})
        Touch(name);
    SetFirstSwpChoice(dir.File("levels/demo-130.swp"));
    ASSERT_TRUE(Select());
    EXPECT_TRUE(pf.boxes.empty());
    EXPECT_TRUE(pf.dialogs.empty());
    EXPECT_EQ(L().GrfPath, dir.File("levels/demo.grf"));
    EXPECT_EQ(L().PidPath, dir.File("levels/demo-130.pid"));
    EXPECT_EQ(L().SwpPath, dir.File("levels/demo-130.swp"));
    EXPECT_EQ(L().LevelName, "demo");
    EXPECT_EQ(L().DataPath, dir.File("cd/data/"));  // still the game's, as configured
    EXPECT_TRUE(Logged("\nLevel files beside '" + dir.File("levels/demo-130.swp") + "'"));
    EXPECT_TRUE(Logged("\nChecking for PID file: '" + dir.File("levels/demo-130.pid") + "'... found."));
}

TEST_F(LocationTest, WithoutBothFilesBesideANamedLevelTheSearchHolds) {
    Touch("levels/demo.grf");  // the database is elsewhere
    Touch("levels/demo-130.swp");
    SetFirstSwpChoice(dir.File("levels/demo-130.swp"));
    pf.fileAnswers = {""};
    EXPECT_FALSE(Select());
    EXPECT_TRUE(pf.boxes.empty());  // no game installed: no CD to ask for
    ASSERT_EQ(pf.dialogs.size(), 1u);
    EXPECT_EQ(pf.dialogs[0].title, "Load .GRF File");
    EXPECT_FALSE(Logged("Level files beside"));
}

// Where the lower-cased folder does not exist, the database dialog opens
// in the scene file's folder as written.
TEST_F(LocationTest, TheDatabaseDialogOpensInTheSceneFilesFolderAsOnDisk) {
    Registry(dir.File("cd/"), dir.File("game/"));
    Touch("My Levels/Beach.grf");
    Touch("game/beach-130.swp");
    pf.fileAnswers = {dir.File("game/beach-130.swp"), dir.File("My Levels/Beach.grf"), ""};
    EXPECT_FALSE(Select());
    ASSERT_EQ(pf.dialogs.size(), 3u);
    EXPECT_EQ(pf.dialogs[2].title, "Load .PID File");
#ifdef _WIN32
    // Names ignore case there: the lower-cased folder is the same folder.
    EXPECT_EQ(pf.dialogs[2].initialDirectory, LowerDirectoryOf(dir.File("My Levels/Beach.grf")));
#else
    ASSERT_FALSE(std::filesystem::exists(LowerDirectoryOf(dir.File("My Levels/Beach.grf"))));
    EXPECT_EQ(pf.dialogs[2].initialDirectory, dir.File("My Levels/"));
#endif
}

TEST(DirectoryTest, ExistenceTestsHaveNoOtherEffect) {
    TempDir dir;
    const auto before = std::filesystem::current_path();
    EXPECT_TRUE(DirectoryExists(dir.path()));
    EXPECT_FALSE(DirectoryExists(dir.File("none")));
    EXPECT_FALSE(DirectoryExists(""));
    EXPECT_EQ(std::filesystem::current_path(), before);
    WriteAll(dir.File("f"), {1});
    EXPECT_FALSE(DirectoryExists(dir.File("f")));
}

}  // namespace
