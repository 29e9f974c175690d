// wildview-mklevel: writes levels for trying out and testing the viewer.
//
//   wildview-mklevel demo DIR    DIR/demo.grf, DIR/demo-130.pid, DIR/demo-130.swp
#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "writer/demo_level.h"

namespace {
const char* kUsage =
    "usage: wildview-mklevel demo DIR\n"
    "  demo DIR    write the demo level (demo.grf, demo-130.pid, demo-130.swp) into DIR\n";
}

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3 || std::string(argv[1]) != "demo") {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string dir = argv[2];
    mkdir(dir.c_str(), 0755);  // an existing directory is fine
    std::string error;
    if (!wvwrite::WriteDemoLevel(dir, &error)) {
        std::fprintf(stderr, "wildview-mklevel: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s/demo.grf, %s/demo-130.pid and %s/demo-130.swp\n", dir.c_str(), dir.c_str(), dir.c_str());
    return 0;
}
