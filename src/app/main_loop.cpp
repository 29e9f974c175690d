#include "app/main_loop.h"

#include "app/frame.h"
#include "app/gl_window.h"
#include "app/input.h"
#include "app/movement.h"
#include "app/viewer_ui.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "location/level_location.h"
#include "math/camera.h"
#include "platform/platform.h"

LoopState& TheLoop() {
    static LoopState state;
    return state;
}

int WinMain() {
    OpenLogFile("debuglog.txt");
    if (!SelectLevelFiles()) {
        CloseLogFile();
        return 0;
    }
    if (!CreateGLWindow(kWindowTitle, 800, 600, 32)) {
        CloseLogFile();
        return 0;
    }
    SetFlyingMode(true);
    platform::Platform& pf = platform::Current();
    pf.ShowMainWindow();

    int exitCode = 0;
    InputState& in = TheInput();
    LoopState& loop = TheLoop();
    for (;;) {
        platform::Message m;
        if (pf.PeekWindowMessage(m)) {
            if (m.kind == platform::MessageKind::Quit) {
                exitCode = m.quitCode;
                break;
            }
            WindowProc(m);
            continue;
        }
        if (in.WindowActive) DrawFrame();
        pf.SwapBuffers();
        ApplyKeyboardMovement(TheCamera(), in.KeyState, loop.MoveSpeed, TheFrame().FrameTime);
        loop.MoveSpeed = ApplySpeedKeys(in.KeyState, loop.MoveSpeed);
        if (QuitChordPressed() && ConfirmQuit()) break;
    }
    KillGLWindow();
    CloseLogFile();
    return exitCode;
}

namespace {
const StateReset kLoopReset{"main loop", StateLayer::App, StateScope::Process, [] { TheLoop() = LoopState{}; }};
}  // namespace
