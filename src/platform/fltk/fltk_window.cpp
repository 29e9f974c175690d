#include "platform/fltk/fltk_window.h"

#include <FL/Fl.H>

#include <cstdint>

#include "platform/fltk/key_map.h"

namespace platform::fltk {

namespace {

constexpr int kVkF10 = vk::kF1 + 9;

bool IsValidKey(int vk) { return vk > 0 && vk < 256; }

}  // namespace

GlArea::GlArea(int x, int y, int w, int h, WindowEvents& input)
    : Fl_Gl_Window(x, y, w, h), input_(input), width_(w), height_(h) {}

void GlArea::resize(int x, int y, int w, int h) {
    Fl_Gl_Window::resize(x, y, w, h);
    if (w == width_ && h == height_) return;
    width_ = w;
    height_ = h;
    Message m;
    m.kind = MessageKind::Size;
    m.width = w;
    m.height = h;
    input_.Post(m);
}

void GlArea::Mouse(MessageKind kind) {
    Message m;
    m.kind = kind;
    m.x = Fl::event_x();
    m.y = Fl::event_y();
    m.leftButton = kind == MessageKind::LButtonDown || (kind != MessageKind::LButtonUp && Fl::event_state(FL_BUTTON1) != 0);
    m.shift = Fl::event_state(FL_SHIFT) != 0;
    m.control = Fl::event_state(FL_CTRL) != 0;
    input_.Post(m);
}

bool GlArea::Key(int event) {
    const int key = VirtualKeyOf(Fl::event_key());
    if (!IsValidKey(key)) return false;
    const std::size_t k = static_cast<std::size_t>(key);
    Message m;
    if (event == FL_KEYUP) {
        if (key == vk::kMenu) input_.down[k] = false;
        if (key == vk::kMenu || key == kVkF10) return false;
        // Up even with Alt held, so that no key stays down in the table.
        input_.down[k] = false;
        m.kind = MessageKind::KeyUp;
        m.key = key;
        input_.Post(m);
        return true;
    }
    // Alt, F10 and keys with Alt held are Windows' system keys: they go to
    // the menu (mnemonics, Alt+F4), never to the viewer's key table. Alt
    // itself is told, so that flying mode lets go of the pointer.
    if (key == vk::kMenu && !input_.down[k]) {
        input_.down[k] = true;
        m.kind = MessageKind::KeyDown;
        m.key = key;
        input_.Post(m);
    }
    if (key == vk::kMenu || key == kVkF10 || Fl::event_state(FL_ALT)) {
        if (key == vk::kF4 && Fl::event_state(FL_ALT)) {
            input_.Post(MessageKind::Close);
            return true;
        }
        return false;
    }
    m.kind = MessageKind::KeyDown;
    m.key = key;
    m.repeat = input_.down[k];  // held already: the keyboard's auto-repeat
    input_.down[k] = true;
    input_.pressedSinceQuery[k] = true;
    input_.Post(m);
    return true;
}

int GlArea::handle(int event) {
    switch (event) {
    case FL_FOCUS:
        input_.Post(MessageKind::SetFocus);
        return 1;
    case FL_UNFOCUS:
        input_.Post(MessageKind::KillFocus);
        return 1;
    case FL_KEYBOARD:
    case FL_KEYUP:
        return Key(event) ? 1 : 0;
    case FL_ENTER:
    case FL_LEAVE:
        return 1;  // nonzero for FL_ENTER keeps the FL_MOVE events coming
    case FL_MOVE:
    case FL_DRAG:
        Mouse(MessageKind::MouseMove);
        return 1;
    case FL_PUSH:
        if (Fl::focus() != this) take_focus();
        if (Fl::event_button() == FL_LEFT_MOUSE) Mouse(MessageKind::LButtonDown);
        return 1;  // and so the drags of this press come here
    case FL_RELEASE:
        if (Fl::event_button() == FL_LEFT_MOUSE) Mouse(MessageKind::LButtonUp);
        return 1;
    default:
        return Fl_Gl_Window::handle(event);
    }
}

MainFrame::MainFrame(int w, int h, const char* title, WindowEvents& input)
    : Fl_Double_Window(w, h), input_(input) {
    copy_label(title);
    callback(OnCallback, this);
}

void MainFrame::OnCallback(Fl_Widget*, void* data) {
    auto* frame = static_cast<MainFrame*>(data);
    // The close button; Escape (FL_SHORTCUT) would close FLTK windows too.
    if (Fl::event() == FL_CLOSE) frame->input_.Post(MessageKind::Close);
}

int MainFrame::handle(int event) {
    // The window manager unmaps an iconified window and maps it again when
    // it is restored; our own hide() comes with destroying set.
    if (event == FL_HIDE && !destroying && !minimised_) {
        minimised_ = true;
        Message m;
        m.kind = MessageKind::Activate;
        m.minimised = true;
        input_.Post(m);
    } else if (event == FL_SHOW && minimised_) {
        minimised_ = false;
        Message m;
        m.kind = MessageKind::Activate;
        m.minimised = false;
        input_.Post(m);
    }
    return Fl_Double_Window::handle(event);
}

MenuModel::MenuModel(const std::vector<MenuItem>& tree, WindowEvents& input) : input_(input) {
    Add(tree);
    items_.push_back(Fl_Menu_Item{});
}

void MenuModel::Add(const std::vector<MenuItem>& items) {
    std::size_t last = items_.size();  // the previous item of this level, for dividers
    bool haveLast = false;
    for (const MenuItem& item : items) {
        if (item.separator) {
            if (haveLast) items_[last].flags |= FL_MENU_DIVIDER;
            continue;
        }
        labels_.push_back(item.label);
        Fl_Menu_Item entry{};
        entry.text = labels_.back().c_str();
        last = items_.size();
        haveLast = true;
        if (!item.children.empty() || (item.id == 0 && !item.checkable)) {
            entry.flags = FL_SUBMENU;
            items_.push_back(entry);
            Add(item.children);
            items_.push_back(Fl_Menu_Item{});
            continue;
        }
        entry.callback_ = OnChosen;
        entry.user_data_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(item.id));
        if (item.checkable) {
            entry.flags = FL_MENU_TOGGLE | (item.checked ? FL_MENU_VALUE : 0);
            checkable_[item.id] = items_.size();
            checks_[item.id] = item.checked;
        }
        items_.push_back(entry);
    }
}

void MenuModel::OnChosen(Fl_Widget* widget, void* data) {
    auto* model = static_cast<MenuModel*>(widget->user_data());
    const int id = static_cast<int>(reinterpret_cast<std::intptr_t>(data));
    // FLTK has already flipped a toggle item; put the mark back, the
    // program sets it when it has acted on the command.
    if (auto it = model->checkable_.find(id); it != model->checkable_.end()) {
        Fl_Menu_Item& item = model->items_[it->second];
        if (model->checks_[id]) item.set();
        else item.clear();
    }
    Message m;
    m.kind = MessageKind::Command;
    m.command = id;
    model->input_.Post(m);
}

bool MenuModel::SetCheck(int id, bool checked) {
    auto it = checkable_.find(id);
    if (it == checkable_.end()) return false;
    checks_[id] = checked;
    if (checked) items_[it->second].set();
    else items_[it->second].clear();
    return true;
}

std::optional<bool> MenuModel::Check(int id) const {
    auto it = checkable_.find(id);
    if (it == checkable_.end()) return std::nullopt;
    return items_[it->second].value() != 0;
}

}  // namespace platform::fltk
