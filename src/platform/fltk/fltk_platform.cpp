#include "platform/fltk/fltk_platform.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Bar.H>

#include <cstdio>
#include <map>

#include "platform/config/wine_registry.h"
#include "platform/system.h"
#include "platform/fltk/fltk_dialogs.h"
#include "platform/fltk/fltk_picture.h"
#include "platform/fltk/fltk_tools.h"
#include "platform/fltk/fltk_window.h"
#include "platform/fltk/key_map.h"
#include "platform/fltk/x11_support.h"
#include "platform/text_encoding.h"
#include "platform/window_platform.h"
#include "platform/fonts/font_rasteriser.h"

namespace platform {

using namespace platform::fltk;

namespace {

constexpr int kMenuBarHeight = 25;
constexpr std::uint64_t kScreenSaverPeriod = 30ull * 1000000000ull;
constexpr std::uint64_t kConfineRetryPeriod = 250ull * 1000000ull;

}  // namespace

struct FltkPlatform::Impl {
    FontRasteriser fonts;
    ConfigPlaces config = ConfigPlaces::FromProcess();
    WindowEvents input;
    std::unique_ptr<MenuModel> menu;
    MainFrame* frame = nullptr;  // owns the menu bar and the GL area
    Fl_Menu_Bar* bar = nullptr;
    GlArea* gl = nullptr;
    std::vector<int> glAttributes;  // FLTK keeps a pointer to them
    std::unique_ptr<InfoDialog> info;
    std::map<ListKind, std::unique_ptr<ListWindow>> lists;
    std::unique_ptr<ProgressWindow> progress;
    std::unique_ptr<PictureWindow> picture;
    bool quitPending = false;
    int quitCode = 0;
    std::uint64_t lastScreenSaverReset = 0;
    bool confineWanted = false;  // CaptureMouse(true) in force
    bool confined = false;       // our pointer grab holds
    std::uint64_t lastConfineTry = 0;
    Fl_Event_Dispatch previousDispatch = nullptr;

    // Whoever has the focus, the keyboard and the close button reach the
    // program through here first; FLTK's own handling follows.
    static Impl* active;
    static int Dispatch(int event, Fl_Window* window) {
        if (Impl* self = active) {
            // The quit chord asks whether Alt was pressed, in any of our windows.
            if (event == FL_KEYDOWN && (Fl::event_key() == FL_Alt_L || Fl::event_key() == FL_Alt_R))
                self->input.pressedSinceQuery[vk::kMenu] = true;
            // FLTK drops a close request for a window under a modal box or a
            // menu; the user's request is kept for when the box is answered.
            if (event == FL_CLOSE && window && window == self->frame && (Fl::grab() || (Fl::modal() && Fl::modal() != window))) {
                self->input.Post(MessageKind::Close);
                return 1;
            }
        }
        return Fl::handle_(event, window);
    }

    void Confine(std::uint64_t now) {
        if (confined || !gl || !gl->shown() || Fl::grab() || Fl::modal()) return;
        lastConfineTry = now;
        confined = ConfinePointer(gl);
    }
    void Release() {
        if (confined && DisplayOpen()) ReleasePointer();
        confined = false;
    }

    // Back to the GL area once a dialog or box of ours has gone.
    void FocusMain() {
        if (!frame || !frame->shown() || !gl) return;
        if (WaitViewable(frame, 0.5)) FocusWindow(frame);
        gl->take_focus();
    }

    Fl_Window* OwnerWindow(platform::Owner owner) const { return owner == platform::Owner::MainWindow ? frame : nullptr; }

    // A closed info dialog is deleted here, outside its own callback.
    void ForgetClosedInfo() {
        if (info && info->Closed()) info.reset();
    }

    void Destroy() {
        Release();
        confineWanted = false;
        info.reset();
        lists.clear();
        progress.reset();
        picture.reset();
        if (frame) {
            frame->destroying = true;
            frame->hide();
            delete frame;
        }
        frame = nullptr;
        bar = nullptr;
        gl = nullptr;
        menu.reset();
        input.queue.clear();
        input.down.fill(false);
        if (DisplayOpen()) Fl::check();
    }
};

FltkPlatform::Impl* FltkPlatform::Impl::active = nullptr;

FltkPlatform::FltkPlatform() : impl_(std::make_unique<Impl>()) {
    impl_->previousDispatch = Fl::event_dispatch();
    Impl::active = impl_.get();
    Fl::event_dispatch(&Impl::Dispatch);
}

FltkPlatform::~FltkPlatform() {
    impl_->Destroy();
    if (Impl::active == impl_.get()) {
        Impl::active = nullptr;
        Fl::event_dispatch(impl_->previousDispatch);
    }
}

bool FltkPlatform::DisplayAvailable(std::string* why) { return DisplayAnswers(why); }

std::unique_ptr<Platform> CreateWindowPlatform(std::string& whyNot) {
    if (!FltkPlatform::DisplayAvailable(&whyNot)) return nullptr;
    return std::make_unique<FltkPlatform>();
}

// ---- diagnostics and clock ---------------------------------------------

void FltkPlatform::DebugOutput(const char* text) { SystemDebugOutput(text); }

std::uint64_t FltkPlatform::CounterFrequency() { return 1000000000ull; }
std::uint64_t FltkPlatform::CounterValue() { return MonotonicNanoseconds(); }
std::uint32_t FltkPlatform::TickCount() { return static_cast<std::uint32_t>(MonotonicNanoseconds() / 1000000ull); }

// ---- modal boxes and dialogs -------------------------------------------

Answer FltkPlatform::ShowMessageBox(platform::Owner owner, const std::string& text, const std::string& caption,
                                Buttons buttons, Icon icon) {
    if (!EnsureDisplay()) {
        // Nowhere to show it: say it on standard error and take the default.
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        return UnansweredBox(buttons);
    }
    // The pointer must reach the box; the main loop confines it again.
    impl_->Release();
    const Answer answer = RunMessageBox(impl_->OwnerWindow(owner), text, caption, buttons, icon);
    impl_->FocusMain();
    return answer;
}

std::string FltkPlatform::AskOpenFile(const std::string& initialDirectory, const std::string& initialName,
                                      const std::string& title, const FileFilter& filter) {
    if (!EnsureDisplay()) return {};
    impl_->Release();
    std::string chosen = RunOpenFile(initialDirectory, initialName, title, filter);
    impl_->FocusMain();
    return chosen;
}

bool FltkPlatform::InfoDialogExists() {
    impl_->ForgetClosedInfo();
    return impl_->info != nullptr;
}

void FltkPlatform::InfoDialogCreate() {
    impl_->ForgetClosedInfo();
    if (impl_->info || !EnsureDisplay()) return;
    Impl* impl = impl_.get();
    impl_->info = std::make_unique<InfoDialog>(impl_->frame, [impl] { impl->FocusMain(); });
}

void FltkPlatform::InfoDialogSetText(const std::string& text) {
    impl_->ForgetClosedInfo();
    if (impl_->info) impl_->info->SetText(text);
}

void FltkPlatform::InfoDialogInsertAtCaret(const std::string& text) {
    impl_->ForgetClosedInfo();
    if (impl_->info) impl_->info->InsertAtCaret(text);
}

void FltkPlatform::InfoDialogScrollToCaret(std::size_t position) {
    impl_->ForgetClosedInfo();
    if (impl_->info) impl_->info->ScrollToCaret(position);
}

std::string FltkPlatform::AskSaveFile(const SaveRequest& request) {
    if (!EnsureDisplay()) return {};
    impl_->Release();
    std::string chosen = RunSaveFile(impl_->frame, request);
    impl_->FocusMain();
    return chosen;
}

bool FltkPlatform::AskText(const std::string& title, const std::string& prompt, std::string& text) {
    if (!EnsureDisplay()) return false;
    impl_->Release();
    const bool ok = RunTextPrompt(impl_->frame, title, prompt, text);
    impl_->FocusMain();
    return ok;
}

bool FltkPlatform::AskForm(const FormRequest& request, std::vector<std::string>& texts) {
    if (!EnsureDisplay()) return false;
    impl_->Release();
    const bool ok = RunForm(impl_->frame, request, texts);
    impl_->FocusMain();
    return ok;
}

std::string FltkPlatform::ClipboardText() { return DisplayOpen() ? ReadClipboard() : std::string(); }

void FltkPlatform::SetClipboardText(const std::string& text) {
    if (EnsureDisplay()) WriteClipboard(text);
}

void FltkPlatform::SetMainWindowTitle(const std::string& title) {
    if (impl_->frame) impl_->frame->copy_label(ToUtf8(title).c_str());
}

bool FltkPlatform::ShowProgress(const std::string& text, float done) {
    if (!DisplayOpen()) return true;
    if (!impl_->progress) impl_->progress = std::make_unique<ProgressWindow>(impl_->frame);
    return impl_->progress->Set(text, done);
}

void FltkPlatform::HideProgress() { impl_->progress.reset(); }

void FltkPlatform::ShowPicture(const PictureRequest& request) {
    if (!EnsureDisplay()) return;
    Impl* impl = impl_.get();
    impl_->picture.reset();
    impl_->picture = std::make_unique<PictureWindow>(impl_->frame, request, [impl](const Message& m) { impl->input.Post(m); });
}

void FltkPlatform::ClosePicture() { impl_->picture.reset(); }

bool FltkPlatform::PictureShown() { return impl_->picture && impl_->picture->Shown(); }

std::string FltkPlatform::PictureLine() { return impl_->picture ? impl_->picture->Line() : std::string(); }

void FltkPlatform::ShowList(ListKind kind, const std::string& title, ListSource& source) {
    if (!EnsureDisplay()) return;
    auto& window = impl_->lists[kind];
    if (window) {
        window->Refresh();
        window->Raise();
        return;
    }
    Impl* impl = impl_.get();
    window = std::make_unique<ListWindow>(
        impl_->frame, kind, title, source, [impl](const Message& m) { impl->input.Post(m); },
        [impl] { impl->FocusMain(); });
}

void FltkPlatform::RefreshList(ListKind kind) {
    auto it = impl_->lists.find(kind);
    if (it != impl_->lists.end() && it->second) it->second->Refresh();
}

void FltkPlatform::CloseList(ListKind kind) { impl_->lists.erase(kind); }

bool FltkPlatform::ListShown(ListKind kind) {
    auto it = impl_->lists.find(kind);
    return it != impl_->lists.end() && it->second && it->second->Shown();
}

// ---- configuration -------------------------------------------------------

ConfigResult FltkPlatform::ReadConfigString(const std::string& key, const std::string& value, std::string& out) {
    return platform::ReadConfigString(impl_->config, key, value, out);
}

// ---- the main window and its GL context --------------------------------

bool FltkPlatform::CreateMainWindow(const WindowRequest& request) {
    if (impl_->frame || !EnsureDisplay()) return false;
    const int w = request.clientWidth, h = request.clientHeight;

    impl_->frame = new MainFrame(w, kMenuBarHeight + h, ToUtf8(request.title).c_str(), impl_->input);
    impl_->bar = new Fl_Menu_Bar(0, 0, w, kMenuBarHeight);
    impl_->menu = std::make_unique<MenuModel>(request.menu, impl_->input);
    impl_->bar->menu(impl_->menu->Items());
    impl_->bar->user_data(impl_->menu.get());
    impl_->gl = new GlArea(0, kMenuBarHeight, w, h, impl_->input);

    // The exact request first, then FLTK's coarser modes, alpha last to go.
    impl_->glAttributes = GlxAttributes(request.colourBits, request.alphaBits, request.depthBits);
    if (Fl_Gl_Window::can_do(impl_->glAttributes.data())) {
        impl_->gl->mode(impl_->glAttributes.data());
    } else if (Fl_Gl_Window::can_do(FL_RGB | FL_DOUBLE | FL_ALPHA | FL_DEPTH)) {
        impl_->gl->mode(FL_RGB | FL_DOUBLE | FL_ALPHA | FL_DEPTH);
    } else if (Fl_Gl_Window::can_do(FL_RGB | FL_DOUBLE | FL_DEPTH)) {
        impl_->gl->mode(FL_RGB | FL_DOUBLE | FL_DEPTH);
    } else {
        impl_->Destroy();
        return false;
    }
    impl_->frame->end();
    impl_->frame->resizable(impl_->gl);
    impl_->frame->position(0, 0);

    // The context comes with the GL window's X window, so show first.
    impl_->frame->show();
    impl_->gl->show();
    impl_->gl->make_current();
    if (!ContextCurrent()) {
        impl_->Destroy();
        return false;
    }
    ResetScreenSaver();
    impl_->lastScreenSaverReset = MonotonicNanoseconds();
    return true;
}

void FltkPlatform::DestroyMainWindow() { impl_->Destroy(); }

bool FltkPlatform::MainWindowExists() { return impl_->frame != nullptr; }

void FltkPlatform::ShowMainWindow() {
    if (!impl_->frame) return;
    impl_->frame->show();  // maps it, or raises it when it is mapped already
    if (WaitViewable(impl_->frame, 2.0)) FocusWindow(impl_->frame);
    impl_->gl->take_focus();
}

Rect FltkPlatform::MainWindowRect() {
    if (!impl_->frame || !impl_->frame->shown()) return {};
    return OuterRect(impl_->frame);
}

void FltkPlatform::SwapBuffers() {
    if (impl_->gl) impl_->gl->swap_buffers();
}

void FltkPlatform::SetMenuCheck(int id, bool checked) {
    if (impl_->menu && impl_->menu->SetCheck(id, checked)) impl_->bar->redraw();
}

void* FltkPlatform::GlProcAddress(const char* name) { return fltk::GlProcAddress(name); }

std::string FltkPlatform::WindowSystemExtensions() { return GlxExtensions(); }

// ---- messages, cursor and keyboard -------------------------------------

bool FltkPlatform::PeekWindowMessage(Message& out) {
    if (DisplayOpen()) {
        Fl::check();
        impl_->ForgetClosedInfo();
        // The viewer takes no input for minutes at a time while it is
        // watched; keep the screen saver from starting.
        const std::uint64_t now = MonotonicNanoseconds();
        if (impl_->frame && now - impl_->lastScreenSaverReset >= kScreenSaverPeriod) {
            ResetScreenSaver();
            impl_->lastScreenSaverReset = now;
        }
        // A menu or a modal box takes the pointer over with a grab of its
        // own and lets go of it afterwards: confine it again then.
        if (Fl::grab() || Fl::modal()) impl_->confined = false;
        else if (impl_->confineWanted && now - impl_->lastConfineTry >= kConfineRetryPeriod) impl_->Confine(now);
    }
    if (!impl_->input.queue.empty()) {
        out = impl_->input.queue.front();
        impl_->input.queue.pop_front();
        return true;
    }
    // The quit message comes when nothing else waits, as WM_QUIT does.
    if (impl_->quitPending) {
        impl_->quitPending = false;
        out = Message{};
        out.kind = MessageKind::Quit;
        out.quitCode = impl_->quitCode;
        return true;
    }
    return false;
}

void FltkPlatform::PostQuitMessage(int code) {
    impl_->quitPending = true;
    impl_->quitCode = code;
}

bool FltkPlatform::CloseRequested() {
    if (impl_->quitPending) return true;
    for (const Message& m : impl_->input.queue)
        if (m.kind == MessageKind::Close) return true;
    return false;
}

void FltkPlatform::SetCursorVisible(bool visible) {
    if (impl_->gl && impl_->gl->shown()) impl_->gl->cursor(visible ? FL_CURSOR_DEFAULT : FL_CURSOR_NONE);
}

void FltkPlatform::SetCursorPosition(int screenX, int screenY) {
    if (!DisplayOpen()) return;
    WarpPointer(screenX, screenY);
    if (!impl_->gl) return;
    // As the original window system reports it, a warp is one pointer move
    // to its target, and the moves still waiting describe where the pointer
    // was: they are superseded. Flying mode swallows exactly that one move.
    Fl::check();
    auto& queue = impl_->input.queue;
    Message move;
    move.kind = MessageKind::MouseMove;
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->kind == MessageKind::MouseMove) {
            move = *it;  // keeps the latest button and modifier flags
            it = queue.erase(it);
        } else {
            ++it;
        }
    }
    move.x = screenX - impl_->gl->x_root();
    move.y = screenY - impl_->gl->y_root();
    impl_->input.Post(move);
}

// Flying mode puts the pointer back in the middle after every move, but a
// quick turn can carry it out of the window between two moves, and mouse-look
// stops there: it is kept inside the GL area instead. The program lets go in
// selection mode and when the focus leaves; boxes and menus take it over
// meanwhile.
void FltkPlatform::CaptureMouse(bool capture) {
    impl_->confineWanted = capture;
    if (!capture) impl_->Release();
    else if (DisplayOpen()) impl_->Confine(MonotonicNanoseconds());
}

bool FltkPlatform::KeyDownNow(int key) {
    if (!DisplayOpen()) return false;
    for (int fltkKey : FltkKeysOf(key))
        if (Fl::get_key(fltkKey)) return true;
    return false;
}

bool FltkPlatform::PointerConfined() { return impl_->confined; }

bool FltkPlatform::KeyPressedSinceLastQuery(int key) {
    if (key <= 0 || key >= 256) return false;
    const std::size_t k = static_cast<std::size_t>(key);
    const bool pressed = impl_->input.pressedSinceQuery[k];
    impl_->input.pressedSinceQuery[k] = false;
    return pressed;
}

// ---- fonts --------------------------------------------------------------

bool FltkPlatform::RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) {
    return impl_->fonts.Rasterise(font, first, count, out);
}

bool FltkPlatform::MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) {
    return impl_->fonts.Measure(font, text, width, height);
}

// ---- for tests and diagnostics ---------------------------------------------

unsigned long FltkPlatform::MainWindowId() { return WindowId(impl_->frame); }
unsigned long FltkPlatform::GlAreaId() { return WindowId(impl_->gl); }

unsigned long FltkPlatform::InfoDialogId() {
    impl_->ForgetClosedInfo();
    return impl_->info ? WindowId(impl_->info->Window()) : 0;
}

std::optional<bool> FltkPlatform::MenuCheck(int id) {
    return impl_->menu ? impl_->menu->Check(id) : std::nullopt;
}

std::string FltkPlatform::InfoDialogText() {
    impl_->ForgetClosedInfo();
    return impl_->info ? impl_->info->Text() : std::string();
}

std::string FltkPlatform::MainWindowTitle() { return impl_->frame && impl_->frame->label() ? impl_->frame->label() : ""; }

unsigned long FltkPlatform::ListWindowId(ListKind kind) {
    auto it = impl_->lists.find(kind);
    return it != impl_->lists.end() && it->second && it->second->Shown() ? WindowId(it->second->Window()) : 0;
}

int FltkPlatform::ListRowsShown(ListKind kind) {
    auto it = impl_->lists.find(kind);
    return it != impl_->lists.end() && it->second ? it->second->RowsShown() : -1;
}

bool FltkPlatform::ProgressShown() { return impl_->progress != nullptr; }

std::size_t FltkPlatform::InfoDialogCaret() {
    impl_->ForgetClosedInfo();
    return impl_->info ? impl_->info->Caret() : 0;
}

}  // namespace platform
