#include "platform/egl/egl_context.h"

// Keep X11 out: eglplatform.h pulls in Xlib otherwise.
#define EGL_NO_X11
#define MESA_EGL_NO_X11_HEADERS
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstring>
#include <string_view>

namespace platform {

namespace {

// A display that runs GL stays initialised for the process, shared by
// every context opened on it: terminating it would unload the driver,
// after which the leak checker could no longer name the driver's own
// leaks (they would look like ours), and the next context would load it
// again.

// Whole-word search in a space-separated extension or API list.
bool HasToken(const char* list, std::string_view token) {
    if (!list) return false;
    const std::string_view text(list);
    for (std::size_t at = text.find(token); at != std::string_view::npos; at = text.find(token, at + 1)) {
        const bool startsWord = at == 0 || text[at - 1] == ' ';
        const std::size_t end = at + token.size();
        if (startsWord && (end == text.size() || text[end] == ' ')) return true;
    }
    return false;
}

std::string EglError(const char* what) {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", what, static_cast<unsigned>(eglGetError()));
    return text;
}

// The framebuffer-object calls of the fallback drawable, core or EXT.
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
};

FramebufferCalls& Framebuffers() {
    static FramebufferCalls calls;
    return calls;
}

template <typename T>
bool Load(T& pointer, const char* name, const char* suffix) {
    char full[96];
    std::snprintf(full, sizeof full, "%s%s", name, suffix);
    pointer = reinterpret_cast<T>(eglGetProcAddress(full));
    return pointer != nullptr;
}

bool LoadFramebufferCalls(const char* suffix) {
    FramebufferCalls& f = Framebuffers();
    return Load(f.genFramebuffers, "glGenFramebuffers", suffix) &&
           Load(f.bindFramebuffer, "glBindFramebuffer", suffix) &&
           Load(f.deleteFramebuffers, "glDeleteFramebuffers", suffix) &&
           Load(f.genRenderbuffers, "glGenRenderbuffers", suffix) &&
           Load(f.bindRenderbuffer, "glBindRenderbuffer", suffix) &&
           Load(f.deleteRenderbuffers, "glDeleteRenderbuffers", suffix) &&
           Load(f.renderbufferStorage, "glRenderbufferStorage", suffix) &&
           Load(f.framebufferRenderbuffer, "glFramebufferRenderbuffer", suffix) &&
           Load(f.checkFramebufferStatus, "glCheckFramebufferStatus", suffix);
}

// Major * 10 + minor of the current context's GL_VERSION.
int GlVersion() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2) return 0;
    return major * 10 + minor;
}

bool IsCoreProfile() {
    if (GlVersion() < 32) return false;
    GLint mask = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &mask);
    return (mask & GL_CONTEXT_CORE_PROFILE_BIT) != 0;
}

}  // namespace

const char* EglContext::KindName() const {
    switch (kind_) {
    case EglDrawable::Pbuffer: return "pbuffer";
    case EglDrawable::SurfacelessFramebuffer: return "surfaceless context with a framebuffer object";
    case EglDrawable::None: break;
    }
    return "none";
}

void* EglContext::ProcAddress(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}

bool EglContext::Fail(std::string why) {
    Destroy();
    reason_ = std::move(why);
    return false;
}

bool EglContext::OpenDisplay(EglPlatform choice) {
    // Null when the implementation has no client extensions at all.
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!client || !getPlatformDisplay || !HasToken(client, "EGL_EXT_platform_base")) {
        reason_ = "EGL offers no platform displays (EGL_EXT_platform_base)";
        return false;
    }

    // A display is only worth having when it can run desktop GL.
    const auto initialise = [&](EGLDisplay display, const char* name) {
        if (display == EGL_NO_DISPLAY) return false;
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) return false;
        if (!HasToken(eglQueryString(display, EGL_CLIENT_APIS), "OpenGL")) {
            eglTerminate(display);
            return false;
        }
        display_ = display;
        platformName_ = name;
        return true;
    };

    std::string tried;
    if (choice != EglPlatform::Device) {
        if (HasToken(client, "EGL_MESA_platform_surfaceless")) {
            if (initialise(getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr),
                           "surfaceless"))
                return true;
            tried = "the surfaceless platform did not initialise with desktop GL";
        } else {
            tried = "no surfaceless platform (EGL_MESA_platform_surfaceless)";
        }
        if (choice == EglPlatform::Surfaceless) {
            reason_ = tried;
            return false;
        }
    }

    const auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (!queryDevices || !HasToken(client, "EGL_EXT_device_enumeration") ||
        !HasToken(client, "EGL_EXT_platform_device")) {
        reason_ = (tried.empty() ? "" : tried + "; ") + "no EGL device platform (EGL_EXT_device_enumeration)";
        return false;
    }
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices(16, devices, &count) || count == 0) {
        reason_ = (tried.empty() ? "" : tried + "; ") + "no EGL device found";
        return false;
    }
    for (EGLint i = 0; i < count; ++i)
        if (initialise(getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr), "device")) return true;
    reason_ = (tried.empty() ? "" : tried + "; ") + "no EGL device initialised with desktop GL";
    return false;
}

// Picks an RGBA8 config with a depth buffer (24 bits where offered) and
// creates a compatibility-profile context on it.
bool EglContext::CreateContext(bool forPbuffer) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE,    forPbuffer ? EGL_PBUFFER_BIT : 0,
                             EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                             EGL_COLOR_BUFFER_TYPE, EGL_RGB_BUFFER,
                             EGL_RED_SIZE,        8,
                             EGL_GREEN_SIZE,      8,
                             EGL_BLUE_SIZE,       8,
                             EGL_ALPHA_SIZE,      8,
                             EGL_DEPTH_SIZE,      16,
                             EGL_NONE};
    EGLConfig configs[256];
    EGLint count = 0;
    if (!eglChooseConfig(display_, wanted, configs, 256, &count) || count == 0) {
        reason_ = forPbuffer ? "no RGBA8 pbuffer config with depth" : "no RGBA8 config with depth";
        return false;
    }
    // Larger colour sizes sort first, so look for exactly 8 bits a channel.
    EGLConfig chosen = nullptr;
    EGLint chosenDepth = 0;
    for (EGLint i = 0; i < count; ++i) {
        EGLint r = 0, g = 0, b = 0, a = 0, depth = 0;
        eglGetConfigAttrib(display_, configs[i], EGL_RED_SIZE, &r);
        eglGetConfigAttrib(display_, configs[i], EGL_GREEN_SIZE, &g);
        eglGetConfigAttrib(display_, configs[i], EGL_BLUE_SIZE, &b);
        eglGetConfigAttrib(display_, configs[i], EGL_ALPHA_SIZE, &a);
        eglGetConfigAttrib(display_, configs[i], EGL_DEPTH_SIZE, &depth);
        if (r != 8 || g != 8 || b != 8 || a != 8 || depth < 16) continue;
        if (!chosen || (chosenDepth != 24 && depth == 24)) {
            chosen = configs[i];
            chosenDepth = depth;
        }
    }
    if (!chosen) {
        reason_ = "no config with exactly 8 bits per channel";
        return false;
    }
    config_ = chosen;

    if (!eglBindAPI(EGL_OPENGL_API)) {
        reason_ = EglError("eglBindAPI(EGL_OPENGL_API)");
        return false;
    }
    // Without attributes a driver gives its legacy (compatibility) context;
    // ask for the compatibility profile by name only if it gave core.
    context_ = eglCreateContext(display_, config_, EGL_NO_CONTEXT, nullptr);
    if (context_ == EGL_NO_CONTEXT) {
        context_ = nullptr;
        reason_ = EglError("eglCreateContext");
        return false;
    }
    return true;
}

bool EglContext::CreateFramebuffer() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const char* suffix = nullptr;
    if (GlVersion() >= 30 || HasToken(extensions, "GL_ARB_framebuffer_object"))
        suffix = "";
    else if (HasToken(extensions, "GL_EXT_framebuffer_object"))
        suffix = "EXT";
    if (!suffix || !LoadFramebufferCalls(suffix)) {
        reason_ = "no framebuffer objects for the surfaceless fallback";
        return false;
    }
    const FramebufferCalls& f = Framebuffers();
    f.genFramebuffers(1, &framebuffer_);
    f.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    f.genRenderbuffers(2, renderbuffers_);
    f.bindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[0]);
    f.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
    f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
    f.bindRenderbuffer(GL_RENDERBUFFER, renderbuffers_[1]);
    f.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
    f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
    f.bindRenderbuffer(GL_RENDERBUFFER, 0);
    const GLenum status = f.checkFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        char text[96];
        std::snprintf(text, sizeof text, "framebuffer object incomplete (status 0x%04X)", status);
        reason_ = text;
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    return true;
}

bool EglContext::Create(int width, int height, const EglOptions& options) {
    Destroy();
    reason_.clear();
    foundDisplay_ = false;
    if (width <= 0 || height <= 0) return Fail("the drawable needs a positive size");
    width_ = width;
    height_ = height;

    if (!OpenDisplay(options.platform)) return Fail(reason_);
    foundDisplay_ = true;
    const char* displayExtensions = eglQueryString(display_, EGL_EXTENSIONS);

    std::string pbufferProblem;
    if (options.allowPbuffer) {
        if (CreateContext(true)) {
            const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
            surface_ = eglCreatePbufferSurface(display_, config_, size);
            if (surface_ != EGL_NO_SURFACE) {
                kind_ = EglDrawable::Pbuffer;
            } else {
                surface_ = nullptr;
                pbufferProblem = EglError("eglCreatePbufferSurface");
                eglDestroyContext(display_, context_);
                context_ = nullptr;
            }
        } else {
            pbufferProblem = reason_;
        }
    }
    if (kind_ == EglDrawable::None) {
        if (!HasToken(displayExtensions, "EGL_KHR_surfaceless_context"))
            return Fail((pbufferProblem.empty() ? "" : pbufferProblem + "; ") +
                        "no surfaceless contexts (EGL_KHR_surfaceless_context)");
        if (!CreateContext(false)) return Fail(reason_);
        kind_ = EglDrawable::SurfacelessFramebuffer;
    }

    if (!eglMakeCurrent(display_, surface_, surface_, context_)) return Fail(EglError("eglMakeCurrent"));
    if (IsCoreProfile()) {
        // A driver that defaults to core: ask for compatibility explicitly.
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display_, context_);
        const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        context_ = eglCreateContext(display_, config_, EGL_NO_CONTEXT, compatibility);
        if (context_ == EGL_NO_CONTEXT) {
            context_ = nullptr;
            return Fail(EglError("eglCreateContext (compatibility profile)"));
        }
        if (!eglMakeCurrent(display_, surface_, surface_, context_)) return Fail(EglError("eglMakeCurrent"));
        if (IsCoreProfile()) return Fail("the driver offers only a core-profile context");
    }
    if (kind_ == EglDrawable::SurfacelessFramebuffer && !CreateFramebuffer()) return Fail(reason_);
    glViewport(0, 0, width_, height_);
    return true;
}

bool EglContext::MakeCurrent() {
    if (!context_) return false;
    if (!eglMakeCurrent(display_, surface_, surface_, context_)) return false;
    if (framebuffer_) Framebuffers().bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    return true;
}

std::string EglContext::Extensions() const {
    const char* text = display_ ? eglQueryString(display_, EGL_EXTENSIONS) : nullptr;
    return text ? text : "";
}

std::vector<std::uint8_t> EglContext::ReadPixels(int x, int y, int width, int height) {
    if (!context_ || width <= 0 || height <= 0) return {};
    if (eglGetCurrentContext() != context_ && !MakeCurrent()) return {};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void EglContext::Destroy() {
    if (display_) {
        const EGLContext previous = eglGetCurrentContext();
        const EGLDisplay previousDisplay = eglGetCurrentDisplay();
        const EGLSurface previousDraw = eglGetCurrentSurface(EGL_DRAW);
        const EGLSurface previousRead = eglGetCurrentSurface(EGL_READ);
        // The framebuffer object belongs to the context: delete it there.
        if (framebuffer_ && eglMakeCurrent(display_, surface_, surface_, context_)) {
            Framebuffers().deleteFramebuffers(1, &framebuffer_);
            Framebuffers().deleteRenderbuffers(2, renderbuffers_);
        }
        if (context_ && (previous == context_ || framebuffer_))
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface_) eglDestroySurface(display_, surface_);
        if (context_) eglDestroyContext(display_, context_);
        // Someone else's context stays current.
        if (previous != EGL_NO_CONTEXT && previous != context_)
            eglMakeCurrent(previousDisplay, previousDraw, previousRead, previous);
    }
    display_ = config_ = context_ = surface_ = nullptr;
    framebuffer_ = 0;
    renderbuffers_[0] = renderbuffers_[1] = 0;
    kind_ = EglDrawable::None;
    platformName_.clear();
    width_ = height_ = 0;
}

}  // namespace platform
