// The main window's widgets: the top-level frame with its menu bar and the
// GL area, which turn FLTK events into the viewer's window messages.
#pragma once

#include "platform/platform.h"

#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Item.H>

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <optional>
#include <vector>

namespace platform::fltk {

// Messages waiting for PeekWindowMessage, and the key table behind the
// asynchronous key queries.
struct WindowEvents {
    std::deque<Message> queue;
    std::array<bool, 256> down{};                // by virtual key, from the messages
    std::array<bool, 256> pressedSinceQuery{};  // any key-down since the last query of that key

    void Post(const Message& m) { queue.push_back(m); }
    void Post(MessageKind kind) {
        Message m;
        m.kind = kind;
        Post(m);
    }
};

// The client area. It only reports events: the viewer draws from its own
// loop and swaps the buffers itself.
class GlArea : public Fl_Gl_Window {
public:
    GlArea(int x, int y, int w, int h, WindowEvents& input);
    int handle(int event) override;
    void draw() override {}
    // FLTK would draw and swap on expose; a swap here would show a back
    // buffer the viewer has not drawn. The next frame repaints anyway.
    void flush() override {}
    void resize(int x, int y, int w, int h) override;

private:
    bool Key(int event);
    void Mouse(MessageKind kind);

    WindowEvents& input_;
    int width_, height_;
};

// The top-level window: it reports minimising and the close button, and
// never closes itself (FLTK's default closes on Escape).
class MainFrame : public Fl_Double_Window {
public:
    MainFrame(int w, int h, const char* title, WindowEvents& input);
    int handle(int event) override;
    bool destroying = false;

private:
    static void OnCallback(Fl_Widget* widget, void* data);

    WindowEvents& input_;
    bool minimised_ = false;
};

// The menu bar's items, built from the request's tree. Choosing an item
// posts its command; only SetCheck changes a check mark, as on Windows.
class MenuModel {
public:
    MenuModel(const std::vector<MenuItem>& tree, WindowEvents& input);
    const Fl_Menu_Item* Items() const { return items_.data(); }
    bool SetCheck(int id, bool checked);
    std::optional<bool> Check(int id) const;

private:
    void Add(const std::vector<MenuItem>& items);
    static void OnChosen(Fl_Widget* widget, void* data);

    WindowEvents& input_;
    std::deque<std::string> labels_;  // stable storage for the items' text
    std::vector<Fl_Menu_Item> items_;
    std::map<int, std::size_t> checkable_;  // id -> item index
    std::map<int, bool> checks_;
};

}  // namespace platform::fltk
