#include "platform/large_memory.h"

#include <cstdlib>
#include <sys/mman.h>

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

}  // namespace platform
