// Damages a scene file the way a bad disk or a broken tool does: random
// bits flipped in the geometry of its meshes (past each block's counts, so
// that the meshes still decode, with complaints). The container stays
// readable. The same seed gives the same damage.
//   corrupt_meshes FILE.grf FLIPS SEED
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "files/block_file.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: corrupt_meshes FILE.grf FLIPS SEED\n");
        return 2;
    }
    BlockFile file;
    if (!file.Load(argv[1])) {
        std::fprintf(stderr, "corrupt_meshes: %s: %s\n", argv[1], file.LastError().c_str());
        return 1;
    }
    constexpr std::size_t kCounts = 11 * 4;  // the geometry block's header words
    std::vector<BlockRecord*> geometry;
    std::set<BlockHandle> seen;
    for (const BlockRecord& b : file.Blocks()) {
        std::uint32_t handle = 0;
        if (b.type != kMeshBlockType || !ReadU32(b.data, 4, handle) || !seen.insert(handle).second) continue;
        BlockRecord* g = file.GetBlock(handle);
        if (g && g->data.size() > kCounts) geometry.push_back(g);
    }
    if (geometry.empty()) {
        std::fprintf(stderr, "corrupt_meshes: %s has no mesh geometry\n", argv[1]);
        return 1;
    }
    std::uint64_t state = std::strtoull(argv[3], nullptr, 0) * 2654435761u + 1;
    auto next = [&] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 33;
    };
    const long flips = std::strtol(argv[2], nullptr, 0);
    for (long i = 0; i < flips; ++i) {
        BlockRecord* g = geometry[next() % geometry.size()];
        const std::size_t at = kCounts + next() % (g->data.size() - kCounts);
        g->data[at] ^= static_cast<std::uint8_t>(1u << (next() % 8));
    }
    if (!file.Save(argv[1])) {
        std::fprintf(stderr, "corrupt_meshes: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
