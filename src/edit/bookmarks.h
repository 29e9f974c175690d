// Bookmarks: named camera places of a level, kept per level (by its name)
// in the user's configuration folder: $XDG_CONFIG_HOME/wildview/, else
// ~/.config/wildview/. Written whole through a temporary file renamed over
// the old one. A file with lines that cannot be read as bookmarks is set
// aside whole (renamed to *.damaged, *.damaged-2, ...: earlier copies are
// kept), the lines that could be read are kept and written again, and the
// user is told once.
#pragma once

#include <string>
#include <vector>

#include "math/vector3.h"

struct Bookmark {
    std::string name;
    Vector3 position;
    float yaw = 0, pitch = 0;
};

// The longest name kept, in bytes.
constexpr std::size_t kMaxBookmarkName = 200;
// A name as it is kept: control characters (a NUL, a line end) as spaces,
// no spaces around it, at most kMaxBookmarkName bytes, whole characters.
std::string CleanBookmarkName(const std::string& name);

// The folder, empty when neither variable names one.
std::string BookmarksDirectory();
std::string BookmarksPath(const std::string& levelName);

// The level's bookmarks; none (and no problem) when it has no file yet.
// problem: what was wrong with a damaged file and how much of it was kept.
std::vector<Bookmark> LoadBookmarks(const std::string& levelName, std::string& problem);
bool SaveBookmarks(const std::string& levelName, const std::vector<Bookmark>& marks, std::string& error);
