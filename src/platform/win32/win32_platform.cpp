// The viewer's platform on Windows, the system the design was written for:
// a window class with its own DC, a WGL context on the pixel format the
// request asks for, the menu bar built from the same table as elsewhere,
// the message loop, the common dialogs, message boxes, the registry, GDI's
// glyphs and the performance counter.
#include "platform/window_platform.h"

#include "platform/win32/wide_text.h"

#include <commdlg.h>
#include <windowsx.h>

#include <array>
#include <deque>
#include <map>

#include "platform/file_system.h"
#include "platform/fonts/font_rasteriser.h"
#include "platform/system.h"
#include "platform/text_encoding.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/wgl_support.h"
#include "platform/win32/win32_tools.h"

namespace platform {

namespace {

const wchar_t kMainClass[] = L"Wildview";

std::wstring Text(const std::string& ansiOrUtf8) { return Wide(ToUtf8(ansiOrUtf8)); }

HMENU BuildMenu(const std::vector<MenuItem>& items, bool bar) {
    HMENU menu = bar ? CreateMenu() : CreatePopupMenu();
    for (const MenuItem& item : items) {
        if (item.separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else if (!item.children.empty()) {
            AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(BuildMenu(item.children, false)),
                        Text(item.label).c_str());
        } else {
            AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), static_cast<UINT_PTR>(item.id),
                        Text(item.label).c_str());
        }
    }
    return menu;
}

}  // namespace

class Win32Platform : public Platform {
public:
    Win32Platform() = default;
    ~Win32Platform() override { DestroyMainWindow(); }

    void DebugOutput(const char* text) override { SystemDebugOutput(text); }
    std::uint64_t CounterFrequency() override { return 1000000000ull; }
    std::uint64_t CounterValue() override { return MonotonicNanoseconds(); }
    std::uint32_t TickCount() override { return GetTickCount(); }

    Answer ShowMessageBox(Owner owner, const std::string& text, const std::string& caption, Buttons buttons,
                          Icon icon) override {
        UINT flags = buttons == Buttons::RetryCancel ? MB_RETRYCANCEL
                     : buttons == Buttons::YesNo     ? MB_YESNO
                     : buttons == Buttons::YesNoCancel ? MB_YESNOCANCEL
                                                       : MB_OK;
        flags |= icon == Icon::Information ? MB_ICONINFORMATION
                 : icon == Icon::Exclamation ? MB_ICONEXCLAMATION
                 : icon == Icon::Warning     ? MB_ICONWARNING
                                             : 0;
        const HWND parent = owner == Owner::MainWindow ? window_ : nullptr;
        switch (MessageBoxW(parent, Text(text).c_str(), Text(caption).c_str(), flags)) {
        case IDRETRY: return Answer::Retry;
        case IDCANCEL: return Answer::Cancel;
        case IDYES: return Answer::Yes;
        case IDNO: return Answer::No;
        case IDOK: return Answer::Ok;
        default: return UnansweredBox(buttons);
        }
    }

    std::string AskOpenFile(const std::string& initialDirectory, const std::string& initialName,
                            const std::string& title, const FileFilter& filter) override {
        std::wstring name = Text(initialName);
        if (!RunFileDialog(false, filter, initialDirectory, title, OFN_FILEMUSTEXIST, name)) return {};
        return Utf8(name.c_str());
    }

    std::string AskSaveFile(const SaveRequest& request) override {
        std::wstring name = Text(request.initialName);
        for (;;) {
            if (!RunFileDialog(true, request.filter, request.initialDirectory, request.title, OFN_OVERWRITEPROMPT, name))
                return {};
            const std::string chosen = Utf8(name.c_str());
            const std::string path = WithExtension(chosen, request.extensions);
            if (const std::string why = request.refuse ? request.refuse(path) : std::string(); !why.empty()) {
                ShowMessageBox(Owner::MainWindow, why, "Save As", Buttons::Ok, Icon::Exclamation);
                name = Wide(NameOf(path));
                continue;
            }
            // The dialog asked about the name as typed; the extension added
            // since may name another file.
            if (path != chosen && Files().KindOf(path) != PathKind::Missing) {
                const Answer a = ShowMessageBox(Owner::MainWindow, NameOf(path) + " already exists.\nDo you want to replace it?",
                                                "Confirm Save As", Buttons::YesNoCancel, Icon::Warning);
                if (a == Answer::Cancel) return {};
                if (a == Answer::No) {
                    name = Wide(NameOf(path));
                    continue;
                }
            }
            return path;
        }
    }

    bool InfoDialogExists() override { return info_.Exists(); }
    void InfoDialogCreate() override { info_.Create(window_); }
    void InfoDialogSetText(const std::string& text) override { info_.SetText(text); }
    void InfoDialogInsertAtCaret(const std::string& text) override { info_.InsertAtCaret(text); }
    void InfoDialogScrollToCaret(std::size_t position) override { info_.ScrollToCaret(position); }

    ConfigResult ReadConfigString(const std::string& key, const std::string& value, std::string& out) override {
        return ReadRegistryString(key, value, out);
    }

    bool CreateMainWindow(const WindowRequest& request) override {
        DestroyMainWindow();
        static const bool registered = [] {
            WNDCLASSW wc{};
            wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
            wc.lpfnWndProc = &Win32Platform::Procedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hIcon = LoadIcon(nullptr, IDI_WINLOGO);
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.lpszClassName = kMainClass;
            return RegisterClassW(&wc) != 0;
        }();
        if (!registered) return false;
        HMENU menu = BuildMenu(request.menu, true);
        const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        RECT area{0, 0, request.clientWidth, request.clientHeight};
        AdjustWindowRectEx(&area, style, TRUE, WS_EX_APPWINDOW);
        window_ = CreateWindowExW(WS_EX_APPWINDOW, kMainClass, Text(request.title).c_str(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, area.right - area.left, area.bottom - area.top, nullptr, menu,
                                  GetModuleHandleW(nullptr), this);
        if (!window_) {
            DestroyMenu(menu);
            return false;
        }
        dc_ = GetDC(window_);
        if (win32::SetGlPixelFormat(dc_, request.colourBits, request.alphaBits, request.depthBits) ||
            !(context_ = wglCreateContext(dc_)) || !wglMakeCurrent(dc_, context_)) {
            DestroyMainWindow();
            return false;
        }
        return true;
    }

    void DestroyMainWindow() override {
        lists_.clear();
        picture_.reset();
        progress_.Hide();
        if (context_) {
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(context_);
        }
        if (dc_) ReleaseDC(window_, dc_);
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        dc_ = nullptr;
        context_ = nullptr;
    }
    bool MainWindowExists() override { return window_ != nullptr; }
    void ShowMainWindow() override {
        ShowWindow(window_, SW_SHOW);
        SetForegroundWindow(window_);
        SetFocus(window_);
    }
    Rect MainWindowRect() override {
        RECT r{};
        if (window_) GetWindowRect(window_, &r);
        return {r.left, r.top, r.right, r.bottom};
    }
    void SwapBuffers() override {
        if (dc_) ::SwapBuffers(dc_);
    }
    void SetMenuCheck(int id, bool checked) override {
        if (window_) CheckMenuItem(GetMenu(window_), static_cast<UINT>(id), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
    void* GlProcAddress(const char* name) override { return win32::WglProcAddress(name); }
    std::string WindowSystemExtensions() override {
        using Get = const char*(WINAPI*)(HDC);
        const auto get = reinterpret_cast<Get>(win32::WglProcAddress("wglGetExtensionsStringARB"));
        const char* text = get && dc_ ? get(dc_) : nullptr;
        return text ? text : "";
    }

    bool PeekWindowMessage(Message& out) override {
        Pump(true);
        if (queue_.empty()) return false;
        out = queue_.front();
        queue_.pop_front();
        return true;
    }
    void PostQuitMessage(int code) override { ::PostQuitMessage(code); }
    bool CloseRequested() override {
        Pump(false);
        for (const Message& m : queue_)
            if (m.kind == MessageKind::Close || m.kind == MessageKind::Quit) return true;
        return false;
    }
    void SetCursorVisible(bool visible) override {
        // ShowCursor counts; bring the count to the one side asked for.
        if (visible) {
            while (ShowCursor(TRUE) < 0) {}
        } else {
            while (ShowCursor(FALSE) >= 0) {}
        }
    }
    void SetCursorPosition(int screenX, int screenY) override {
        SetCursorPos(screenX, screenY);
        if (!window_) return;
        // The moves still waiting are superseded by one to the new place.
        MSG msg;
        while (PeekMessageW(&msg, window_, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) {}
        std::erase_if(queue_, [](const Message& m) { return m.kind == MessageKind::MouseMove; });
        POINT at{screenX, screenY};
        ScreenToClient(window_, &at);
        Message m;
        m.kind = MessageKind::MouseMove;
        m.x = at.x;
        m.y = at.y;
        m.leftButton = GetAsyncKeyState(VK_LBUTTON) & 0x8000;
        m.shift = GetKeyState(VK_SHIFT) & 0x8000;
        m.control = GetKeyState(VK_CONTROL) & 0x8000;
        queue_.push_back(m);
    }
    void CaptureMouse(bool capture) override {
        if (!window_) return;
        if (capture) {
            SetCapture(window_);
            // Held inside the view while flying, as the design's capture keeps it.
            RECT client;
            GetClientRect(window_, &client);
            MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
            ClipCursor(&client);
        } else {
            ClipCursor(nullptr);
            if (GetCapture() == window_) ReleaseCapture();
        }
    }
    // Held now, and its press seen by one of our windows (not yet released
    // there).
    bool KeyDownNow(int key) override {
        return key >= 0 && key <= 0xFF && down_[static_cast<std::size_t>(key)] && (GetAsyncKeyState(key) & 0x8000);
    }
    // Presses seen in any of our windows since the last query, or the
    // system's own record of them (which Wine does not keep).
    bool KeyPressedSinceLastQuery(int key) override {
        if (key < 0 || key > 0xFF) return false;
        const bool pressed = pressed_[static_cast<std::size_t>(key)] || (GetAsyncKeyState(key) & 1);
        pressed_[static_cast<std::size_t>(key)] = false;
        return pressed;
    }

    bool AskText(const std::string& title, const std::string& prompt, std::string& text) override {
        return win32::RunTextPrompt(window_, title, prompt, text);
    }
    bool AskForm(const FormRequest& request, std::vector<std::string>& texts) override {
        return win32::RunForm(window_, request, texts);
    }
    std::string ClipboardText() override { return win32::ReadClipboard(); }
    void SetClipboardText(const std::string& text) override { win32::WriteClipboard(text); }
    void SetMainWindowTitle(const std::string& title) override {
        if (window_) SetWindowTextW(window_, Text(title).c_str());
    }
    bool ShowProgress(const std::string& text, float done) override { return progress_.Show(window_, text, done); }
    void HideProgress() override { progress_.Hide(); }
    void ShowList(ListKind kind, const std::string& title, ListSource& source) override {
        lists_.erase(kind);
        lists_[kind] = std::make_unique<win32::ListWindow>(window_, title, source, [this, kind](int row, int action) {
            Message m;
            m.kind = MessageKind::ListChoice;
            m.list = kind;
            m.row = row;
            m.command = action;
            queue_.push_back(m);
        });
    }
    void RefreshList(ListKind kind) override {
        if (auto it = lists_.find(kind); it != lists_.end()) it->second->Refresh();
    }
    void CloseList(ListKind kind) override { lists_.erase(kind); }
    void ShowPicture(const PictureRequest& request) override {
        picture_.reset();
        picture_ = std::make_unique<win32::PictureWindow>(window_, request, [this](int command) {
            Message m;
            m.kind = MessageKind::Command;
            m.command = command;
            queue_.push_back(m);
        });
    }
    void ClosePicture() override { picture_.reset(); }
    bool PictureShown() override { return picture_ && picture_->Shown(); }
    bool ListShown(ListKind kind) override {
        const auto it = lists_.find(kind);
        return it != lists_.end() && it->second->Shown();
    }

    bool RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) override {
        return fonts_.Rasterise(font, first, count, out);
    }
    bool MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) override {
        return fonts_.Measure(font, text, width, height);
    }

private:
    static std::wstring Windows(const std::string& path) {
        std::wstring w = Wide(path);
        for (wchar_t& c : w)
            if (c == L'/') c = L'\\';
        return w;
    }
    // The common open or save dialog; name holds the chosen path afterwards.
    bool RunFileDialog(bool save, const FileFilter& filter, const std::string& folder, const std::string& title,
                       DWORD flags, std::wstring& name) {
        const std::wstring filters = Filters(filter), start = Windows(folder), caption = Text(title);
        name.resize(32768, L'\0');
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = window_;
        dialog.lpstrFilter = filters.c_str();
        dialog.lpstrFile = name.data();
        dialog.nMaxFile = static_cast<DWORD>(name.size());
        dialog.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
        dialog.lpstrTitle = caption.c_str();
        dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | flags;
        return save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    }
    static std::wstring Filters(const FileFilter& filter) {
        std::wstring f = Text(filter.description);
        f += L'\0';
        f += Wide(filter.pattern);
        f += L'\0';
        f += L"All files";
        f += L'\0';
        f += L"*.*";
        f += L'\0';
        return f;  // and the terminating empty pair through c_str()
    }

    // Dispatches what Windows has queued into our queue; with wait set,
    // returns as soon as one message of ours is there.
    void Pump(bool stopAtFirst) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                Message m;
                m.kind = MessageKind::Quit;
                m.quitCode = static_cast<int>(msg.wParam);
                queue_.push_back(m);
                return;
            }
            const std::size_t key = msg.wParam & 0xFF;
            if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
                pressed_[key] = true;
                // Alt+F4 is one Close message, from whichever of our windows
                // has the focus (the main window's comes through WM_CLOSE);
                // the quit chord must not see it again. Had the chord shown
                // its question with the press still queued, the box would
                // take the press as its own Alt+F4 and answer Cancel.
                const bool altF4 = msg.message == WM_SYSKEYDOWN && key == VK_F4;
                if (altF4 && msg.hwnd != window_ && !(msg.lParam & (1 << 30))) Post(MessageKind::Close);
                down_[key] = !altF4;
            }
            if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP) down_[key] = false;
            // Tab, Return and the buttons of the modeless windows.
            bool handled = info_.Exists() && IsDialogMessageW(info_.Handle(), &msg);
            for (const auto& [kind, list] : lists_)
                if (!handled && list->Shown() && IsDialogMessageW(list->Handle(), &msg)) handled = true;
            if (!handled) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (stopAtFirst && !queue_.empty()) return;
        }
    }

    void Post(MessageKind kind) {
        Message m;
        m.kind = kind;
        queue_.push_back(m);
    }

    LRESULT Handle(UINT message, WPARAM w, LPARAM l) {
        Message m;
        switch (message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
            m.kind = message == WM_KEYDOWN ? MessageKind::KeyDown : MessageKind::KeyUp;
            m.key = static_cast<int>(w & 0xFF);
            m.repeat = message == WM_KEYDOWN && (l & (1 << 30));
            queue_.push_back(m);
            return 0;
        case WM_SYSKEYDOWN:
            // Alt is told (flying mode lets go of the pointer); the rest of
            // the system keys go to the menu and Alt+F4, whose repeats would
            // each ask again to close.
            if (w == VK_F4 && (l & (1 << 30))) return 0;
            if (w == VK_MENU && !(l & (1 << 30))) {
                m.kind = MessageKind::KeyDown;
                m.key = vk::kMenu;
                queue_.push_back(m);
            }
            break;
        case WM_SYSKEYUP:
            if (w != VK_MENU && w != VK_F10) {
                m.kind = MessageKind::KeyUp;
                m.key = static_cast<int>(w & 0xFF);
                queue_.push_back(m);
            }
            break;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            m.kind = message == WM_MOUSEMOVE     ? MessageKind::MouseMove
                     : message == WM_LBUTTONDOWN ? MessageKind::LButtonDown
                                                 : MessageKind::LButtonUp;
            m.x = GET_X_LPARAM(l);
            m.y = GET_Y_LPARAM(l);
            m.leftButton = w & MK_LBUTTON;
            m.shift = w & MK_SHIFT;
            m.control = w & MK_CONTROL;
            queue_.push_back(m);
            return 0;
        case WM_SIZE:
            if (w == SIZE_MINIMIZED) break;
            m.kind = MessageKind::Size;
            m.width = LOWORD(l);
            m.height = HIWORD(l);
            queue_.push_back(m);
            return 0;
        case WM_SETFOCUS:
            Post(MessageKind::SetFocus);
            return 0;
        case WM_KILLFOCUS:
            Post(MessageKind::KillFocus);
            return 0;
        case WM_ACTIVATE:
            m.kind = MessageKind::Activate;
            m.minimised = HIWORD(w) != 0;
            queue_.push_back(m);
            return 0;
        case WM_CLOSE:
            Post(MessageKind::Close);
            return 0;
        case WM_COMMAND:
            if (HIWORD(w) == 0 && l == 0) {
                m.kind = MessageKind::Command;
                m.command = LOWORD(w);
                queue_.push_back(m);
                return 0;
            }
            break;
        case WM_SYSCOMMAND:
            // No screen saver or monitor power-down over the view.
            if ((w & 0xFFF0) == SC_SCREENSAVE || (w & 0xFFF0) == SC_MONITORPOWER) return 0;
            break;
        case WM_ERASEBKGND:
            return 1;  // the frame covers it
        }
        return DefWindowProcW(window_, message, w, l);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (message == WM_NCCREATE) {
            auto* self = static_cast<Win32Platform*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->window_ = window;
        }
        auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        return self && self->window_ == window ? self->Handle(message, w, l) : DefWindowProcW(window, message, w, l);
    }

    HWND window_ = nullptr;
    HDC dc_ = nullptr;
    HGLRC context_ = nullptr;
    std::deque<Message> queue_;
    // Key presses seen by Pump in any of our windows: pressed_ until the
    // quit chord's query reads it, down_ until the key's release.
    std::array<bool, 256> pressed_{};
    std::array<bool, 256> down_{};
    win32::InfoWindow info_;
    win32::ProgressWindow progress_;
    std::map<ListKind, std::unique_ptr<win32::ListWindow>> lists_;
    std::unique_ptr<win32::PictureWindow> picture_;
    FontRasteriser fonts_;
};

// Windows always has its window system.
std::unique_ptr<Platform> CreateWindowPlatform(std::string& whyNot) {
    whyNot.clear();
    return std::make_unique<Win32Platform>();
}

}  // namespace platform
