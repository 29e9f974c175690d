// A large random but valid level for load-time measurements: meshes of
// both geometry types with 1 to 4 materials each, 8- and 16-bit textures
// of 32 to 256 texels with smaller versions, and instances of CInstance and
// CTerrainObj, many with property tables, spread over a few thousand units.
// The same arguments give the same bytes.
//
// Layout: the first tenth of the records are terrain pieces, nine in ten
// of them a lattice of Height 1 tiles over the whole area, the rest
// overlays of Height 2 to 4; the other records are ordinary objects, about
// one in four without a property table.
#pragma once

#include <cstdint>
#include <string>

namespace wvwrite {

constexpr int kMaxBenchInstances = 1000000;
constexpr int kMaxBenchMeshes = 100000;
constexpr int kMaxBenchTextures = 20000;

// Writes DIR/bench.grf, DIR/bench-130.pid and DIR/bench-130.swp with that
// many region records (the sky, player start, light and start trigger
// among them when there are at least 4), meshes and textures (full-size
// entries; the smaller versions come on top). Instances may be 0, meshes
// and textures at least 1, none above the limits. False with a reason for
// counts out of range or a file that cannot be written.
bool WriteBenchLevel(const std::string& dir, int instances, int meshes, int textures, std::uint64_t seed,
                     std::string* error);

}  // namespace wvwrite
