#include "app/input.h"

#include <algorithm>
#include <cmath>

#include "app/edits.h"
#include "app/gl_window.h"
#include "app/viewer_ui.h"
#include "app/picking.h"
#include "diag/log.h"
#include "diag/state_registry.h"
#include "math/camera.h"
#include "resources/resources.h"
#include "scene/dumps.h"
#include "scene/render_state.h"
#include "scene/scene_model.h"
#include "terrain/terrain.h"

namespace {

using platform::Message;
using platform::MessageKind;

// The centre of the window's outer rectangle, where flying mode keeps the
// hidden cursor.
void CentreCursor() {
    const platform::Rect r = platform::Current().MainWindowRect();
    platform::Current().SetCursorPosition((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

void HideCursor() {
    InputState& in = TheInput();
    platform::Current().SetCursorVisible(false);
    in.cursorHidden = true;
}

// Deleted objects are kept by the edit history, so that an undo can put
// them back; no list keeps pointing at them meanwhile.
void DeleteSelected() {
    InputState& in = TheInput();
    Instance* selected = in.SelectedInstance;
    if (!selected) return;
    if (DeleteInstance(*selected)) in.SelectedInstance = nullptr;
}

void CommandKey(int key) {
    InputState& in = TheInput();
    RenderToggles& toggles = TheToggles();
    switch (key) {
        case platform::vk::kDelete:
            DeleteSelected();
            ObjectsChanged();
            break;
        case 'O': OpenObjectList(); break;
        case platform::vk::kEscape: SetFlyingMode(!in.FlyingMode); break;
        case platform::vk::kF1:
            in.HelpAutoHide = false;
            in.HelpVisible = !in.HelpVisible;
            break;
        case 'B':
            ShowInfoDialog();
            if (in.SelectedInstance && in.SelectedInstance->model) DumpModel(*in.SelectedInstance->model);
            else InfoPrintf("No object is selected. Press Escape for selection mode and click an object, or "
                            "choose one in View / Objects.");
            break;
        case 'V':
            ShowInfoDialog();
            if (in.SelectedInstance) DumpValueTable(*in.SelectedInstance);
            break;
        case 'L':
            toggles.LightingEnabled = !toggles.LightingEnabled;
            toggles.TerrainShadows = !toggles.TerrainShadows;
            break;
        case 'U':
            if (!TheRenderState().caps.Dot3Available) {
                platform::Current().ShowMessageBox(
                    platform::Owner::MainWindow,
                    "Can't display bumpmaps, video card does not support hardware OpenGL Dot3 bumpmapping", "NOTE",
                    platform::Buttons::Ok, platform::Icon::None);
            } else {
                toggles.BumpMode = (toggles.BumpMode + 1) % 4;
            }
            break;
        case 'I': toggles.RotatingSun = !toggles.RotatingSun; break;
        case 'P': toggles.ObjectPositions = !toggles.ObjectPositions; break;
        case 'T': UpdateTerrain(TheCamera().position); break;
        default: break;
    }
}

// A menu toggle: flips its flag and sets the item's check mark from it.
bool MenuChoice(int id) {
    RenderToggles& toggles = TheToggles();
    bool* flag = nullptr;
    switch (id) {
        case kCmdExit:
            if (ConfirmQuit()) platform::Current().PostQuitMessage(0);
            return true;
        case kCmdDrawOutline: flag = &toggles.DrawOutline; break;
        case kCmdFreezeUpdate: flag = &toggles.FreezeUpdate; break;
        case kCmdFog: flag = &toggles.FogEnabled; break;
        case kCmdTerrainShadows: flag = &toggles.TerrainShadows; break;
        case kCmdObjectShadows: flag = &toggles.ObjectShadows; break;
        case kCmdFreezeFrustum: flag = &toggles.FreezeFrustum; break;
        case kCmdOnscreenHelp: flag = &TheInput().HelpVisible; break;
        default: return ViewerCommand(id);
    }
    *flag = !*flag;
    platform::Current().SetMenuCheck(id, *flag);
    return false;
}

void Drag(const Message& m, float dx, float dy) {
    InputState& in = TheInput();
    Instance* inst = in.SelectedInstance;
    if (m.shift) {
        inst->SetRotation(inst->rotation.x, inst->rotation.y + dy * 0.01f, inst->rotation.z + dx * 0.01f);
        return;
    }
    const Camera& camera = TheCamera();
    const float dist = camera.position.Distance(inst->position);
    const double tan30 = std::tan(30.0 * 3.14159265358979323846 / 180.0);
    const float k = static_cast<float>(tan30 * (2.0 * dist / TheGlWindow().clientWidth) * 1.2);
    const float h = dx * k, v = -(k * dy);
    const CameraVectors basis = CameraBasis(camera);
    const Vector3 second = (m.control ? Vector3(0, 0, 1) : Vector3(0, 0, 1).Cross(basis.right)).Normalised();
    const Vector3 p = inst->position + basis.right * h + second * v;
    inst->SetPosition(p.x, p.y, p.z);
}

bool MouseMove(const Message& m) {
    InputState& in = TheInput();
    if (!m.leftButton) EndDrag();
    in.previousMouseX = in.mouseX;
    in.previousMouseY = in.mouseY;
    in.mouseX = m.x;
    in.mouseY = m.y;
    const int dx = in.mouseX - in.previousMouseX, dy = in.mouseY - in.previousMouseY;
    if (m.leftButton && !in.FlyingMode) {
        if (!in.SelectedInstance) return false;
        Drag(m, static_cast<float>(dx), static_cast<float>(dy));
    }
    if (!in.FlyingMode || !in.WindowFocused) return false;
    HideCursor();
    if (in.IgnoreNextMouseMove) {
        in.IgnoreNextMouseMove = false;
        return false;
    }
    Camera& camera = TheCamera();
    const CameraVectors basis = CameraBasis(camera);
    if (m.shift) {
        camera.position -= basis.forward * (0.02f * static_cast<float>(dy));
        camera.position += basis.right * (0.02f * static_cast<float>(dx));
    } else {
        camera.yaw += static_cast<float>(dx) * 0.4f;
        camera.pitch = std::clamp(camera.pitch + static_cast<float>(dy) * 0.4f, -89.9f, 89.9f);
    }
    in.IgnoreNextMouseMove = true;
    CentreCursor();
    return false;
}

}  // namespace

InputState& TheInput() {
    static InputState state;
    return state;
}

void ResetInput() { TheInput() = InputState{}; }

void SetFlyingMode(bool on) {
    InputState& in = TheInput();
    in.FlyingMode = on;
    platform::Platform& pf = platform::Current();
    if (!on) {
        pf.CaptureMouse(false);
        if (in.cursorHidden) {
            pf.SetCursorVisible(true);
            in.cursorHidden = false;
        }
        return;
    }
    pf.CaptureMouse(true);
    HideCursor();
    in.IgnoreNextMouseMove = true;
    CentreCursor();
}

bool WindowProc(const Message& m) {
    InputState& in = TheInput();
    switch (m.kind) {
        case MessageKind::Activate:
            in.WindowActive = !m.minimised;
            if (in.WindowActive && in.FlyingMode) HideCursor();
            return true;
        case MessageKind::SetFocus:
            in.WindowFocused = true;
            // Focus loss let go of the pointer; flying mode holds it again.
            if (in.FlyingMode) platform::Current().CaptureMouse(true);
            return false;
        case MessageKind::KillFocus:
            in.WindowFocused = false;
            in.IgnoreNextMouseMove = true;
            platform::Current().CaptureMouse(false);
            return false;
        case MessageKind::Close:
            if (ConfirmQuit()) platform::Current().PostQuitMessage(0);
            return true;
        case MessageKind::Size:
            ResizeView(m.width, m.height);
            return true;
        case MessageKind::KeyDown:
            // Ctrl with a letter is a command, never a movement key held.
            if (in.KeyState[platform::vk::kControl] && (m.key == 'Z' || m.key == 'Y')) {
                UndoOrRedo(m.key == 'Z');
                return true;
            }
            if (m.key >= 0 && m.key < 256) in.KeyState[static_cast<std::size_t>(m.key)] = true;
            CommandKey(m.key);
            return true;
        case MessageKind::KeyUp:
            if (m.key >= 0 && m.key < 256) in.KeyState[static_cast<std::size_t>(m.key)] = false;
            return true;
        case MessageKind::Command:
            return MenuChoice(m.command);
        case MessageKind::MouseMove:
            return MouseMove(m);
        case MessageKind::LButtonDown:
            EndDrag();
            SelectAt(m.x, m.y);
            // A drag of the selection is one edit, however long.
            if (!in.FlyingMode && in.SelectedInstance) BeginDrag(*in.SelectedInstance);
            return false;
        case MessageKind::LButtonUp:
            if (TheEdits().dragging) {
                EndDrag();
                ObjectsChanged();  // the list shows where it went
            }
            return false;
        case MessageKind::ListChoice:
            return ListChoice(m);
        case MessageKind::Quit:
            return true;
    }
    return false;
}

namespace {
const StateReset kInputReset{"input", StateLayer::App, StateScope::Process, &ResetInput};
}  // namespace
