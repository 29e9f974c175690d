// BuildHeightField on the demo level and on bench levels (20 000 instances
// unless --instances lists others):
// the whole build and its parts (rasterisation with the bounds pass, hole
// filling with the final absolute value, of which relaxation), over repeated
// re-centrings.
//
//   bench_height_field [--runs N] [--instances N[,N...]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "diag/log.h"
#include "headless/headless_level.h"
#include "math/camera.h"
#include "scene/level.h"
#include "scene/scene_model.h"
#include "scene/view.h"
#include "terrain/terrain.h"
#include "bench_levels.h"

namespace {

void Run(const char* label, const std::string& swp, int runs) {
    headless::LoadedLevel level;
    level.console = nullptr;
    headless::LoadLevel(swp, level);
    platform::PlatformScope scope(level.platform);
    std::vector<double> total, raster, fill, relax;
    const Vector3 camera = TheCamera().position;
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        UpdateTerrain(camera);
        total.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        const HeightFieldStats& s = TheTerrain().lastBuild;
        raster.push_back(s.rasteriseMs);
        fill.push_back(s.fillMs);
        relax.push_back(s.relaxMs);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    auto least = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("%-6s %6zu instances: build %.1f ms (min %.1f): rasterise %.1f, fill %.1f of which relax %.1f "
                "(medians); %llu cells pinned, %llu samples taken\n",
                label, TheScene().InstanceList.size(), median(total), least(total), median(raster), median(fill),
                median(relax), static_cast<unsigned long long>(TheTerrain().lastBuild.pinnedCells),
                static_cast<unsigned long long>(TheTerrain().lastBuild.samplesTaken));
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    std::vector<int> counts = {20000};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        if (flag == "--instances") counts = bench::CountList(argv[i + 1]);
    }
    char tmpl[] = "/tmp/wildview-heights-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::string error;
    const std::vector<std::string> levels = bench::WriteLevels(dir, counts, error);
    if (levels.empty()) {
        std::fprintf(stderr, "bench_height_field: %s\n", error.c_str());
        return 1;
    }
    Run("demo", levels[0], runs);
    for (std::size_t k = 0; k < counts.size(); ++k)
        Run(("b" + std::to_string(counts[k] / 1000) + "k").c_str(), levels[k + 1], runs);
    std::filesystem::remove_all(dir);
    return 0;
}
