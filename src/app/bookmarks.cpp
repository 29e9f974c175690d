#include "app/bookmarks.h"

#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr const char* kHeader = "wildview bookmarks 1";

// A level name as a file name: letters, digits and a few marks kept.
std::string FileSafe(const std::string& name) {
    std::string out;
    for (unsigned char c : name) out += (std::isalnum(c) || c == '-' || c == '_' || c == '.') ? static_cast<char>(c) : '_';
    return out.empty() || out[0] == '.' ? "_" + out : out;
}

bool ParseLine(const std::string& line, Bookmark& b) {
    std::istringstream in(line);
    in.imbue(std::locale::classic());
    if (!(in >> b.position.x >> b.position.y >> b.position.z >> b.yaw >> b.pitch)) return false;
    for (float v : {b.position.x, b.position.y, b.position.z, b.yaw, b.pitch})
        if (!std::isfinite(v)) return false;
    if (in.get() != ' ') return false;
    std::getline(in, b.name);
    return !b.name.empty();
}

}  // namespace

std::string BookmarksDirectory() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return std::string(xdg) + "/wildview";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/wildview";
    return {};
}

std::string BookmarksPath(const std::string& levelName) {
    const std::string dir = BookmarksDirectory();
    return dir.empty() ? std::string() : dir + "/bookmarks-" + FileSafe(levelName) + ".txt";
}

std::vector<Bookmark> LoadBookmarks(const std::string& levelName, std::string& problem) {
    problem.clear();
    std::vector<Bookmark> marks;
    const std::string path = BookmarksPath(levelName);
    std::ifstream in(path, std::ios::binary);
    if (path.empty() || !in) return marks;
    std::string line, why;
    if (!std::getline(in, line) || line != kHeader) why = "it does not start as a bookmarks file";
    for (int n = 2; why.empty() && std::getline(in, line); ++n) {
        if (line.empty()) continue;
        Bookmark b;
        if (!ParseLine(line, b)) why = "line " + std::to_string(n) + " is not a bookmark";
        else marks.push_back(std::move(b));
    }
    if (why.empty()) return marks;
    in.close();
    marks.clear();
    const std::string aside = path + ".damaged";
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    problem = "The bookmarks file " + path + " could not be read (" + why + ")" +
              (ec ? std::string("; remove it to start afresh.") : "; it was set aside as " + aside + ".");
    return marks;
}

bool SaveBookmarks(const std::string& levelName, const std::vector<Bookmark>& marks, std::string& error) {
    const std::string path = BookmarksPath(levelName);
    if (path.empty()) {
        error = "Neither XDG_CONFIG_HOME nor HOME names a folder for the bookmarks.";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    const std::string temporary = path + ".part";
    std::FILE* out = std::fopen(temporary.c_str(), "w");
    if (!out) {
        error = "Could not write " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fprintf(out, "%s\n", kHeader) > 0;
    for (const Bookmark& b : marks) {
        std::string name = b.name;
        for (char& c : name)
            if (c == '\n' || c == '\r') c = ' ';
        // The shortest text that reads back to the same float, whatever the
        // locale (the toolkit may have set one with decimal commas).
        std::string line;
        for (float v : {b.position.x, b.position.y, b.position.z, b.yaw, b.pitch}) {
            char number[32];
            const auto end = std::to_chars(number, number + sizeof number, v).ptr;
            line.append(number, end).push_back(' ');
        }
        line += name + "\n";
        ok = ok && std::fputs(line.c_str(), out) >= 0;
    }
    const int writeErrno = errno;
    ok = std::fclose(out) == 0 && ok;
    if (ok) std::filesystem::rename(temporary, path, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        error = "Could not write " + path + ": " + std::strerror(writeErrno ? writeErrno : EIO);
        return false;
    }
    return true;
}
