// wildview: the level viewer.
//
//   wildview [LEVEL.swp]
//
// With a pixel file it stands for the answer to the first open-file dialog;
// when the scene file and texture database lie beside it they are used
// without a search. Without one the viewer asks, as it always has.
#include <cstdio>
#include <memory>
#include <string>

#include "app/main_loop.h"
#include "diag/clock.h"
#include "location/level_location.h"
#include "platform/arguments.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/window_platform.h"

namespace {
const char* kUsage =
    "usage: wildview [LEVEL.swp]\n"
    "  Views a Wildgrove level. LEVEL.swp is the level's texture pixel file; the\n"
    "  scene file (NAME.grf) and texture database (NAME-130.pid) are taken from\n"
    "  beside it, or else looked for in the game's data directory\n"
    "  (WILDGROVE_DATA_DRIVE or the Wine registry) and asked for when they are\n"
    "  not there. Without LEVEL.swp a dialog asks for it.\n"
    "  --help     this text\n"
    "  --version  the version\n";

// A level named on the command line must be a file: said before any
// window opens, with the reason.
bool NamedLevelUsable(const std::string& path) {
    switch (platform::Files().KindOf(path)) {
        case platform::PathKind::Missing:
            std::fprintf(stderr, "wildview: %s: No such file or directory\n", path.c_str());
            return false;
        case platform::PathKind::Directory:
            std::fprintf(stderr, "wildview: %s: is a folder, not a level's pixel file (LEVEL.swp)\n", path.c_str());
            return false;
        default: return true;
    }
}

}  // namespace

int main(int argc, char** argv) {
    GetTime();  // the clock's zero: the first frame's line counts from here
    argv = platform::StartCommandLine(argc, argv);
    if (argc > 2) {
        std::fprintf(stderr, "wildview: one level at most, %d were given\n%s", argc - 1, kUsage);
        return 2;
    }
    if (argc == 2) {
        const std::string arg = argv[1];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("Wildgrove Level Viewer (Wildview v0.0)");
            return 0;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "wildview: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
        if (!NamedLevelUsable(arg)) return 2;
        SetFirstSwpChoice(arg);
    }
    std::string why;
    const std::unique_ptr<platform::Platform> pf = platform::CreateWindowPlatform(why);
    if (!pf) {
        std::fprintf(stderr, "wildview: no display: %s\n", why.c_str());
        return 1;
    }
    platform::Install(pf.get());
    const int code = WinMain();
    platform::Install(nullptr);
    return code;
}
