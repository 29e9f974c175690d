#include "platform/large_memory.h"

#include <malloc.h>

namespace platform {

// Aligned to 2 MiB from 4 MiB up (large pages need a privilege the user
// seldom has); freed by the function that matches the allocation.
void* AllocateLarge(std::size_t bytes) noexcept {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    return _aligned_malloc(bytes ? bytes : 1, bytes < 2 * kHuge ? 16 : kHuge);
}

void FreeLarge(void* p) noexcept { _aligned_free(p); }

// Windows' heap commits in large runs of its own and huge pages need a
// privilege users seldom hold: nothing to ready.
void ReturnFreeMemory() noexcept { _heapmin(); }

LoadHeapScope::LoadHeapScope() noexcept {}
LoadHeapScope::~LoadHeapScope() = default;

}  // namespace platform
