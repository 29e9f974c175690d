// wildview-mklevel: writes levels for trying out and testing the viewer.
//
//   wildview-mklevel demo DIR     DIR/demo.grf, DIR/demo-130.pid, DIR/demo-130.swp
//   wildview-mklevel bench DIR [--instances N] [--meshes M] [--textures T] [--seed S]
//                                 DIR/bench.grf, DIR/bench-130.pid, DIR/bench-130.swp
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/arguments.h"
#include "platform/file_system.h"
#include "writer/bench_level.h"
#include "writer/demo_level.h"
#include "writer/skew_level.h"

namespace {

const char* kUsage =
    "usage: wildview-mklevel demo DIR\n"
    "       wildview-mklevel skew DIR\n"
    "       wildview-mklevel bench DIR [--instances N] [--meshes M] [--textures T] [--seed S]\n"
    "  demo DIR    write the demo level (demo.grf, demo-130.pid, demo-130.swp) into DIR\n"
    "  skew DIR    write a small level with nothing symmetric about it (skew.grf, ...), for tests\n"
    "  bench DIR   write a large random level (bench.grf, bench-130.pid, bench-130.swp) into DIR;\n"
    "              defaults: 20000 instances, 2000 meshes, 500 textures, seed 1\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "wildview-mklevel: %s\n%s", why.c_str(), kUsage);
    return 2;
}

// A whole decimal number in [lo, hi].
bool ParseCount(const char* text, long long lo, long long hi, long long& out) {
    if (!text || !*text || std::strchr(text, '-') || std::strchr(text, '+') || std::strchr(text, ' ')) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > static_cast<unsigned long long>(hi) || static_cast<long long>(v) < lo)
        return false;
    out = static_cast<long long>(v);
    return true;
}

// Creates the directory and its parents; one that exists already is fine,
// and anything else that stops it shows when the files are written.
void MakeDirectory(const std::string& dir) {
    std::string ignored;
    platform::Files().CreateDirectories(dir, ignored);
}

int Fail(const std::string& error) {
    std::fprintf(stderr, "wildview-mklevel: %s\n", error.c_str());
    return 1;
}

// A level of fixed bytes, NAME.grf and its textures, into dir.
int Fixed(const std::string& dir, const char* name, bool (*write)(const std::string&, std::string*)) {
    MakeDirectory(dir);
    std::string error;
    if (!write(dir, &error)) return Fail(error);
    std::printf("wrote %s/%s.grf, %s/%s-130.pid and %s/%s-130.swp\n", dir.c_str(), name, dir.c_str(), name, dir.c_str(),
                name);
    return 0;
}

int Bench(int argc, char** argv) {
    const std::string dir = argv[2];
    long long instances = 20000, meshes = 2000, textures = 500, seed = 1;
    for (int i = 3; i < argc; i += 2) {
        const std::string option = argv[i];
        long long* target = nullptr;
        long long lo = 0, hi = 0;
        if (option == "--instances") target = &instances, lo = 0, hi = wvwrite::kMaxBenchInstances;
        else if (option == "--meshes") target = &meshes, lo = 1, hi = wvwrite::kMaxBenchMeshes;
        else if (option == "--textures") target = &textures, lo = 1, hi = wvwrite::kMaxBenchTextures;
        else if (option == "--seed") target = &seed, lo = 0, hi = INT64_MAX;
        else return Usage("unknown option '" + option + "'");
        if (i + 1 >= argc) return Usage(option + " needs a value");
        if (!ParseCount(argv[i + 1], lo, hi, *target))
            return Usage(option + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                         ", not '" + argv[i + 1] + "'");
    }
    MakeDirectory(dir);
    std::string error;
    if (!wvwrite::WriteBenchLevel(dir, static_cast<int>(instances), static_cast<int>(meshes), static_cast<int>(textures),
                                  static_cast<std::uint64_t>(seed), &error))
        return Fail(error);
    std::printf("wrote %s/bench.grf, %s/bench-130.pid and %s/bench-130.swp (%lld instances, %lld meshes, %lld textures)\n",
                dir.c_str(), dir.c_str(), dir.c_str(), instances, meshes, textures);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    argv = platform::StartCommandLine(argc, argv);
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2) return Usage("no command given");
    const std::string command = argv[1];
    if (command == "demo") {
        if (argc != 3) return Usage("demo takes exactly one directory");
        return Fixed(argv[2], "demo", &wvwrite::WriteDemoLevel);
    }
    if (command == "skew") {
        if (argc != 3) return Usage("skew takes exactly one directory");
        return Fixed(argv[2], "skew", &wvwrite::WriteSkewLevel);
    }
    if (command == "bench") {
        if (argc < 3 || std::strncmp(argv[2], "--", 2) == 0) return Usage("bench needs a directory");
        return Bench(argc, argv);
    }
    return Usage("unknown command '" + command + "'");
}
