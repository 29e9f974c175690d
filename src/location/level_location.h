// Finding the three files of the level to view: the pixel file the user
// picks, the scene file and texture database under the same name in the
// game's data directory (found through the game's configuration, with a
// prompt for the game's CD), and open-file dialogs for whatever is not
// where it is expected.
#pragma once

#include <optional>
#include <string>

#include "location/level_files.h"
#include "platform/platform.h"

constexpr const char* kGameKey = "SOFTWARE\\Larkspur Interactive\\Wildgrove";

// Fills level. False when the user cancelled a file dialog; true
// otherwise, also after the warning about names that do not match.
bool SelectLevelFiles(LevelFiles& level);

// The answer that stands in for the first open-file dialog (the program's
// command-line argument); the dialog is not shown when one is set.
void SetFirstSwpChoice(std::optional<std::string> path);

// A configuration string, or empty after a warning line in the log.
std::string ReadRegistryString(const std::string& key, const std::string& valueName);
// Whether path names a folder; FileExists: anything else that is there.
bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
std::string AskOpenFile(const std::string& initialDirectory, const std::string& initialName, const std::string& title,
                        const platform::FileFilter& filter);
