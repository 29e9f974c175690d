#include "app/input.h"

#include "app/pointer.h"
#include "diag/state_registry.h"
#include "resources/resources.h"

namespace {

using platform::Message;
using platform::MessageKind;

const StateReset kInputReset{"input", StateLayer::App, StateScope::Process, [] { TheInput() = InputState{}; }};

void PointerMoved(const Message& m, bool focused, std::vector<Command>& out) {
    InputState& in = TheInput();
    if (!m.leftButton) out.push_back({.kind = Command::Kind::Release});
    in.previousMouseX = in.mouseX;
    in.previousMouseY = in.mouseY;
    in.mouseX = m.x;
    in.mouseY = m.y;
    const float dx = static_cast<float>(in.mouseX - in.previousMouseX);
    const float dy = static_cast<float>(in.mouseY - in.previousMouseY);
    const bool flying = ThePointer().FlyingMode;
    if (m.leftButton && !flying)
        out.push_back({.kind = Command::Kind::Drag, .dx = dx, .dy = dy, .shift = m.shift, .control = m.control});
    if (!flying || !focused || ThePointer().released) return;
    if (TakeLookMove()) out.push_back({.kind = Command::Kind::Look, .dx = dx, .dy = dy, .shift = m.shift});
}

}  // namespace

InputState& TheInput() {
    static InputState state;
    return state;
}

std::array<bool, 256> TakeFrameKeys() {
    InputState& in = TheInput();
    std::array<bool, 256> keys = in.KeyState;
    for (std::size_t k = 0; k < keys.size(); ++k) keys[k] = keys[k] || in.PressedSinceFrame[k];
    in.PressedSinceFrame.fill(false);
    return keys;
}

std::vector<Command> TranslateInput(const Message& m, bool windowFocused) {
    InputState& in = TheInput();
    std::vector<Command> out;
    const auto keyIndex = [](int key) { return static_cast<std::size_t>(key); };
    switch (m.kind) {
        case MessageKind::KeyDown: {
            // Alt goes to the menu bar: flying mode lets go of the pointer
            // so that the menus can be reached with it too.
            if (m.key == platform::vk::kMenu) {
                ReleasePointer();
                break;
            }
            const bool control = in.KeyState[platform::vk::kControl];
            const int command = KeyCommand(m.key, control);
            // A key that gives a command with Ctrl is that command, never
            // a movement key held.
            const bool controlCommand = control && command != 0 && command != KeyCommand(m.key, false);
            if (!controlCommand && m.key >= 0 && m.key < 256)
                in.KeyState[keyIndex(m.key)] = in.PressedSinceFrame[keyIndex(m.key)] = true;
            if (command) out.push_back(ActionCommand(command));
            break;
        }
        case MessageKind::KeyUp:
            if (m.key >= 0 && m.key < 256) in.KeyState[keyIndex(m.key)] = false;
            break;
        case MessageKind::Command: out.push_back(ActionCommand(m.command)); break;
        case MessageKind::ListChoice:
            out.push_back({.kind = Command::Kind::ListChoice, .list = m.list, .row = m.row, .action = m.command});
            break;
        case MessageKind::MouseMove: PointerMoved(m, windowFocused, out); break;
        case MessageKind::LButtonDown:
            in.mouseX = m.x;
            in.mouseY = m.y;
            if (ThePointer().released) {
                SetFlyingMode(true);  // a click back in the view takes the pointer again
                break;
            }
            out.push_back({.kind = Command::Kind::Pick, .x = m.x, .y = m.y, .shift = m.shift, .control = m.control});
            break;
        case MessageKind::LButtonUp: out.push_back({.kind = Command::Kind::Release}); break;
        case MessageKind::Close: out.push_back(ActionCommand(kCmdExit)); break;
        default: break;
    }
    return out;
}
