// The heap a level load runs on: grown by its pad and advised as huge pages
// while the load lasts, back to trimming afterwards, and blocks of a few MiB
// still served from the heap after it (each mapped anew costs its faults).
#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/large_memory.h"

namespace {

std::uintptr_t Break() { return reinterpret_cast<std::uintptr_t>(sbrk(0)); }

// The flags of the mapping holding `address`, as /proc/self/smaps gives them.
std::string FlagsAt(std::uintptr_t address) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) == 2) inside = address >= lo && address < hi;
        if (inside && line.rfind("VmFlags:", 0) == 0) return line.substr(8);
    }
    return {};
}

// The name /proc/self/maps gives the mapping holding `address` ("[heap]").
std::string MappingAt(std::uintptr_t address) {
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        unsigned long lo = 0, hi = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx ", &lo, &hi) != 2 || address < lo || address >= hi) continue;
        const std::size_t name = line.find_last_of(' ');
        return line.substr(name + 1);
    }
    return {};
}

bool HasFlag(const std::string& flags, const char* flag) {
    std::istringstream words(flags);
    for (std::string w; words >> w;)
        if (w == flag) return true;
    return false;
}

bool KernelHasHugePages() { return std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled").good(); }

// Small blocks (heap blocks, never mapped apart) taken and then given back.
std::vector<void*> TakeSmall(std::size_t bytes) {
    std::vector<void*> blocks;
    blocks.reserve(bytes / (60 << 10) + 1);  // its own block below them, not a fence among them
    for (std::size_t got = 0; got < bytes; got += 60 << 10) {
        blocks.push_back(std::malloc(60 << 10));
        std::memset(blocks.back(), 1, 60 << 10);
    }
    return blocks;
}

void GiveBack(std::vector<void*>& blocks) {
    for (void* p : blocks) std::free(p);
    blocks.clear();
}

TEST(LoadHeapScopeTest, TheHeapKeepsItsHugePagedPadWhileALoadLastsAndTrimsAfter) {
    constexpr std::uintptr_t kMiB = 1 << 20;
    const std::uintptr_t before = Break();
    std::uintptr_t grown = 0;
    {
        const platform::LoadHeapScope scope;
        grown = Break();
        ASSERT_GE(grown, before + 60 * kMiB) << "the heap grows by its pad at once";
        if (KernelHasHugePages()) {
            EXPECT_TRUE(HasFlag(FlagsAt(grown - 4 * kMiB), "hg")) << FlagsAt(grown - 4 * kMiB);
        }
        // What a load frees goes back to the pad, not to the system.
        std::vector<void*> blocks = TakeSmall(24 * kMiB);
        GiveBack(blocks);
        EXPECT_GE(Break(), grown - kMiB);
    }
    if (KernelHasHugePages()) {
        EXPECT_TRUE(HasFlag(FlagsAt(grown - 4 * kMiB), "nh")) << FlagsAt(grown - 4 * kMiB);
    }
    // Afterwards the heap grows in small steps and is trimmed as usual.
    std::vector<void*> more;
    more.reserve(4096);  // below the blocks, or it would hold the heap up
    std::vector<void*> blocks = TakeSmall(96 * kMiB);
    const std::uintptr_t was = Break();
    while (Break() == was && more.size() < 4096) more.push_back(std::malloc(60 << 10));
    EXPECT_LT(Break() - was, 4 * kMiB) << "grown by a load's pad";
    const std::uintptr_t high = Break();
    GiveBack(more);
    GiveBack(blocks);
    EXPECT_LT(Break(), high - 64 * kMiB);

    // A block of a few MiB freed and taken again is served from the heap,
    // not a fresh mapping of its own.
    void* image = std::malloc(3 * kMiB);
    EXPECT_EQ(MappingAt(reinterpret_cast<std::uintptr_t>(image)), "[heap]");
    std::free(image);
}

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

TEST(LoadHeapScopeTest, FreeMemoryBelowAHeldBlockGoesBackToTheSystem) {
    std::vector<void*> blocks = TakeSmall(64 << 20);
    void* held = blocks.back();  // the last taken, on top: the heap cannot shrink past it
    blocks.pop_back();
    std::memset(held, 0x5A, 4096);
    GiveBack(blocks);
    const long before = ResidentKb();
    platform::ReturnFreeMemory();
    EXPECT_LT(ResidentKb(), before - 40 * 1024);
    EXPECT_EQ(static_cast<unsigned char*>(held)[4095], 0x5A);
    std::free(held);
}

}  // namespace
