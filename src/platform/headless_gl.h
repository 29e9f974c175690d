// A GL context without a window, for the render and export tools, the GL
// tests and the benchmarks: a compatibility profile (the fixed-function
// pipeline works) on an RGBA8 drawable with 8 alpha bits and depth. One
// implementation per system (egl/ on Linux).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class HeadlessGl {
public:
    HeadlessGl();
    ~HeadlessGl();
    HeadlessGl(const HeadlessGl&) = delete;
    HeadlessGl& operator=(const HeadlessGl&) = delete;

    // Makes the context and its drawable current, the viewport covering it;
    // false with Reason() otherwise.
    bool Create(int width, int height);
    const std::string& Reason() const;
    // RGBA bytes of a rectangle of the drawable, bottom row first.
    std::vector<std::uint8_t> ReadPixels(int x, int y, int width, int height);
    // A GL entry point of the context's library, or null.
    static void* ProcAddress(const char* name);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
