// The headless context on Windows: a hidden window gives WGL its pixel
// format and context, and a framebuffer object is the drawable (a hidden
// window's pixels fail the ownership test, so drawing into it would be
// undefined).
#include "platform/headless_gl.h"

#include "platform/win32/wgl_support.h"
#include "platform/win32/wide_text.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

namespace platform {

namespace {

const wchar_t kClassName[] = L"WildviewHeadlessGl";

struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

    // Core names first, then the EXT ones; all or none.
    bool Load() {
        for (const char* suffix : {"", "EXT"}) {
            bool all = true;
            auto get = [&](auto& fn, const char* name) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                    HeadlessGl::ProcAddress((std::string(name) + suffix).c_str()));
                all = all && fn;
            };
            get(genFramebuffers, "glGenFramebuffers");
            get(bindFramebuffer, "glBindFramebuffer");
            get(deleteFramebuffers, "glDeleteFramebuffers");
            get(genRenderbuffers, "glGenRenderbuffers");
            get(bindRenderbuffer, "glBindRenderbuffer");
            get(deleteRenderbuffers, "glDeleteRenderbuffers");
            get(renderbufferStorage, "glRenderbufferStorage");
            get(framebufferRenderbuffer, "glFramebufferRenderbuffer");
            get(checkFramebufferStatus, "glCheckFramebufferStatus");
            if (all) return true;
        }
        return false;
    }
};

std::string SystemError(const char* what) {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed (error %lu)", what, static_cast<unsigned long>(GetLastError()));
    return text;
}

bool RegisterWindowClass() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.style = CS_OWNDC;  // the pixel format belongs to the window's one DC
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

}  // namespace

struct HeadlessGl::Impl {
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
    FramebufferCalls calls;
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {0, 0};
    std::string reason;

    bool Fail(std::string why) {
        Destroy();
        reason = std::move(why);
        return false;
    }

    bool Create(int width, int height) {
        Destroy();
        reason.clear();
        if (width <= 0 || height <= 0) return Fail("the drawable needs a positive size");
        if (!RegisterWindowClass()) return Fail(SystemError("RegisterClass"));
        window = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        if (!window) return Fail(SystemError("CreateWindowEx"));
        dc = GetDC(window);
        if (const char* failed = win32::SetGlPixelFormat(dc, 32, 8, 24)) return Fail(SystemError(failed));
        context = wglCreateContext(dc);
        if (!context) return Fail(SystemError("wglCreateContext"));
        if (!wglMakeCurrent(dc, context)) return Fail(SystemError("wglMakeCurrent"));
        if (!calls.Load()) return Fail("no framebuffer objects for the drawable");
        calls.genFramebuffers(1, &framebuffer);
        calls.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        calls.genRenderbuffers(2, renderbuffers);
        calls.bindRenderbuffer(GL_RENDERBUFFER, renderbuffers[0]);
        calls.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        calls.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers[0]);
        calls.bindRenderbuffer(GL_RENDERBUFFER, renderbuffers[1]);
        calls.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        calls.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers[1]);
        calls.bindRenderbuffer(GL_RENDERBUFFER, 0);
        const GLenum status = calls.checkFramebufferStatus(GL_FRAMEBUFFER);
        if (status != GL_FRAMEBUFFER_COMPLETE) {
            char text[96];
            std::snprintf(text, sizeof text, "framebuffer object incomplete (status 0x%04X)", status);
            return Fail(text);
        }
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glViewport(0, 0, width, height);
        return true;
    }

    bool MakeCurrent() {
        if (!context || !wglMakeCurrent(dc, context)) return false;
        calls.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        return true;
    }

    void Destroy() {
        const HGLRC previous = wglGetCurrentContext();
        const HDC previousDc = wglGetCurrentDC();
        // The framebuffer object belongs to the context: delete it there.
        if (framebuffer && wglMakeCurrent(dc, context)) {
            calls.deleteFramebuffers(1, &framebuffer);
            calls.deleteRenderbuffers(2, renderbuffers);
        }
        if (context) {
            if (wglGetCurrentContext() == context) wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(context);
        }
        // Someone else's context stays current.
        if (previous && previous != context) wglMakeCurrent(previousDc, previous);
        if (dc) ReleaseDC(window, dc);
        if (window) DestroyWindow(window);
        window = nullptr;
        dc = nullptr;
        context = nullptr;
        framebuffer = 0;
        renderbuffers[0] = renderbuffers[1] = 0;
    }
};

HeadlessGl::HeadlessGl() : impl_(std::make_unique<Impl>()) {}
HeadlessGl::~HeadlessGl() { impl_->Destroy(); }

bool HeadlessGl::Create(int width, int height) { return impl_->Create(width, height); }
const std::string& HeadlessGl::Reason() const { return impl_->reason; }

std::vector<std::uint8_t> HeadlessGl::ReadPixels(int x, int y, int width, int height) {
    if (!impl_->context || width <= 0 || height <= 0) return {};
    if (wglGetCurrentContext() != impl_->context && !impl_->MakeCurrent()) return {};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void* HeadlessGl::ProcAddress(const char* name) { return win32::WglProcAddress(name); }

}  // namespace platform
