#include "location/level_location.h"

#include <cctype>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "location/level_files.h"
#include "platform/file_system.h"

namespace {

// The pixel file named on the command line: set once by the entry point
// (SetFirstSwpChoice), read by SelectLevelFiles; the process reset clears it.
std::optional<std::string> gFirstSwpChoice;

const platform::FileFilter kSwpFilter{"SWP files", "*.swp"};
const platform::FileFilter kGrfFilter{"GRF files", "*.grf"};
const platform::FileFilter kPidFilter{"PID files", "*.pid"};

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Looks for one of the level's files where it is expected and otherwise
// asks for it. False when the user cancelled.
bool CheckOrAsk(const char* what, std::string& path, const std::string& initialDirectory,
                const std::string& initialName, const char* title, const platform::FileFilter& filter) {
    LogPrintf("\nChecking for %s file: '%s'...", what, path.c_str());
    if (FileExists(path)) {
        LogPrintf(" found.");
        return true;
    }
    LogPrintf(" not found.\n Attempting manual selection");
    path = AskOpenFile(initialDirectory, initialName, title, filter);
    if (path.empty()) {
        LogPrintf("\n *** Manual %s select cancelled ***", what);
        return false;
    }
    LogPrintf("\n Manually selected file: '%s'", path.c_str());
    return true;
}

// The database dialog opens in the scene file's folder, lower-cased as the
// game's own tools did on a file system that ignores case. Here that can
// name a folder that does not exist; the folder as written is then the one
// on disk.
std::string DatabaseDialogDirectory(const std::string& grfPath) {
    const std::string lower = LowerDirectoryOf(grfPath);
    const std::string asWritten = DirectoryOf(grfPath);
    if (!DirectoryExists(lower) && !asWritten.empty() && DirectoryExists(asWritten)) return asWritten;
    return lower;
}

// A level named on the command line whose scene file and database lie
// beside it: the user has said where the level is, so no search and no prompt.
bool FilesBeside(const std::string& swpPath) {
    const LevelFiles beside = LevelFilesBeside(swpPath);
    return FileExists(beside.GrfPath) && FileExists(beside.PidPath);
}

}  // namespace

void SetFirstSwpChoice(std::optional<std::string> path) { gFirstSwpChoice = std::move(path); }

std::string ReadRegistryString(const std::string& key, const std::string& valueName) {
    std::string value;
    switch (platform::Current().ReadConfigString(key, valueName, value)) {
        case platform::ConfigResult::Found:
            if (value.size() > 128) value.resize(128);
            return value;
        case platform::ConfigResult::NoKey:
            LogPrintf("\nWARNING: registry key not found.");
            return {};
        case platform::ConfigResult::NoValue:
            LogPrintf("\nWARNING: registry value not found.");
            return {};
    }
    return {};
}

bool DirectoryExists(const std::string& path) { return platform::Files().KindOf(path) == platform::PathKind::Directory; }

bool FileExists(const std::string& path) {
    const platform::PathKind kind = platform::Files().KindOf(path);
    return kind == platform::PathKind::File || kind == platform::PathKind::Other;
}

std::string AskOpenFile(const std::string& initialDirectory, const std::string& initialName, const std::string& title,
                        const platform::FileFilter& filter) {
    return platform::Current().AskOpenFile(initialDirectory, initialName, title, filter);
}

bool SelectLevelFiles(LevelFiles& level) {
    LogPrintf("\n\n    File Selection\n    ==============");

    level.DataPath = ReadRegistryString(kGameKey, "Data Drive");
    if (!level.DataPath.empty()) {
        // "data" in the separator the value is written with ("D:\" gives
        // "D:\data\"): a path mixing both would hide the level's name.
        level.DataPath = platform::JoinPath(level.DataPath, "data");
        level.DataPath += level.DataPath.find('/') == std::string::npos ? '\\' : '/';
    }
    level.InstallPath = ReadRegistryString(kGameKey, "Installed Directory");
    LogPrintf("\nRegistry settings:");
    LogPrintf("\n Data path:    '%s'", level.DataPath.c_str());
    LogPrintf("\n Install path: '%s'", level.InstallPath.c_str());
    LogPrintf("\n");

    const bool beside = gFirstSwpChoice && FilesBeside(*gFirstSwpChoice);
    if (beside) LogPrintf("\nLevel files beside '%s'", gFirstSwpChoice->c_str());
    // No data path at all (the game is not installed): no CD would help,
    // so the user goes straight to choosing the files.
    const bool noDataPath = !beside && level.DataPath.empty();
    if (noDataPath) {
        LogPrintf("\nNo data path.\n Attempting manual selection");
        level.DataPath = level.InstallPath;
    }
    while (!beside && !noDataPath && !DirectoryExists(level.DataPath)) {
        LogPrintf("\nData path '%s' not found.\n Attempting manual selection", level.DataPath.c_str());
        const platform::Answer a = platform::Current().ShowMessageBox(
            platform::Owner::None,
            "Datapath '" + level.DataPath +
                "' not found. Please insert the Wildgrove CD and press RETRY, or press CANCEL to select files manually",
            "Wildgrove Data Drive Not Found", platform::Buttons::RetryCancel, platform::Icon::None);
        if (a != platform::Answer::Retry) {
            LogPrintf("\n *** Retry insert CD cancelled ***");
            level.DataPath = level.InstallPath;
            break;
        }
    }

    if (gFirstSwpChoice) {
        level.SwpPath = *gFirstSwpChoice;
    } else {
        level.SwpPath = AskOpenFile(level.InstallPath, "", "Load Wildgrove Level (needs .SWP file created by Wildgrove)",
                                    kSwpFilter);
    }
    if (level.SwpPath.empty()) {
        LogPrintf("\n *** Initial SWP selection cancelled ***");
        return false;
    }
    level.LevelName = LevelNameOf(level.SwpPath);
    const std::string searched = beside ? DirectoryOf(level.SwpPath) : level.DataPath;
    level.GrfPath = searched + level.LevelName + ".grf";
    level.PidPath = searched + level.LevelName + "-130.pid";

    if (!CheckOrAsk("GRF", level.GrfPath, level.DataPath, level.LevelName + ".grf", "Load .GRF File", kGrfFilter))
        return false;
    if (!CheckOrAsk("PID", level.PidPath, DatabaseDialogDirectory(level.GrfPath), level.LevelName + "-130.pid",
                    "Load .PID File", kPidFilter))
        return false;
    if (!CheckOrAsk("SWP", level.SwpPath, level.InstallPath, level.LevelName + "-130.swp", "Load .SWP File",
                    kSwpFilter))
        return false;

    const std::string grf = LevelNameOf(level.GrfPath), pid = LevelNameOf(level.PidPath),
                      swp = LevelNameOf(level.SwpPath);
    if (SameIgnoringCase(grf, pid) && SameIgnoringCase(grf, swp) && SameIgnoringCase(swp, pid)) return true;
    platform::Current().ShowMessageBox(platform::Owner::None,
                                   "WARNING: file level names don't match. If the selected filesdon't represent the "
                                   "same level, Wildview may be unstable",
                                   "WARNING", platform::Buttons::Ok, platform::Icon::None);
    LogPrintf("\n *** Level file names don't match ***");
    return true;
}

namespace {
const StateReset kChoiceReset{"command-line level", StateLayer::Files, StateScope::Process, [] { gFirstSwpChoice.reset(); }};
}  // namespace
