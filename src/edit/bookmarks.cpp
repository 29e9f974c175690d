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
    b.name = CleanBookmarkName(b.name);
    return !b.name.empty();
}

// A free name beside path for a file set aside: an earlier copy is kept.
std::string AsideName(const std::string& path) {
    std::string aside = path + ".damaged";
    for (int n = 2; platform::Files().KindOf(aside) != platform::PathKind::Missing && n < 1000; ++n)
        aside = path + ".damaged-" + std::to_string(n);
    return aside;
}

}  // namespace

std::string BookmarksDirectory() { return platform::Files().SettingsDirectory("wildview"); }

std::string BookmarksPath(const std::string& levelName) {
    const std::string dir = BookmarksDirectory();
    return dir.empty() ? std::string() : platform::JoinPath(dir, "bookmarks-" + FileSafe(levelName) + ".txt");
}

std::string CleanBookmarkName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) out += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    out = out.substr(first, out.find_last_not_of(' ') - first + 1);
    if (out.size() > kMaxBookmarkName) {
        // Cut before a character that would lose some of its bytes.
        std::size_t cut = kMaxBookmarkName;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

std::vector<Bookmark> LoadBookmarks(const std::string& levelName, std::string& problem) {
    problem.clear();
    std::vector<Bookmark> marks;
    const std::string path = BookmarksPath(levelName);
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (path.empty() || !platform::ReadWholeFile(path, bytes, why)) return marks;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    // Lines may end in CR LF (a file edited on Windows).
    auto next = [&] {
        if (!std::getline(in, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    };
    const bool isBookmarks = next() && line == kHeader;
    std::vector<int> bad;
    for (int n = 2; isBookmarks && next(); ++n) {
        if (line.empty()) continue;
        Bookmark b;
        if (ParseLine(line, b)) marks.push_back(std::move(b));
        else bad.push_back(n);
    }
    if (isBookmarks && bad.empty()) return marks;
    // What cannot be read is set aside whole; what could is written again.
    const std::string aside = AsideName(path);
    std::string error;
    const bool setAside = platform::Files().MoveOver(path, aside, error);
    if (setAside && !marks.empty()) SaveBookmarks(levelName, marks, error);
    std::string what = "it does not start as a bookmarks file";
    if (isBookmarks) {
        what = std::to_string(bad.size()) + (bad.size() == 1 ? " line is" : " lines are") + " not a bookmark (line";
        for (std::size_t k = 0; k < bad.size() && k < 5; ++k) what += (k ? ", " : " ") + std::to_string(bad[k]);
        what += bad.size() > 5 ? ", ...)" : ")";
    }
    problem = "The bookmarks file " + path + " could not be read whole: " + what + ". " +
              std::to_string(marks.size()) + (marks.size() == 1 ? " bookmark was" : " bookmarks were") + " kept" +
              (setAside ? "; the file as it was is set aside as " + aside + "."
                        : "; the file could not be set aside (" + error + ").");
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
        const std::string name = CleanBookmarkName(b.name);
        if (name.empty()) continue;
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
