#include "app/main_loop.h"

#include "app/commands.h"
#include "app/input.h"
#include "app/movement.h"
#include "app/pointer.h"
#include "app/viewer_tools.h"
#include "app/window.h"
#include "diag/clock.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "location/level_location.h"
#include "render/frame.h"
#include "render/view_setup.h"
#include "scene/level.h"
#include "scene/view.h"

namespace {
const StateReset kLoopReset{"main loop", StateLayer::App, StateScope::Process, [] { TheLoop() = LoopState{}; }};
}  // namespace

LoopState& TheLoop() {
    static LoopState state;
    return state;
}

bool WindowProc(const platform::Message& m) {
    LoopState& loop = TheLoop();
    switch (m.kind) {
        case platform::MessageKind::Size: ResizeView(m.width, m.height); return true;
        case platform::MessageKind::Activate:
            loop.WindowActive = !m.minimised;
            WindowActivated(loop.WindowActive);
            return true;
        case platform::MessageKind::SetFocus:
            loop.WindowFocused = true;
            WindowFocused(true);
            return false;
        case platform::MessageKind::KillFocus:
            loop.WindowFocused = false;
            WindowFocused(false);
            return false;
        case platform::MessageKind::Quit: return true;
        default: break;
    }
    bool changed = false;
    for (const Command& c : TranslateInput(m, loop.WindowFocused)) changed = RunCommand(c) || changed;
    return changed;
}

int WinMain() {
    OpenLogFile("debuglog.txt");
    if (!SelectLevelFiles(TheLevelFiles())) {
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
    bool firstFrameTold = false;
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
        if (loop.WindowActive) {
            const OverlayStatus status{ThePointer().FlyingMode, loop.MoveSpeed};
            DrawFrame(&status);
        }
        UpdateWindowTitle();
        SyncMenuChecks();
        pf.SwapBuffers();
        if (!firstFrameTold && TheFrame().LoadState == 2 && loop.WindowActive) {
            firstFrameTold = true;
            DebugPrintf("\n\nFirst frame with the scene: %.2f seconds after the start\n", GetTime());
        }
        const std::array<bool, 256> keys = TakeFrameKeys();
        ApplyKeyboardMovement(TheCamera(), keys, loop.MoveSpeed, TheFrame().FrameTime);
        loop.MoveSpeed = ApplySpeedKeys(keys, loop.MoveSpeed);
        if (QuitChordPressed() && ConfirmQuit()) break;
    }
    KillGLWindow();
    CloseLogFile();
    return exitCode;
}
