// wildview-inspect: looks inside a level's files from the command line.
//
//   wildview-inspect blocks FILE.grf [--json]
//   wildview-inspect textures FILE.pid [--users] [--json]
//   wildview-inspect texture FILE.pid FILE.swp INDEX OUT.png [--normals OUT.png]
//   wildview-inspect namehandle VALUE NAME [SUFFIX]
//   wildview-inspect scene LEVEL.swp [--json]
//   wildview-inspect valuetable FILE.grf
//   wildview-inspect model LEVEL.swp RECORD
//   wildview-inspect instance LEVEL.swp RECORD [--raw]
//   wildview-inspect diff A.grf B.grf
//   wildview-inspect heights LEVEL.swp [--centre X Y] [--raw OUT.f32] [--png OUT.png] [--json]
//
// Errors print one line to standard error and exit with status 1 (2 for a
// wrong command line).
#include <cerrno>
#include <cmath>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "files/name_handle.h"
#include "files/png_image.h"
#include "files/texture_database.h"
#include "files/texture_image.h"
#include "inspect/diff_command.h"
#include "inspect/heights_command.h"
#include "inspect/json.h"
#include "inspect/scene_commands.h"
#include "platform/arguments.h"
#include "platform/atomic_file.h"
#include "platform/file_system.h"
#include "scene/scene_model.h"
#include "scene/texture_users.h"

namespace {

using inspect::JsonBool;
using inspect::JsonString;

const char* kUsage =
    "usage: wildview-inspect COMMAND ...\n"
    "  blocks FILE.grf [--json]          the blocks and symbols of a scene file\n"
    "  textures FILE.pid [--users] [--json]  the entries and palettes of a texture database;\n"
    "                                    --users: the models and objects of its level (NAME.grf\n"
    "                                    and NAME-130.swp beside it) that use each entry\n"
    "  texture FILE.pid FILE.swp INDEX OUT.png [--normals OUT.png]\n"
    "                                    one texture entry as a palette PNG (its indices and palette)\n"
    "  namehandle VALUE NAME [SUFFIX]    the CRC-32 name handle of a texture name\n"
    "  scene LEVEL.swp [--json]          load the level headless (NAME.grf, NAME-130.pid beside it)\n"
    "  valuetable FILE.grf               the property tables of a scene file\n"
    "  model LEVEL.swp RECORD            the model report of an object (its record in .region)\n"
    "  instance LEVEL.swp RECORD [--raw] the object and property table reports; --raw: where\n"
    "                                    the object, its model, properties and textures lie in the\n"
    "                                    files (byte offsets)\n"
    "  diff A.grf B.grf                  which objects B moved, turned or removed from A\n"
    "  heights LEVEL.swp [--centre X Y] [--raw OUT.f32] [--png OUT.png] [--json]\n"
    "                                    the inferred ground around the start (or X, Y):\n"
    "                                    raw little-endian float32 rows, a 16-bit grey picture\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "wildview-inspect: %s\n", message.c_str());
    return 1;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "wildview-inspect: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// Splits arguments into positionals and the flags the commands know.
struct Args {
    std::vector<std::string> positional;
    bool json = false, users = false;
    bool rawOffsets = false;  // instance --raw: where it lies in the files
    std::string normals;
    std::optional<Vector3> centre;
    std::string raw, png;
    std::string error;
};

Args ParseArgs(int argc, char** argv, int first, const std::string& command) {
    Args a;
    for (int i = first; i < argc; ++i) {
        const std::string s = argv[i];
        if (s == "--json") {
            a.json = true;
        } else if (s == "--users") {
            a.users = true;
        } else if (s == "--normals") {
            if (i + 1 >= argc) a.error = "--normals needs a file name";
            else a.normals = argv[++i];
        } else if (s == "--raw" && command == "instance") {
            a.rawOffsets = true;
        } else if (s == "--raw" || s == "--png") {
            if (i + 1 >= argc) a.error = s + " needs a file name";
            else (s == "--raw" ? a.raw : a.png) = argv[++i];
        } else if (s == "--centre") {
            char* end1 = nullptr;
            char* end2 = nullptr;
            if (i + 2 >= argc) {
                a.error = "--centre needs X and Y";
                continue;
            }
            const float x = std::strtof(argv[i + 1], &end1), y = std::strtof(argv[i + 2], &end2);
            if (*end1 || *end2 || end1 == argv[i + 1] || end2 == argv[i + 2] || !std::isfinite(x) ||
                !std::isfinite(y))
                a.error = "--centre needs two numbers";
            a.centre = Vector3(x, y, 0);
            i += 2;
        } else if (s.size() > 2 && s.rfind("--", 0) == 0) {
            a.error = "unknown option " + s;
        } else {
            a.positional.push_back(s);
        }
    }
    return a;
}

bool ParseUnsigned(const std::string& s, std::uint64_t& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoull(s.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0' && s[0] != '-';
}

int Blocks(const Args& a) {
    if (a.positional.size() != 1) return Usage("blocks takes one scene file");
    const std::string& path = a.positional[0];
    BlockFile file;
    if (!file.Load(path.c_str())) return Fail(path + ": " + file.LastError());
    if (a.json) {
        std::string out = "{\"blocks\":[";
        for (std::size_t n = 0; n < file.Blocks().size(); ++n) {
            const BlockRecord& b = file.Blocks()[n];
            const char* name = b.GetName();
            if (n) out += ',';
            out += "{\"number\":" + std::to_string(n) + ",\"handle\":" + std::to_string(b.handle) +
                   ",\"type\":" + std::to_string(b.type) + ",\"size\":" + std::to_string(b.size()) +
                   ",\"name\":" + JsonString(name ? name : "") + "}";
        }
        out += "],\"symbols\":[";
        for (std::size_t i = 0; i < file.Symbols().size(); ++i) {
            const SymbolRecord& s = file.Symbols()[i];
            if (i) out += ',';
            out += "{\"handle\":" + std::to_string(s.handle) + ",\"refs\":" + std::to_string(s.refCount) +
                   ",\"name\":" + JsonString(s.Name()) + "}";
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
        return 0;
    }
    std::printf("%zu blocks, %zu symbols in %s\n\n", file.Blocks().size(), file.Symbols().size(), path.c_str());
    std::printf("%6s  %-10s  %-10s  %10s  %s\n", "number", "handle", "type", "size", "name");
    for (std::size_t n = 0; n < file.Blocks().size(); ++n) {
        const BlockRecord& b = file.Blocks()[n];
        const char* name = b.GetName();
        std::printf("%6zu  0x%08X  0x%08X  %10u  %s\n", n, b.handle, b.type, b.size(), name ? name : "(unnamed)");
    }
    std::printf("\n%-10s  %6s  %s\n", "symbol", "refs", "name");
    for (const SymbolRecord& s : file.Symbols()) std::printf("0x%08X  %6u  %s\n", s.handle, s.refCount, s.Name());
    return 0;
}

bool LoadDatabase(const std::string& path, TextureDatabase& db, std::string& error) {
    if (!platform::Files().OpenForReading(path, error)) {
        error = path + ": " + error;
        return false;
    }
    if (!db.Read(path.c_str())) {
        error = path + ": not a texture database (version is not 0x130)";
        return false;
    }
    if (db.Truncated()) {
        error = path + ": the file is shorter than its header and palettes say";
        return false;
    }
    return true;
}

int Textures(const Args& a) {
    if (a.positional.size() != 1) return Usage("textures takes one texture database");
    TextureDatabase db;
    std::string error;
    if (!LoadDatabase(a.positional[0], db, error)) return Fail(error);
    std::vector<TextureUsers> users;
    if (a.users) {
        if (!inspect::LoadLevelOfDatabase(a.positional[0], error)) return Fail(error);
        users = FindTextureUsers(db.entries.size());
    }
    const auto modelNames = [&](std::size_t i, bool json) {
        std::string out;
        for (const Model* m : users[i].models) {
            if (!out.empty()) out += json ? "," : ", ";
            out += json ? JsonString(m->name) : m->name;
        }
        return out;
    };
    const auto records = [&](std::size_t i, const char* separator) {
        std::string out;
        for (std::uint32_t r : users[i].records) {
            if (!out.empty()) out += separator;
            out += std::to_string(r);
        }
        return out;
    };
    if (a.json) {
        std::string out = "{\"version\":" + std::to_string(kTextureDatabaseVersion) + ",\"entries\":[";
        for (std::size_t i = 0; i < db.entries.size(); ++i) {
            const TextureEntry& e = db.entries[i];
            if (i) out += ',';
            out += "{\"index\":" + std::to_string(i) + ",\"offset\":" + std::to_string(e.offset) +
                   ",\"width\":" + std::to_string(e.width) + ",\"height\":" + std::to_string(e.height) +
                   ",\"stride\":" + std::to_string(e.stride) + ",\"bits\":" + std::to_string(e.bits) +
                   ",\"transparent\":" + JsonBool(e.transparent != 0) + ",\"bump\":" + JsonBool(e.bump != 0) +
                   ",\"kind\":" + std::to_string(e.kind) + ",\"palette\":" + std::to_string(e.palette) +
                   ",\"identifier\":" + std::to_string(e.identifier) + ",\"sizecode\":" + std::to_string(e.sizeCode);
            if (a.users) out += ",\"models\":[" + modelNames(i, true) + "],\"objects\":[" + records(i, ",") + "]";
            out += "}";
        }
        out += "],\"palettes\":[";
        for (std::size_t i = 0; i < db.paletteSizes.size(); ++i) {
            if (i) out += ',';
            out += std::to_string(db.paletteSizes[i]);
        }
        out += "]}\n";
        std::fputs(out.c_str(), stdout);
        return 0;
    }
    std::printf("%zu entries, %zu palettes (the last is the default palette)\n\n", db.entries.size(),
                db.palettes.size());
    std::printf("%5s  %10s  %5s  %5s  %6s  %4s  %-5s  %-4s  %-10s  %-10s  %-10s  %s\n", "index", "offset", "width",
                "height", "stride", "bits", "alpha", "bump", "kind", "palette", "identifier", "sizecode");
    for (std::size_t i = 0; i < db.entries.size(); ++i) {
        const TextureEntry& e = db.entries[i];
        std::printf("%5zu  %10u  %5u  %6u  %6u  %4u  %-5s  %-4s  0x%08X  0x%08X  0x%08X  %u\n", i, e.offset, e.width,
                    e.height, e.stride, e.bits, e.transparent ? "yes" : "no", e.bump ? "yes" : "no", e.kind,
                    e.palette, e.identifier, e.sizeCode);
    }
    std::printf("\npalette colours:");
    for (std::uint32_t n : db.paletteSizes) std::printf(" %u", n);
    std::printf("\n");
    if (a.users) {
        std::printf("\n%5s  %6s  %7s  %s\n", "index", "models", "objects", "models: objects");
        for (std::size_t i = 0; i < users.size(); ++i)
            std::printf("%5zu  %6zu  %7zu  %s%s%s\n", i, users[i].models.size(), users[i].records.size(),
                        modelNames(i, false).c_str(), users[i].records.empty() ? "" : ": ", records(i, " ").c_str());
    }
    return 0;
}

int Texture(const Args& a) {
    if (a.positional.size() != 4) return Usage("texture takes FILE.pid FILE.swp INDEX OUT.png");
    TextureDatabase db;
    std::string error;
    platform::ProtectFiles({a.positional[0], a.positional[1]});  // the pictures never replace what they come from
    if (!LoadDatabase(a.positional[0], db, error)) return Fail(error);
    const std::string& swp = a.positional[1];
    if (!db.pixelFile.OpenFile(swp.c_str())) return Fail(swp + ": " + std::strerror(errno ? errno : ENOENT));
    std::uint64_t index = 0;
    if (!ParseUnsigned(a.positional[2], index)) return Usage("INDEX must be a number");
    if (index >= db.entries.size())
        return Fail("entry " + a.positional[2] + " does not exist (the database has " +
                    std::to_string(db.entries.size()) + " entries)");
    const TextureEntry& e = db.entries[index];
    const std::uint64_t rowBytes = std::uint64_t{e.width} * (e.bits == 16 ? 2 : 1);
    if (e.height && std::uint64_t{e.offset} + std::uint64_t{e.height - 1} * e.stride + rowBytes > db.pixelFile.Size())
        return Fail(swp + ": entry " + std::to_string(index) + " lies past the end of the pixel file");
    DecodedImage image;
    if (!db.DecodeImage(static_cast<int>(index), !a.normals.empty(), image) || image.width == 0 || image.height == 0)
        return Fail("entry " + std::to_string(index) + " has no decodable pixels (" + std::to_string(e.width) + " x " +
                    std::to_string(e.height) + ")");
    if (!WritePaletteTexturePng(db, static_cast<int>(index), a.positional[3], error)) return Fail(error);
    if (!a.normals.empty() && !WritePngFile(a.normals, image.width, image.height, image.normals, error))
        return Fail(error);
    return 0;
}

int NameHandle(const Args& a) {
    if (a.positional.size() < 2 || a.positional.size() > 3) return Usage("namehandle takes VALUE NAME [SUFFIX]");
    char* end = nullptr;
    const float value = std::strtof(a.positional[0].c_str(), &end);
    if (a.positional[0].empty() || !end || *end) return Usage("VALUE must be a number such as 1.0");
    const std::string suffix = a.positional.size() == 3 ? a.positional[2] : "";
    std::printf("0x%08X\n", MakeNameHandle(FloatBits(value), a.positional[1].c_str(), suffix.c_str()));
    return 0;
}

int Run(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const Args a = ParseArgs(argc, argv, 2, command);
    if (!a.error.empty()) return Usage(a.error);
    if (command == "blocks") return Blocks(a);
    if (command == "textures") return Textures(a);
    if (command == "texture") return Texture(a);
    if (command == "namehandle") return NameHandle(a);
    if (command == "scene") {
        if (a.positional.size() != 1) return Usage("scene takes one pixel file (LEVEL.swp)");
        return inspect::SceneCommand(a.positional[0], a.json);
    }
    if (command == "valuetable") {
        if (a.positional.size() != 1) return Usage("valuetable takes one scene file");
        return inspect::ValueTableCommand(a.positional[0]);
    }
    if (command == "diff") {
        if (a.positional.size() != 2) return Usage("diff takes two scene files");
        return inspect::DiffCommand(a.positional[0], a.positional[1]);
    }
    if (command == "heights") {
        if (a.positional.size() != 1) return Usage("heights takes one pixel file (LEVEL.swp)");
        return inspect::HeightsCommand({a.positional[0], a.centre, a.raw, a.png, a.json});
    }
    if (command == "model" || command == "instance") {
        if (a.positional.size() != 2) return Usage(command + " takes LEVEL.swp RECORD");
        return command == "model" ? inspect::ModelCommand(a.positional[0], a.positional[1])
                                  : inspect::InstanceCommand(a.positional[0], a.positional[1], a.rawOffsets);
    }
    return Usage("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
    argv = platform::StartCommandLine(argc, argv);
    const int rc = Run(argc, argv);
    // A loaded level is a few hundred thousand small objects: freeing them
    // one by one at exit costs more than printing the report did, so the
    // process ends without. Output that could not be written is a failure.
    const bool written = std::fflush(nullptr) == 0 && !std::ferror(stdout);
    std::_Exit(written || rc != 0 ? rc : 1);
}
