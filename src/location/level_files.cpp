#include "location/level_files.h"

#include <cctype>


namespace {
std::size_t DirectoryEnd(const std::string& path) {
    std::size_t sep = path.rfind('\\');
    if (sep == std::string::npos) sep = path.rfind('/');
    return sep == std::string::npos ? 0 : sep + 1;
}
}  // namespace

std::string LevelNameOf(const std::string& path) {
    std::string name = path.substr(DirectoryEnd(path));
    std::size_t cut = name.rfind('-');
    if (cut == std::string::npos) cut = name.rfind('.');
    if (cut != std::string::npos) name.resize(cut);
    return name;
}

std::string LowerDirectoryOf(const std::string& path) {
    std::size_t end = DirectoryEnd(path);
    std::string dir = end ? path.substr(0, end) : path;
    for (char& c : dir) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return dir;
}

std::string DirectoryOf(const std::string& path) { return path.substr(0, DirectoryEnd(path)); }

LevelFiles LevelFilesBeside(const std::string& swpPath) {
    LevelFiles files;
    files.SwpPath = swpPath;
    files.LevelName = LevelNameOf(swpPath);
    const std::string dir = DirectoryOf(swpPath);
    files.DataPath = dir;
    files.GrfPath = dir + files.LevelName + ".grf";
    files.PidPath = dir + files.LevelName + "-130.pid";
    return files;
}

