#include "platform/config/wine_registry.h"

#include "platform/text_encoding.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace platform {

namespace {

namespace fs = std::filesystem;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && SameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads Wine's escaped text from line[at] up to the unescaped terminator.
// Wine writes characters outside printable ASCII as \xHHHH (UTF-16 units),
// the C control escapes, and a backslash before '\\', '"' and the key
// brackets. Returns false when the terminator is missing.
bool ReadEscaped(const std::string& line, std::size_t& at, char terminator, std::string& out) {
    out.clear();
    std::uint32_t highSurrogate = 0;
    auto emit = [&](std::uint32_t unit) {
        if (unit >= 0xD800 && unit < 0xDC00) {
            highSurrogate = unit;
            return;
        }
        if (unit >= 0xDC00 && unit < 0xE000 && highSurrogate) {
            AppendUtf8(out, 0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            AppendUtf8(out, unit);
        }
        highSurrogate = 0;
    };
    while (at < line.size()) {
        char c = line[at++];
        if (c == terminator) return true;
        if (c != '\\' || at >= line.size()) {
            highSurrogate = 0;
            out += c;
            continue;
        }
        char e = line[at++];
        switch (e) {
        case 'a': emit('\a'); break;
        case 'b': emit('\b'); break;
        case 'e': emit(0x1B); break;
        case 'f': emit('\f'); break;
        case 'n': emit('\n'); break;
        case 'r': emit('\r'); break;
        case 't': emit('\t'); break;
        case 'v': emit('\v'); break;
        case 'x': {
            std::uint32_t unit = 0;
            int digits = 0;
            while (digits < 4 && at < line.size() && HexDigit(line[at]) >= 0) {
                unit = unit * 16 + static_cast<std::uint32_t>(HexDigit(line[at++]));
                ++digits;
            }
            if (digits == 0) out += 'x';
            else emit(unit);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                std::uint32_t unit = static_cast<std::uint32_t>(e - '0');
                for (int digits = 1; digits < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7';
                     ++digits)
                    unit = unit * 8 + static_cast<std::uint32_t>(line[at++] - '0');
                emit(unit);
            } else {
                highSurrogate = 0;
                out += e;
            }
        }
    }
    return false;
}

// What one view of the key (plain or the 32-bit one) holds for the value.
struct KeyView {
    std::string name;
    bool present = false;
    bool found = false;  // a string value of the wanted name
    std::string text;
};

void ScanHive(const std::string& hivePath, std::vector<KeyView>& views, const std::string& valueName) {
    std::ifstream in(hivePath, std::ios::binary);
    KeyView* current = nullptr;
    std::string line, text;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (line[0] == '[') {
            current = nullptr;
            std::size_t at = 1;
            if (!ReadEscaped(line, at, ']', text)) continue;
            for (KeyView& view : views)
                if (SameIgnoringCase(text, view.name)) {
                    view.present = true;
                    current = &view;
                }
            continue;
        }
        if (!current) continue;
        std::string name;
        std::size_t at = 0;
        if (line[0] == '@') {
            at = 1;
        } else if (line[0] == '"') {
            at = 1;
            if (!ReadEscaped(line, at, '"', name)) continue;
        } else {
            continue;  // comments, options and continuation lines of binary values
        }
        if (at >= line.size() || line[at] != '=' || !SameIgnoringCase(name, valueName)) continue;
        ++at;
        // A plain string or an expandable one ("str(2):"); every other type
        // is not a string to a string reader.
        if (line.compare(at, 7, "str(2):") == 0) at += 7;
        if (at >= line.size() || line[at] != '"') {
            current->found = false;
            continue;
        }
        ++at;
        current->found = ReadEscaped(line, at, '"', current->text);
    }
}

// Cuts at most limit bytes, never inside a UTF-8 sequence.
std::string CutUtf8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

struct Override {
    const char* value;
    const char* variable;
};
constexpr const char* kGameKey = "SOFTWARE\\Larkspur Interactive\\Wildgrove";
constexpr Override kOverrides[] = {
    {"Data Drive", "WILDGROVE_DATA_DRIVE"},
    {"Installed Directory", "WILDGROVE_INSTALLED_DIRECTORY"},
};

}  // namespace

ConfigPlaces ConfigPlaces::FromProcess() {
    ConfigPlaces places;
    places.environment = [](const std::string& name) -> std::optional<std::string> {
        const char* v = std::getenv(name.c_str());
        if (!v) return std::nullopt;
        return std::string(v);
    };
    if (auto prefix = places.environment("WINEPREFIX"); prefix && !prefix->empty())
        places.winePrefix = *prefix;
    else if (auto home = places.environment("HOME"); home && !home->empty())
        places.winePrefix = *home + "/.wine";
    return places;
}

std::string MapWindowsPath(const std::string& winePrefix, const std::string& path) {
    std::string local = path;
    for (char& c : local)
        if (c == '\\') c = '/';
    const bool hasDrive = local.size() >= 2 && local[1] == ':' &&
                          ((local[0] >= 'a' && local[0] <= 'z') || (local[0] >= 'A' && local[0] <= 'Z'));
    if (!hasDrive || winePrefix.empty()) return local;

    const fs::path link = fs::path(winePrefix) / "dosdevices" / (std::string(1, Lower(local[0])) + ":");
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec) return local;
    if (target.is_relative()) target = (link.parent_path() / target).lexically_normal();
    std::string root = target.string();
    while (!root.empty() && root.back() == '/') root.pop_back();

    const std::string rest = local.substr(2);
    if (rest.empty()) return root.empty() ? "/" : root;
    if (rest[0] == '/') return root + rest;
    return root + "/" + rest;  // drive-relative, taken from the drive's root
}

ConfigResult ReadConfigString(const ConfigPlaces& places, const std::string& key, const std::string& value,
                              std::string& out) {
    out.clear();
    if (SameIgnoringCase(key, kGameKey) && places.environment) {
        for (const Override& o : kOverrides) {
            if (!SameIgnoringCase(value, o.value)) continue;
            if (auto text = places.environment(o.variable); text && !text->empty()) {
                out = *text;
                return ConfigResult::Found;
            }
        }
    }
    if (places.winePrefix.empty()) return ConfigResult::NoKey;

    // A 32-bit program on a 64-bit prefix sees SOFTWARE through the
    // Wow6432Node view, which is where the game's installer wrote.
    std::vector<KeyView> views;
    const std::string software = "SOFTWARE\\";
    if (StartsWithIgnoringCase(key, software))
        views.push_back(KeyView{"Software\\Wow6432Node\\" + key.substr(software.size()), false, false, {}});
    views.push_back(KeyView{key, false, false, {}});
    ScanHive(places.winePrefix + "/system.reg", views, value);

    for (const KeyView& view : views) {
        if (!view.present) continue;
        if (!view.found) return ConfigResult::NoValue;
        out = MapWindowsPath(places.winePrefix, CutUtf8(view.text, kConfigValueLimit));
        return ConfigResult::Found;
    }
    return ConfigResult::NoKey;
}

}  // namespace platform
