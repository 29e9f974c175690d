// A headless desktop-GL context through EGL, for tests and tools that need
// real GL without a window: Mesa's surfaceless platform (or, where that is
// missing, the first EGL device that initialises), a compatibility-profile
// context so that the fixed-function pipeline works, and an RGBA8 drawable
// with 8 alpha bits and a depth buffer: a pbuffer surface, or, where the
// display cannot make one, a framebuffer object bound in a surfaceless
// context. No EGL or X11 header leaks out of here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// What the drawable is.
enum class EglDrawable { None, Pbuffer, SurfacelessFramebuffer };

// Which EGL platform to open.
enum class EglPlatform { Automatic, Surfaceless, Device };

struct EglOptions {
    EglPlatform platform = EglPlatform::Automatic;
    bool allowPbuffer = true;  // false: straight to the framebuffer object
};

class EglContext {
public:
    EglContext() = default;
    ~EglContext() { Destroy(); }
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;

    // Creates the display, context and drawable and makes them current. The
    // viewport covers the drawable afterwards. On failure Reason() says why
    // and nothing is left behind.
    bool Create(int width = 800, int height = 600, const EglOptions& options = {});
    void Destroy();

    const std::string& Reason() const { return reason_; }
    // False when not even an EGL display could be initialised.
    bool FoundDisplay() const { return foundDisplay_; }
    EglDrawable Kind() const { return kind_; }
    const char* KindName() const;
    // "surfaceless" or "device".
    const std::string& PlatformName() const { return platformName_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    bool MakeCurrent();
    // A GL or EGL entry point by name (eglGetProcAddress), or null.
    static void* ProcAddress(const char* name);
    // The display's EGL extension string.
    std::string Extensions() const;
    // RGBA bytes of a rectangle of the drawable, bottom row first as GL
    // gives them.
    std::vector<std::uint8_t> ReadPixels(int x, int y, int width, int height);

private:
    bool Fail(std::string why);
    bool OpenDisplay(EglPlatform choice);
    bool CreateContext(bool forPbuffer);
    bool CreateFramebuffer();

    void* display_ = nullptr;
    void* config_ = nullptr;
    void* context_ = nullptr;
    void* surface_ = nullptr;
    unsigned framebuffer_ = 0;
    unsigned renderbuffers_[2] = {0, 0};
    EglDrawable kind_ = EglDrawable::None;
    bool foundDisplay_ = false;
    std::string reason_;
    std::string platformName_;
    int width_ = 0, height_ = 0;
};

}  // namespace platform
