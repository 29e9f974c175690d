// What the benchmarks share: the level sizes a command line asks for, and
// the levels written for them.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "writer/bench_level.h"
#include "writer/demo_level.h"

namespace bench {

// "20000,80000" as {20000, 80000}.
inline std::vector<int> CountList(const std::string& list) {
    std::vector<int> counts;
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        counts.push_back(std::atoi(list.substr(at, comma - at).c_str()));
        at = comma + 1;
    }
    return counts;
}

// The demo level in dir, then a bench level of each size (2 000 meshes, 500
// textures, seed 1) in a folder of its own: their pixel files, the demo's
// first. Empty when one could not be written; why then says which.
inline std::vector<std::string> WriteLevels(const std::string& dir, const std::vector<int>& counts, std::string& why) {
    if (!wvwrite::WriteDemoLevel(dir, &why)) return {};
    std::vector<std::string> levels = {dir + "/demo-130.swp"};
    for (int n : counts) {
        const std::string sub = dir + "/bench" + std::to_string(n);
        std::filesystem::create_directory(sub);
        if (!wvwrite::WriteBenchLevel(sub, n, 2000, 500, 1, &why)) return {};
        levels.push_back(sub + "/bench-130.swp");
    }
    return levels;
}

}  // namespace bench
