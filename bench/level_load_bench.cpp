// The load of large bench levels against reading their files.
//
// In process: the headless load (scene file, texture database, pixel file,
// scene construction, terrain) against reading the three files into fresh
// memory, the two interleaved run by run so that the machine's noise falls
// on both alike. Whole processes: `wildview-inspect scene` against `cat` of
// the three files, interleaved likewise. Then the peak memory and page
// faults of a fresh process that does nothing but load (this program run
// again with --load-only, so it inherits none of the writer's memory).
//
//   bench_level_load [--instances N[,N...]] [--meshes M] [--textures T] [--seed S] [--runs R]
//   bench_level_load --load-only LEVEL.swp
//   bench_level_load --loads-without-ground N LEVEL.swp   (a loop for perf)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_levels.h"
#include "diag/state_registry.h"
#include "headless/headless_level.h"
#include "terrain/terrain.h"
#include "writer/bench_level.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// Reads a file whole into memory of its own, as a reader that keeps it would.
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

struct Spread {
    double min = 0, median = 0, max = 0;
};

Spread Of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

void Print(const char* what, const Spread& s, const char* unit = "ms") {
    std::printf("  %-34s min %8.2f  median %8.2f  max %8.2f %s\n", what, s.min, s.median, s.max, unit);
}

// Runs argv with its standard output thrown away, or kept in *output;
// wall milliseconds, and the child's own resource use.
bool Spawn(const std::vector<std::string>& args, double& ms, rusage& usage, std::string* output = nullptr) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (output && pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    const auto start = Clock::now();
    pid_t pid = 0;
    const int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output) {
        close(pipeFds[1]);
        char buf[4096];
        ssize_t got;
        while ((got = read(pipeFds[0], buf, sizeof buf)) > 0) output->append(buf, static_cast<std::size_t>(got));
        close(pipeFds[0]);
    }
    if (err != 0) return false;
    int status = 0;
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    ms = Ms(start);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A field of /proc/self/status in kB, or -1.
long StatusKb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') kb = std::atol(line + n + 1);
    std::fclose(f);
    return kb;
}

// The peak is read from the process itself: the resource use a parent gets
// back counts the memory the child had before its exec (the parent's own,
// with posix_spawn as with fork).
int LoadOnly(const std::string& swp) {
    headless::LoadedLevel level;
    level.console = nullptr;
    const bool ok = headless::LoadLevel(swp, level);
    std::printf("%ld\n", StatusKb("VmHWM"));
    return ok ? 0 : 1;
}

void Measure(const std::string& dir, int instances, int meshes, int textures, std::uint64_t seed, int runs) {
    std::string error;
    if (!wvwrite::WriteBenchLevel(dir, instances, meshes, textures, seed, &error)) {
        std::fprintf(stderr, "bench_level_load: %s\n", error.c_str());
        std::exit(1);
    }
    const std::string swp = dir + "/bench-130.swp";
    const std::vector<std::string> files = {dir + "/bench.grf", dir + "/bench-130.pid", swp};
    std::uintmax_t bytes = 0;
    for (const std::string& f : files) bytes += std::filesystem::file_size(f);
    std::printf("\nbench level: %d instances, %d meshes, %d textures, seed %llu, %.1f MiB in three files "
                "(scene file %.1f MiB)\n",
                instances, meshes, textures, static_cast<unsigned long long>(seed),
                static_cast<double>(bytes) / (1 << 20), static_cast<double>(std::filesystem::file_size(files[0])) / (1 << 20));

    // In process, interleaved: a read of the files, then a load.
    std::vector<double> loads, reads, ratios, grounds, rests, skips, frees;
    std::size_t messages = 0;
    for (int r = 0; r < runs; ++r) {
        auto t0 = Clock::now();
        for (const std::string& f : files) ReadWhole(f);
        reads.push_back(Ms(t0));
        headless::LoadedLevel level;
        level.console = nullptr;
        // The level before is let go of first, off the clock: a load in a
        // fresh process (the inspector's, the viewer's first) has none.
        t0 = Clock::now();
        ResetState(StateScope::Process);
        frees.push_back(Ms(t0));
        t0 = Clock::now();
        headless::LoadLevel(swp, level);
        loads.push_back(Ms(t0));
        ratios.push_back(loads.back() / reads.back());
        // The ground is inferred from the objects, not read: its share is
        // shown apart so that the reading and building of the scene can be
        // set against the read floor on their own.
        const HeightFieldStats& build = TheTerrain().lastBuild;
        grounds.push_back(build.rasteriseMs + build.fillMs);
        rests.push_back(loads.back() - grounds.back());
        messages = level.platform.boxes.size();
        // As the inspector's reports load it: no ground at all.
        headless::LoadedLevel bare;
        bare.console = nullptr;
        ResetState(StateScope::Process);
        t0 = Clock::now();
        headless::LoadLevel(swp, bare, nullptr, Ground::Skip);
        skips.push_back(Ms(t0));
    }
    std::printf("in process (%d interleaved runs; %zu messages from the load):\n", runs, messages);
    Print("headless load", Of(loads));
    Print("  of which inferring the ground", Of(grounds));
    Print("  the rest of the load", Of(rests));
    Print("load without the ground", Of(skips));
    Print("letting go of a loaded level", Of(frees));
    Print("reading the three files", Of(reads));
    const Spread rl = Of(ratios);
    std::printf("  load / read: %.2fx of the minima, %.2fx of the medians (run by run: min %.2fx, median %.2fx, max "
                "%.2fx)\n",
                Of(loads).min / Of(reads).min, Of(loads).median / Of(reads).median, rl.min, rl.median, rl.max);
    std::printf("  the rest / read: %.2fx of the minima, %.2fx of the medians\n", Of(rests).min / Of(reads).min,
                Of(rests).median / Of(reads).median);
    std::printf("  load without the ground / read: %.2fx of the minima, %.2fx of the medians\n",
                Of(skips).min / Of(reads).min, Of(skips).median / Of(reads).median);

    // Whole processes, interleaved: the inspector's scene report against cat.
    std::vector<double> inspects, cats, faults;
    std::vector<std::string> cat = {"/bin/cat"};
    cat.insert(cat.end(), files.begin(), files.end());
    const std::vector<std::string> inspect = {WV_INSPECT, "scene", swp};
    for (int r = 0; r < runs; ++r) {
        double ms = 0;
        rusage usage{};
        if (!Spawn(cat, ms, usage)) {
            std::fprintf(stderr, "bench_level_load: cat failed\n");
            std::exit(1);
        }
        cats.push_back(ms);
        if (!Spawn(inspect, ms, usage)) {
            std::fprintf(stderr, "bench_level_load: %s failed\n", WV_INSPECT);
            std::exit(1);
        }
        inspects.push_back(ms);
        faults.push_back(static_cast<double>(usage.ru_minflt));
    }
    std::printf("whole processes (%d interleaved runs):\n", runs);
    Print("wildview-inspect scene", Of(inspects));
    Print("cat of the three files", Of(cats));
    Print("page faults of wildview-inspect", Of(faults), "");
    std::printf("  inspect / cat: %.2fx of the minima, %.2fx of the medians\n", Of(inspects).min / Of(cats).min,
                Of(inspects).median / Of(cats).median);

    // A fresh process that only loads: its own peak, nothing inherited.
    double ms = 0;
    rusage usage{};
    std::string peak;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    if (!Spawn({self, "--load-only", swp}, ms, usage, &peak)) {
        std::fprintf(stderr, "bench_level_load: the load-only process failed\n");
        std::exit(1);
    }
    std::printf("a process that only loads: peak memory %.1f MiB, %ld page faults, %.1f ms\n",
                static_cast<double>(std::atol(peak.c_str())) / 1024.0, usage.ru_minflt, ms);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--load-only") return LoadOnly(argv[2]);
    if (argc == 4 && std::string(argv[1]) == "--loads-without-ground") {
        // Each load lets go of the one before, as a reload in the viewer does.
        for (int i = 0; i < std::atoi(argv[2]); ++i) {
            headless::LoadedLevel level;
            level.console = nullptr;
            if (!headless::LoadLevel(argv[3], level, nullptr, Ground::Skip)) return 1;
        }
        return 0;
    }
    std::vector<int> instanceCounts = {20000};
    int meshes = 2000, textures = 500, runs = 11;
    std::uint64_t seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        const char* value = argv[i + 1];
        if (flag == "--instances") {
            instanceCounts = bench::CountList(value);
        } else if (flag == "--meshes") {
            meshes = std::atoi(value);
        } else if (flag == "--textures") {
            textures = std::atoi(value);
        } else if (flag == "--seed") {
            seed = std::strtoull(value, nullptr, 10);
        } else if (flag == "--runs") {
            runs = std::max(1, std::atoi(value));
        }
    }
    char tmpl[] = "/tmp/wildview-bench-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    // A folder for each level: a level once loaded is never written over.
    for (int n : instanceCounts) {
        const std::string levelDir = dir + "/" + std::to_string(n);
        std::filesystem::create_directories(levelDir);
        Measure(levelDir, n, meshes, textures, seed, runs);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
