// The three files of a level and its base name, as level file location
// finds them.
#pragma once

#include <string>

struct LevelFiles {
    std::string DataPath;     // the game's data directory, or empty
    std::string InstallPath;  // the game's installation directory, or empty
    std::string SwpPath, GrfPath, PidPath;
    std::string LevelName;    // from the first chosen pixel file; never updated
};

// The file name without its directory, cut at its last '-' (or, without
// one, at its last '.'). The directory ends at the last '\', or else at the
// last '/'. "C:\game\save\beach-130.swp" gives "beach".
std::string LevelNameOf(const std::string& path);
// The path up to and including its last '\' (else '/'), in lower case; the
// whole path in lower case when it has neither.
std::string LowerDirectoryOf(const std::string& path);
// The same directory as written (not lower-cased); empty without a separator.
std::string DirectoryOf(const std::string& path);

// The files of a level whose pixel file is given, as location derives them
// when the scene file and texture database lie beside it: NAME.grf and
// NAME-130.pid in the pixel file's directory.
LevelFiles LevelFilesBeside(const std::string& swpPath);
