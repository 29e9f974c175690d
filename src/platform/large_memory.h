// Memory for the large arrays a level load fills in one go (the scene
// file's bytes, the property table, the height field): aligned to and
// advised as huge pages from 4 MiB up, so that a fresh process takes a few
// large page faults for them instead of thousands of small ones. Smaller
// requests are plain heap memory.
#pragma once

#include <cstddef>
#include <new>

namespace platform {

// Null when there is no such memory; never throws.
void* AllocateLarge(std::size_t bytes) noexcept;
void FreeLarge(void* p) noexcept;

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() noexcept = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        void* p = AllocateLarge(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { FreeLarge(p); }

    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace platform
