#include "app/gl_window.h"

#include "glh/gl.h"

#include "app/frame.h"
#include "app/gl_setup.h"
#include "app/load_sequence.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "effects/offscreen.h"
#include "effects/shadows.h"
#include "terrain/terrain.h"
#include "math/camera.h"
#include "platform/platform.h"
#include "resources/resources.h"

GlWindowState& TheGlWindow() {
    static GlWindowState state;
    return state;
}

namespace {
void CreationError(const char* text) {
    platform::Current().ShowMessageBox(platform::Owner::None, text, "ERROR", platform::Buttons::Ok,
                                   platform::Icon::Exclamation);
}
}  // namespace

bool CreateGLWindow(const char* title, int width, int height, int bits) {
    LogPrintf("\n\n    CreateGLWindow\n    ==============\n");
    platform::WindowRequest request;
    request.title = title;
    request.clientWidth = width;
    request.clientHeight = height;
    request.colourBits = bits;
    request.alphaBits = bits >= 32 ? 8 : 0;
    request.depthBits = 16;
    request.menu = MainMenu();
    platform::Platform& pf = platform::Current();
    // The window system gives the window, its drawable and its context in one
    // step; a failure there is the window's.
    if (!pf.CreateMainWindow(request)) {
        KillGLWindow();
        CreationError("Window Creation Error.");
        return false;
    }
    TheGlWindow().created = true;
    pf.ShowMainWindow();
    ResizeView(width, height);
    InitGL();
    return true;
}

void KillGLWindow() {
    LogPrintf("\n\n    KillGLWindow\n    ============\n");
    KillModels();
    // The pooled textures and the off-screen buffer live for the run: they
    // go now, while the window's context is current.
    TerrainTexturePool().Clear();
    TheShadows().pool.Clear();
    KillPBuffer();
    DeleteOverlayFont();
    DestroyFrusta();
    platform::Current().DestroyMainWindow();
    TheGlWindow().created = false;
}

void ResizeView(int width, int height) {
    if (height == 0) height = 1;
    GlWindowState& w = TheGlWindow();
    w.aspect = static_cast<float>(width) / static_cast<float>(height);
    w.clientWidth = width;
    w.clientHeight = height;
    glViewport(0, 0, width, height);
}

void SetProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, TheGlWindow().aspect, kNearDistance, kFarDistance);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

namespace {
const StateReset kWindowReset{"GL window", StateLayer::App, StateScope::Process, [] { TheGlWindow() = GlWindowState{}; }};
}  // namespace
