// How much slower BlockFile::Load is than reading the same file into memory
// in one call: into a buffer whose pages are already in place, and into
// fresh memory as a loader must. The container (about 64 MiB, 4000 named blocks) is written
// once at start into a fresh folder under /tmp, which is removed at exit.
//
// The repetitions of the three run interleaved in random order (unless the
// command line says otherwise), so that the machine's noise falls on both.
// After the runs the minimum, median and maximum of each are printed, and
// their ratios, from the wall times the runs themselves measured.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "files/block_file.h"
#include "platform/large_memory.h"
#include "writer/procedural.h"
#include "writer/scene_writer.h"

namespace {

constexpr int kBlockCount = 4000;

std::string gPath;        // the container
std::uint64_t gFileSize = 0;

// The temporary folder, removed when main returns.
struct TempDir {
    std::string path;
    ~TempDir() {
        if (path.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// Blocks of 256 B to 32 KiB (16 KiB on average, so 4000 of them make about
// 64 MiB) filled from a fixed seed: the same file on every run.
bool WriteContainer(const std::string& path, std::size_t& symbols) {
    wvwrite::Rng rng(0xB10CF11E);
    wvwrite::SceneWriter writer;
    char name[32];
    for (int i = 0; i < kBlockCount; ++i) {
        const std::size_t size = static_cast<std::size_t>(rng.Int(256, 32512));
        std::vector<std::uint8_t> data(size);
        for (std::size_t k = 0; k < size; k += 8) {
            const std::uint64_t v = rng.Next();
            for (std::size_t b = 0; b < 8 && k + b < size; ++b) data[k + b] = static_cast<std::uint8_t>(v >> (8 * b));
        }
        std::snprintf(name, sizeof name, "object_%04d", i);
        writer.AddBlock(name, i % 7 == 0 ? kMeshBlockType : static_cast<std::uint32_t>(rng.Int(0, 9)), std::move(data));
        // Texture names as the materials of a level list them.
        if (i % 10 == 0) {
            std::snprintf(name, sizeof name, "texture_%03d.tga", i / 10);
            writer.Symbol(name);
        }
    }
    symbols = writer.file().GetSymbolCount();
    std::string error;
    if (!writer.Save(path, &error)) {
        std::cerr << error << "\n";
        return false;
    }
    return true;
}

void BM_BlockFileLoad(benchmark::State& state) {
    for (auto _ : state) {
        auto file = std::make_unique<BlockFile>();
        if (!file->Load(gPath.c_str())) {
            state.SkipWithError(("Load failed: " + file->LastError()).c_str());
            break;
        }
        benchmark::DoNotOptimize(file->Blocks().data());
        // Freeing the blocks is not part of loading them.
        state.PauseTiming();
        file.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

void BM_SingleRead(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(gFileSize, 1);  // written once so its pages are in place
    for (auto _ : state) {
        const int fd = ::open(gPath.c_str(), O_RDONLY);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || static_cast<std::uint64_t>(st.st_size) != buffer.size()) {
            if (fd >= 0) ::close(fd);
            state.SkipWithError("cannot open or stat the container");
            break;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        if (got != static_cast<ssize_t>(buffer.size())) {
            state.SkipWithError("one read call did not return the whole file");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

// The same read into memory taken fresh each time (the way the loader takes
// it), as any loader that keeps the bytes must: the kernel clears every new
// page before the read fills it.
void BM_SingleReadFresh(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<std::uint8_t, void (*)(std::uint8_t*)> buffer(
            static_cast<std::uint8_t*>(platform::AllocateLarge(gFileSize)),
            [](std::uint8_t* p) { platform::FreeLarge(p); });
        const int fd = buffer ? ::open(gPath.c_str(), O_RDONLY) : -1;
        const ssize_t got = fd < 0 ? -1 : ::read(fd, buffer.get(), gFileSize);
        if (fd >= 0) ::close(fd);
        if (got != static_cast<ssize_t>(gFileSize)) {
            state.SkipWithError("one read call did not return the whole file");
            break;
        }
        benchmark::DoNotOptimize(buffer.get());
        benchmark::ClobberMemory();
        state.PauseTiming();
        buffer.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * gFileSize));
}

BENCHMARK(BM_BlockFileLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(11);
BENCHMARK(BM_SingleRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(11);
BENCHMARK(BM_SingleReadFresh)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(11);

// The console output as usual, plus the time per iteration of every
// repetition, kept per benchmark for the spread and the ratios.
class RepetitionReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal: a reporter of our own does not see the
    // library's --benchmark_color.
    RepetitionReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            perRun[run.run_name.function_name].push_back(run.real_accumulated_time /
                                                         static_cast<double>(run.iterations));
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Seconds per iteration of each repetition, sorted; empty when it did not run.
    std::vector<double> Sorted(const std::string& name) const {
        const auto it = perRun.find(name);
        if (it == perRun.end()) return {};
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v;
    }

    std::map<std::string, std::vector<double>> perRun;
};

}  // namespace

int main(int argc, char** argv) {
    // Interleaved repetitions unless asked otherwise.
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    bool asked = false;
    for (int i = 1; i < argc; ++i) asked |= std::string(argv[i]).rfind("--benchmark_enable_random_interleaving", 0) == 0;
    if (!asked) args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    TempDir dir;
    char pattern[] = "/tmp/wv_bench_XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    dir.path = pattern;
    gPath = dir.path + "/bench.grf";

    std::size_t symbols = 0;
    if (!WriteContainer(gPath, symbols)) return 1;
    gFileSize = std::filesystem::file_size(gPath);

    // The file must load before its loading is worth timing.
    BlockFile check;
    if (!check.Load(gPath.c_str()) || check.GetBlockCount() != kBlockCount || check.GetSymbolCount() != symbols) {
        std::cerr << "the written container does not load back: " << check.LastError() << "\n";
        return 1;
    }
    std::cout << "container: " << gFileSize << " bytes (" << gFileSize / (1024.0 * 1024.0) << " MiB), "
              << check.GetBlockCount() << " blocks, " << check.GetSymbolCount() << " symbols\n";

    RepetitionReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const std::vector<double> load = reporter.Sorted("BM_BlockFileLoad");
    const std::vector<double> read = reporter.Sorted("BM_SingleRead");
    if (load.empty() || read.empty()) {
        std::cout << "BlockFile::Load / single read: not computed (both benchmarks must run)\n";
        return 0;
    }
    auto median = [](const std::vector<double>& v) { return v[v.size() / 2]; };
    std::cout.setf(std::ios::fixed);
    std::cout.precision(2);
    std::cout << "BlockFile::Load: min " << load.front() * 1e3 << " ms, median " << median(load) * 1e3 << " ms, max "
              << load.back() * 1e3 << " ms\n";
    std::cout << "single read:     min " << read.front() * 1e3 << " ms, median " << median(read) * 1e3 << " ms, max "
              << read.back() * 1e3 << " ms\n";
    std::cout << "BlockFile::Load / single read = " << load.front() / read.front() << "x of the minima, "
              << median(load) / median(read) << "x of the medians\n";
    const std::vector<double> fresh = reporter.Sorted("BM_SingleReadFresh");
    if (!fresh.empty()) {
        std::cout << "read into fresh memory: min " << fresh.front() * 1e3 << " ms, median " << median(fresh) * 1e3
                  << " ms, max " << fresh.back() * 1e3 << " ms\n";
        std::cout << "BlockFile::Load / read into fresh memory = " << load.front() / fresh.front() << "x of the minima, "
                  << median(load) / median(fresh) << "x of the medians\n";
    }
    return 0;
}
