// wildview: the level viewer.
//
//   wildview [LEVEL.swp]
//
// With a pixel file it stands for the answer to the first open-file dialog;
// without one the viewer asks, as it always has.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/main_loop.h"
#include "location/level_location.h"
#include "platform/fltk/fltk_platform.h"
#include "platform/platform.h"

namespace {
const char* kUsage =
    "usage: wildview [LEVEL.swp]\n"
    "  Views a Wildgrove level. LEVEL.swp is the level's texture pixel file; the\n"
    "  scene file (NAME.grf) and texture database (NAME-130.pid) are looked for in\n"
    "  the game's data directory (WILDGROVE_DATA_DRIVE or the Wine registry), and\n"
    "  asked for when they are not there. Without LEVEL.swp a dialog asks for it.\n"
    "  --help     this text\n"
    "  --version  the version\n";
}

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fputs(kUsage, stderr);
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
        SetFirstSwpChoice(arg);
    }
    std::string why;
    if (!platform::FltkPlatform::DisplayAvailable(&why)) {
        std::fprintf(stderr, "wildview: no display: %s\n", why.c_str());
        return 1;
    }
    platform::FltkPlatform pf;
    platform::Install(&pf);
    const int code = WinMain();
    platform::Install(nullptr);
    return code;
}
