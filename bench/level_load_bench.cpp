// Times the headless load of a large level (scene file, texture database,
// pixel file, scene construction) against reading its three files into
// memory, and measures the load's peak memory in a child process.
//
//   bench_level_load [--instances N] [--meshes M] [--textures T] [--runs R]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "headless/headless_level.h"
#include "writer/bench_level.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::size_t ReadWhole(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return got;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int instances = 20000, meshes = 2000, textures = 500, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (flag == "--instances") instances = value;
        else if (flag == "--meshes") meshes = value;
        else if (flag == "--textures") textures = value;
        else if (flag == "--runs") runs = std::max(1, value);
    }
    char tmpl[] = "/tmp/wildview-bench-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::string error;
    if (!wvwrite::WriteBenchLevel(dir, instances, meshes, textures, 1, &error)) {
        std::fprintf(stderr, "bench_level_load: %s\n", error.c_str());
        return 1;
    }
    const std::string swp = dir + "/bench-130.swp";
    const std::string files[] = {dir + "/bench.grf", dir + "/bench-130.pid", swp};
    std::size_t bytes = 0;
    for (const std::string& f : files) bytes += std::filesystem::file_size(f);
    std::printf("bench level: %d instances, %d meshes, %d textures, %.1f MiB in three files\n", instances, meshes,
                textures, static_cast<double>(bytes) / (1 << 20));

    std::FILE* devnull = std::fopen("/dev/null", "w");  // the loader's per-object lines
    std::vector<double> loads, reads;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        for (const std::string& f : files) ReadWhole(f);
        reads.push_back(Seconds(t0));
        headless::LoadedLevel level;
        level.console = devnull;
        t0 = std::chrono::steady_clock::now();
        headless::LoadLevel(swp, level);
        loads.push_back(Seconds(t0));
        if (r == 0)
            std::printf("loaded: %zu messages from the load\n", level.platform.boxes.size());
    }
    const double load = Median(loads), read = Median(reads);
    std::printf("headless load: %.1f ms, reading the three files: %.1f ms (medians of %d)\n", load * 1e3, read * 1e3,
                runs);
    std::printf("headless load / reading the files = %.2fx\n", load / read);

    // The load's own peak memory, away from the writer's.
    const pid_t child = fork();
    if (child == 0) {
        headless::LoadedLevel level;
        level.console = devnull;
        headless::LoadLevel(swp, level);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    std::printf("peak memory of a process that loads it: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    std::filesystem::remove_all(dir);
    return 0;
}
