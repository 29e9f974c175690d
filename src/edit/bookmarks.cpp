#include "edit/bookmarks.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/file_system.h"

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

std::string BookmarksDirectory() { return platform::Files().SettingsDirectory("wildview"); }

std::string BookmarksPath(const std::string& levelName) {
    const std::string dir = BookmarksDirectory();
    return dir.empty() ? std::string() : dir + "/bookmarks-" + FileSafe(levelName) + ".txt";
}

std::vector<Bookmark> LoadBookmarks(const std::string& levelName, std::string& problem) {
    problem.clear();
    std::vector<Bookmark> marks;
    const std::string path = BookmarksPath(levelName);
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (path.empty() || !platform::ReadWholeFile(path, bytes, why)) return marks;
    why.clear();
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    if (!std::getline(in, line) || line != kHeader) why = "it does not start as a bookmarks file";
    for (int n = 2; why.empty() && std::getline(in, line); ++n) {
        if (line.empty()) continue;
        Bookmark b;
        if (!ParseLine(line, b)) why = "line " + std::to_string(n) + " is not a bookmark";
        else marks.push_back(std::move(b));
    }
    if (why.empty()) return marks;
    marks.clear();
    const std::string aside = path + ".damaged";
    std::string ignored;
    const bool setAside = platform::Files().ReplaceFile(path, aside, ignored);
    problem = "The bookmarks file " + path + " could not be read (" + why + ")" +
              (setAside ? "; it was set aside as " + aside + "." : std::string("; remove it to start afresh."));
    return marks;
}

bool SaveBookmarks(const std::string& levelName, const std::vector<Bookmark>& marks, std::string& error) {
    const std::string path = BookmarksPath(levelName);
    if (path.empty()) {
        error = "Neither XDG_CONFIG_HOME nor HOME names a folder for the bookmarks.";
        return false;
    }
    if (!platform::Files().CreateDirectories(platform::FolderOf(path), error)) {
        error = "Could not write " + path + ": " + error;
        return false;
    }
    std::string text = std::string(kHeader) + "\n";
    for (const Bookmark& b : marks) {
        std::string name = b.name;
        for (char& c : name)
            if (c == '\n' || c == '\r') c = ' ';
        // The shortest text that reads back to the same float, whatever the
        // locale (the toolkit may have set one with decimal commas).
        for (float v : {b.position.x, b.position.y, b.position.z, b.yaw, b.pitch}) {
            char number[32];
            const auto end = std::to_chars(number, number + sizeof number, v).ptr;
            text.append(number, end).push_back(' ');
        }
        text += name + "\n";
    }
    return platform::WriteFileAtomically(path, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, error);
}
