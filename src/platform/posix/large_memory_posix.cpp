#include "platform/large_memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>

namespace platform {

void* AllocateLarge(std::size_t bytes) noexcept {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    if (bytes < 2 * kHuge) return std::malloc(bytes ? bytes : 1);
    void* p = nullptr;
    if (posix_memalign(&p, kHuge, bytes) != 0) return nullptr;
    madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without huge pages it changes nothing
    return p;
}

void FreeLarge(void* p) noexcept { std::free(p); }

void ReturnFreeMemory() noexcept { malloc_trim(0); }

// A load makes tens of thousands of small arrays (meshes, objects); in a
// fresh process each new 4 KiB page of them is a fault, which on a virtual
// machine costs microseconds. While a load lasts the heap grows by a large
// pad (freeing trims back to the pad, not below) advised as huge pages, so
// those arrays take a few large faults instead.
namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr int kLoadPad = 64 << 20;
constexpr int kUsualPad = 128 << 10;  // the C library's own default
constexpr int kKeptBlock = 32 << 20;  // the most the C library would move it to
}  // namespace

LoadHeapScope::LoadHeapScope() noexcept {
    if (mallopt(M_TOP_PAD, kLoadPad) == 0) return;
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // Small blocks come from the heap's top; taking them until it has to
    // grow makes it grow now, by the pad.
    std::array<void*, 64> held{};
    std::size_t taken = 0;
    while (taken < held.size() && reinterpret_cast<std::uintptr_t>(sbrk(0)) == before)
        held[taken++] = std::malloc(64 << 10);
    for (std::size_t i = 0; i < taken; ++i) std::free(held[i]);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const std::uintptr_t lo = (before + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t hi = after & ~(kHugePage - 1);
    if (hi > lo && madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE) == 0) {
        advised_ = reinterpret_cast<void*>(lo);
        advisedBytes_ = hi - lo;
    }
}

LoadHeapScope::~LoadHeapScope() {
    // Setting the pad stopped the C library moving its threshold for giving
    // large blocks their own mapping; it is set where that threshold settles
    // in a program that frees blocks of a few MiB again and again (images,
    // their PNGs): each such block mapped anew costs its page faults again.
    mallopt(M_MMAP_THRESHOLD, kKeptBlock);
    mallopt(M_TRIM_THRESHOLD, 2 * kKeptBlock);
    mallopt(M_TOP_PAD, kUsualPad);
    // Pages already taken stay as they are; what is faulted in later is small.
    if (advised_) madvise(advised_, advisedBytes_, MADV_NOHUGEPAGE);
}

}  // namespace platform
