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

// Gives the heap's free pages back to the system, for a program that has
// just let go of much memory and goes on to need more of another kind.
void ReturnFreeMemory() noexcept;

// Held over a level load (the load sequence holds one): where the system
// allows, the heap grows in large steps backed by huge pages while it lasts,
// for the load's tens of thousands of small arrays. Afterwards it grows in
// small steps again and gives back what is freed at its top, while blocks of
// a few MiB (images, their PNGs) stay in it rather than being mapped anew
// each time. It changes where memory comes from, never its contents.
class LoadHeapScope {
public:
    LoadHeapScope() noexcept;
    ~LoadHeapScope();
    LoadHeapScope(const LoadHeapScope&) = delete;
    LoadHeapScope& operator=(const LoadHeapScope&) = delete;

private:
    void* advised_ = nullptr;
    std::size_t advisedBytes_ = 0;
};

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
