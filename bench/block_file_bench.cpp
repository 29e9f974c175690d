// How much slower BlockFile::Load is than reading the same file into memory
// in one call. The container (about 64 MiB, 4000 named blocks) is written
// once at start into a fresh folder under /tmp, which is removed at exit.
//
// After the runs the ratio of the mean Load time to the mean single-read
// time is printed, from the wall times the runs themselves measured.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

BENCHMARK(BM_BlockFileLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_SingleRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// The console output as usual, plus the wall time and iterations of every
// repetition, summed per benchmark for the ratio.
class TotallingReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal: a reporter of our own does not see the
    // library's --benchmark_color.
    TotallingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    struct Total {
        double seconds = 0;
        std::int64_t iterations = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Total& t = totals[run.run_name.function_name];
            t.seconds += run.real_accumulated_time;
            t.iterations += run.iterations;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Mean seconds per iteration, or a negative value when it did not run.
    double Mean(const std::string& name) const {
        const auto it = totals.find(name);
        return it == totals.end() || it->second.iterations == 0 ? -1.0
                                                                : it->second.seconds / static_cast<double>(it->second.iterations);
    }

    std::map<std::string, Total> totals;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

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

    TotallingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double load = reporter.Mean("BM_BlockFileLoad");
    const double read = reporter.Mean("BM_SingleRead");
    if (load <= 0 || read <= 0) {
        std::cout << "BlockFile::Load / single read: not computed (both benchmarks must run)\n";
        return 0;
    }
    std::cout << "mean BlockFile::Load " << load * 1e3 << " ms, mean single read " << read * 1e3 << " ms\n";
    std::cout.setf(std::ios::fixed);
    std::cout.precision(2);
    std::cout << "BlockFile::Load / single read = " << load / read << "x\n";
    return 0;
}
