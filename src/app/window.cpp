#include "app/window.h"

#include "diag/log.h"
#include "level/load_sequence.h"
#include "platform/platform.h"
#include "render/gl_setup.h"
#include "render/view_setup.h"
#include "resources/resources.h"

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
    pf.ShowMainWindow();
    ResizeView(width, height);
    InitGL();
    return true;
}

void KillGLWindow() {
    LogPrintf("\n\n    KillGLWindow\n    ============\n");
    KillModels();
    // What lives for the run in the window's context goes now, while it is
    // current.
    KillGL();
    platform::Current().DestroyMainWindow();
}
