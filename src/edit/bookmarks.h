// Bookmarks: named camera places of a level, kept per level (by its name)
// in the user's configuration folder: $XDG_CONFIG_HOME/wildview/, else
// ~/.config/wildview/. Written whole through a temporary file renamed over
// the old one; a file that cannot be read as bookmarks is set aside (renamed
// to *.damaged) and reported once, never trusted.
#pragma once

#include <string>
#include <vector>

#include "math/vector3.h"

struct Bookmark {
    std::string name;
    Vector3 position;
    float yaw = 0, pitch = 0;
};

// The folder, empty when neither variable names one.
std::string BookmarksDirectory();
std::string BookmarksPath(const std::string& levelName);

// The level's bookmarks; none (and no problem) when it has no file yet.
// problem: what was wrong with a damaged file, which is then set aside.
std::vector<Bookmark> LoadBookmarks(const std::string& levelName, std::string& problem);
bool SaveBookmarks(const std::string& levelName, const std::vector<Bookmark>& marks, std::string& error);
