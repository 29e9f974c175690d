// Named statistics counters. Each counter registers itself at start-up, in
// definition order; the load report prints them all in that order, so a new
// counter needs nothing but its definition.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StatCounter {
    explicit StatCounter(const char* counterName);
    StatCounter(const StatCounter&) = delete;
    StatCounter& operator=(const StatCounter&) = delete;

    // Adds n, wrapping around in 32 bits as the counter always has (a
    // hostile file's texture sizes can pass 2^31 without it being an error).
    void Add(std::int64_t n) {
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(n));
    }

    const char* name;
    std::int32_t value = 0;  // no locking: main thread only
};

// Every counter in registration order.
const std::vector<StatCounter*>& StatRegistry();

// "\n%s: %d" for every registered counter, in order.
std::string StatReport();

// Sets every counter to 0 (a fresh process has them at 0 already).
void ResetStatCounters();

// The counters of the viewer, in registration order.
extern StatCounter gVisibleVerts;         // vertices drawn through display lists this pass
extern StatCounter gVisibleTris;          // faces decoded at load; triangles drawn per pass
extern StatCounter gRawRGBTexMem;         // texels of opaque material textures created
extern StatCounter gRawRGBATexMem;        // texels of material textures with alpha
extern StatCounter gNeighbourTriTex;      // faces sharing the previous face's material
extern StatCounter gTex256;               // reported, never changed
extern StatCounter gTexOther;             // reported, never changed
extern StatCounter gVisibleDisplayLists;  // display lists called or compiled this pass
extern StatCounter gTotalTris;            // faces of every mesh loaded
