#include "platform/win32/win32_tools.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/text_encoding.h"

namespace platform::win32 {

namespace {

const wchar_t kPromptClass[] = L"WildviewPrompt";
const wchar_t kListClass[] = L"WildviewList";
const wchar_t kProgressClass[] = L"WildviewProgress";
const wchar_t kFormClass[] = L"WildviewForm";
const wchar_t kPictureClass[] = L"WildviewPicture";
constexpr int kFilterId = 101, kListId = 102;

std::wstring Text(const std::string& ansiOrUtf8) { return Wide(ToUtf8(ansiOrUtf8)); }

HFONT GuiFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    HWND h = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), TRUE);
    return h;
}

// A window of its own class, centred on the owner, its object in user data.
HWND TopLevel(const wchar_t* cls, const std::string& title, DWORD style, int w, int h, HWND owner, void* self) {
    RECT area{0, 0, w, h};
    AdjustWindowRectEx(&area, style, FALSE, 0);
    const int ow = area.right - area.left, oh = area.bottom - area.top;
    RECT at{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner) GetWindowRect(owner, &at);
    return CreateWindowExW(0, cls, Text(title).c_str(), style, at.left + (at.right - at.left - ow) / 2,
                           at.top + (at.bottom - at.top - oh) / 2, ow, oh, owner, nullptr, GetModuleHandleW(nullptr),
                           self);
}

template <class T>
T* Self(HWND window, UINT message, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

struct PromptState {
    HWND edit = nullptr;
    bool done = false, ok = false;
    std::string text;
};

LRESULT CALLBACK PromptProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* state = Self<PromptState>(window, message, l);
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
            state->ok = LOWORD(w) == IDOK;
            if (state->ok) {
                std::wstring typed(static_cast<std::size_t>(GetWindowTextLengthW(state->edit)) + 1, L'\0');
                typed.resize(static_cast<std::size_t>(GetWindowTextW(state->edit, typed.data(), static_cast<int>(typed.size()))));
                state->text = Utf8(typed);
            }
            state->done = true;
            return 0;
        }
        break;
    case WM_CLOSE:
        state->done = true;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

struct FormState {
    const FormRequest* request = nullptr;
    HWND window = nullptr;
    std::vector<HWND> edits;
    bool done = false, ok = false;
    std::vector<std::string> taken;  // what OK took, kept past the window

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (HWND edit : edits) {
            std::wstring typed(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            typed.resize(static_cast<std::size_t>(GetWindowTextW(edit, typed.data(), static_cast<int>(typed.size()))));
            out.push_back(Utf8(typed));
        }
        return out;
    }
    // Says why in a box over the form; true when there was nothing to say.
    bool Say(const std::string& why) const {
        if (why.empty()) return true;
        MessageBoxW(window, Text(why).c_str(), Text(request->title).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
};

constexpr int kFormFieldId = 200, kFormButtonId = 300;

LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* state = Self<FormState>(window, message, l);
    if (message == WM_CLOSE) {
        state->done = true;
        return 0;
    }
    if (message != WM_COMMAND) return DefWindowProcW(window, message, w, l);
    const int id = LOWORD(w);
    if (id == IDCANCEL) {
        state->done = true;
    } else if (id == IDOK) {
        const FormRequest& r = *state->request;
        std::vector<std::string> texts = state->Texts();
        if (state->Say(r.check ? r.check(texts) : std::string())) {
            state->taken = std::move(texts);
            state->ok = state->done = true;
        }
    } else if (id >= kFormButtonId && id < kFormButtonId + static_cast<int>(state->request->buttons.size()) &&
               HIWORD(w) == BN_CLICKED) {
        const FormRequest& r = *state->request;
        std::vector<std::string> changed = state->Texts();
        if (state->Say(r.buttons[static_cast<std::size_t>(id - kFormButtonId)].press(changed)) &&
            changed.size() == state->edits.size())
            for (std::size_t k = 0; k < changed.size(); ++k)
                if (!r.fields[k].readOnly) SetWindowTextW(state->edits[k], Text(changed[k]).c_str());
    }
    return 0;
}

// Runs a modal window's own loop until done, the keys in the field given,
// its text all selected so that typing replaces it; a quit asked meanwhile
// is passed on to the main loop.
void RunModal(HWND window, HWND owner, HWND field, const bool& done) {
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOWNORMAL);
    if (field) {
        SetFocus(field);
        SendMessageW(field, EM_SETSEL, 0, -1);
    }
    MSG msg;
    bool quit = false;
    int quitCode = 0;
    while (!done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        // Return and Escape answer OK and Cancel, Tab moves between fields.
        if (!IsDialogMessageW(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (owner) EnableWindow(owner, TRUE);
    DestroyWindow(window);
    if (owner) SetForegroundWindow(owner);
    if (quit) PostQuitMessage(quitCode);  // the main loop ends as asked
}

}  // namespace

void RegisterToolClasses() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        const struct {
            const wchar_t* name;
            WNDPROC procedure;
        } classes[] = {{kPromptClass, PromptProcedure},
                       {kListClass, &ListWindow::Procedure},
                       {kProgressClass, &ProgressWindow::Procedure},
                       {kFormClass, FormProcedure},
                       {kPictureClass, &PictureWindow::Procedure}};
        for (const auto& c : classes) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = c.procedure;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
            wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
            wc.lpszClassName = c.name;
            RegisterClassW(&wc);
        }
        return true;
    }();
    (void)registered;
}

// ---- the info dialog ------------------------------------------------------

namespace {

// The design's dialog resource, built in memory: caption "Dialog", 380 x 238
// dialog units in 8-point "MS Sans Serif", a default "Close" button (id 1)
// and the text box (id 1003).
constexpr WORD kCloseId = 1, kTextId = 1003;

std::vector<WORD> InfoTemplate() {
    std::vector<WORD> t;
    const auto dword = [&](DWORD v) {
        t.push_back(LOWORD(v));
        t.push_back(HIWORD(v));
    };
    const auto text = [&](const wchar_t* s) {
        do t.push_back(static_cast<WORD>(*s)); while (*s++);
    };
    const auto item = [&](DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom, const wchar_t* title) {
        if (t.size() % 2) t.push_back(0);  // items start on a DWORD
        dword(style | WS_CHILD | WS_VISIBLE);
        dword(0);
        for (short v : {x, y, cx, cy}) t.push_back(static_cast<WORD>(v));
        t.push_back(id);
        t.push_back(0xFFFF);
        t.push_back(atom);
        text(title);
        t.push_back(0);  // no creation data
    };
    dword(DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME);
    dword(0);
    t.push_back(2);  // items
    for (short v : {0, 0, 380, 238}) t.push_back(static_cast<WORD>(v));
    t.push_back(0);  // no menu
    t.push_back(0);  // the dialog class
    text(L"Dialog");
    t.push_back(8);
    text(L"MS Sans Serif");
    item(BS_DEFPUSHBUTTON | WS_TABSTOP, 323, 217, 50, 14, kCloseId, 0x0080, L"Close");
    item(ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | WS_BORDER | WS_VSCROLL | WS_HSCROLL |
             WS_TABSTOP,
         7, 7, 366, 191, kTextId, 0x0081, L"");
    return t;
}

}  // namespace

InfoWindow::~InfoWindow() {
    if (Exists()) DestroyWindow(window_);
}

void InfoWindow::Create(HWND owner) {
    if (Exists()) return;
    static const std::vector<WORD> resource = InfoTemplate();
    window_ = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(resource.data()),
                                         owner, &InfoWindow::Procedure, reinterpret_cast<LPARAM>(this));
    if (!window_) return;
    edit_ = GetDlgItem(window_, kTextId);
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);  // no 32 KB cap on long reports
    text_.clear();
    ShowWindow(window_, SW_SHOWNORMAL);
}

void InfoWindow::SetText(const std::string& text) {
    if (!Exists()) return;
    text_ = text;
    SetWindowTextW(edit_, Text(text).c_str());
}

void InfoWindow::InsertAtCaret(const std::string& text) {
    if (!Exists()) return;
    text_ += text;
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Text(text).c_str()));
}

void InfoWindow::ScrollToCaret(std::size_t position) {
    if (!Exists()) return;
    const std::size_t at = Text(text_.substr(0, std::min(position, text_.size()))).size();
    SendMessageW(edit_, EM_SETSEL, at, at);
    SendMessageW(edit_, EM_SCROLLCARET, 0, 0);
}

// Close (or Enter on it) ends the dialog; the rest is the default dialog
// handling, as the design has it.
INT_PTR CALLBACK InfoWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, l);
        return TRUE;
    }
    auto* self = reinterpret_cast<InfoWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    // Escape and the title bar's close box come as IDCANCEL.
    if (message == WM_COMMAND && (LOWORD(w) == kCloseId || LOWORD(w) == IDCANCEL)) {
        DestroyWindow(window);
        if (self) self->window_ = self->edit_ = nullptr;
        return TRUE;
    }
    return FALSE;
}

// ---- the text prompt --------------------------------------------------------

bool RunTextPrompt(HWND owner, const std::string& title, const std::string& prompt, std::string& text) {
    RegisterToolClasses();
    constexpr int kW = 360, kH = 110, kM = 10;
    PromptState state;
    HWND window = TopLevel(kPromptClass, title, WS_POPUP | WS_CAPTION | WS_SYSMENU, kW, kH, owner, &state);
    if (!window) return false;
    HWND label = Child(window, L"STATIC", Text(prompt).c_str(), SS_LEFT, 1);
    MoveWindow(label, kM, kM, kW - 2 * kM, 20, FALSE);
    state.edit = Child(window, L"EDIT", Text(text).c_str(), WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 2);
    MoveWindow(state.edit, kM, kM + 24, kW - 2 * kM, 23, FALSE);
    HWND ok = Child(window, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    MoveWindow(ok, kW - 2 * (90 + kM), kH - kM - 25, 90, 25, FALSE);
    HWND cancel = Child(window, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
    MoveWindow(cancel, kW - 90 - kM, kH - kM - 25, 90, 25, FALSE);
    RunModal(window, owner, state.edit, state.done);
    if (state.ok) text = state.text;
    return state.ok;
}

// ---- the form ------------------------------------------------------------------

bool RunForm(HWND owner, const FormRequest& request, std::vector<std::string>& texts) {
    RegisterToolClasses();
    constexpr int kM = 10, kLabel = 120, kField = 220, kRow = 30, kButton = 80, kGap = 6;
    const int fields = static_cast<int>(request.fields.size());
    const int buttons = static_cast<int>(request.buttons.size()) + 2;
    const int w = std::max(kM + kLabel + kField + kM, kM + buttons * (kButton + kGap) - kGap + kM);
    const int h = kM + fields * kRow + kGap + 25 + kM;
    FormState state;
    state.request = &request;
    HWND window = TopLevel(kFormClass, request.title, WS_POPUP | WS_CAPTION | WS_SYSMENU, w, h, owner, &state);
    if (!window) return false;
    state.window = window;
    for (int k = 0; k < fields; ++k) {
        const FormField& f = request.fields[static_cast<std::size_t>(k)];
        HWND label = Child(window, L"STATIC", Text(f.label).c_str(), SS_LEFT, 1);
        MoveWindow(label, kM, kM + k * kRow + 3, kLabel - kGap, 20, FALSE);
        HWND edit = Child(window, L"EDIT", Text(f.text).c_str(),
                          WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | (f.readOnly ? ES_READONLY : 0), kFormFieldId + k);
        MoveWindow(edit, kM + kLabel, kM + k * kRow, w - kM - kLabel - kM, 23, FALSE);
        state.edits.push_back(edit);
    }
    const int y = h - kM - 25;
    for (std::size_t b = 0; b < request.buttons.size(); ++b) {
        HWND button = Child(window, L"BUTTON", Text(request.buttons[b].label).c_str(), WS_TABSTOP | BS_PUSHBUTTON,
                            kFormButtonId + static_cast<int>(b));
        MoveWindow(button, kM + static_cast<int>(b) * (kButton + kGap), y, kButton, 25, FALSE);
    }
    HWND ok = Child(window, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    MoveWindow(ok, w - 2 * (kButton + kGap) - kM + kGap, y, kButton, 25, FALSE);
    HWND cancel = Child(window, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
    MoveWindow(cancel, w - kButton - kM, y, kButton, 25, FALSE);
    RunModal(window, owner, state.edits.empty() ? nullptr : state.edits[0], state.done);
    if (state.ok) texts = state.taken;
    return state.ok;
}

// ---- the clipboard -------------------------------------------------------------

namespace {

// The clipboard's data needs an owner that outlives it: a message-only
// window of the process, made on first use.
HWND ClipboardOwner() {
    static const HWND owner =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    return owner;
}

}  // namespace

std::string ReadClipboard() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(ClipboardOwner())) return {};
    std::string out;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT))
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            out = Utf8(text);
            GlobalUnlock(data);
        }
    CloseClipboard();
    return out;
}

void WriteClipboard(const std::string& text) {
    const std::wstring wide = Text(text);
    HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
    if (!data) return;
    if (auto* to = static_cast<wchar_t*>(GlobalLock(data))) {
        std::copy(wide.c_str(), wide.c_str() + wide.size() + 1, to);
        GlobalUnlock(data);
    }
    if (!OpenClipboard(ClipboardOwner())) {
        GlobalFree(data);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, data)) GlobalFree(data);  // the system owns it once set
    CloseClipboard();
}

// ---- the list windows -------------------------------------------------------

ListWindow::ListWindow(HWND owner, const std::string& title, ListSource& source, Choose choose)
    : source_(source), choose_(std::move(choose)) {
    RegisterToolClasses();
    window_ = TopLevel(kListClass, title, WS_OVERLAPPEDWINDOW, 520, 420, owner, this);
    filter_ = Child(window_, L"EDIT", L"", WS_BORDER | ES_AUTOHSCROLL, kFilterId);
    list_ = Child(window_, WC_LISTVIEWW, L"",
                  WS_BORDER | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kListId);
    ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
    if (source_.HasThumbnails()) {
        // The small images' height sets the rows'; picture 0 stays empty.
        images_ = ImageList_Create(32, 32, ILC_COLOR32, 64, 64);
        HDC screen = GetDC(nullptr);
        HBITMAP blank = CreateCompatibleBitmap(screen, 32, 32);
        ReleaseDC(nullptr, screen);
        ImageList_Add(images_, blank, nullptr);
        DeleteObject(blank);
        ListView_SetImageList(list_, images_, LVSIL_SMALL);
    }
    const std::vector<std::string> columns = source_.Columns();
    for (std::size_t c = 0; c < columns.size(); ++c) {
        std::wstring name = Text(columns[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = name.data();
        column.cx = c == 0 ? 200 : 90;
        // The W message by name: the macro sends the ANSI one in this build.
        SendMessageW(list_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    Layout();
    Refresh();
    ShowWindow(window_, SW_SHOWNORMAL);
}

ListWindow::~ListWindow() {
    if (Shown()) DestroyWindow(window_);
    if (images_) ImageList_Destroy(images_);
}

int ListWindow::ThumbnailImage(std::size_t row) {
    const std::string key = source_.Cell(row, 0);
    if (const auto it = imageOf_.find(key); it != imageOf_.end()) return it->second;
    Image thumb;
    int index = 0;
    if (source_.Thumbnail(row, thumb) && thumb.width > 0 && thumb.height > 0 && thumb.width <= 32 &&
        thumb.height <= 32 && thumb.rgba.size() >= static_cast<std::size_t>(thumb.width) * thumb.height * 4) {
        // Centred on grey, clear texels showing it, as a top-down DIB.
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 32;
        info.bmiHeader.biHeight = -32;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap && bits) {
            auto* out = static_cast<std::uint8_t*>(bits);
            std::fill(out, out + 32 * 32 * 4, std::uint8_t{255});
            const int x0 = (32 - thumb.width) / 2, y0 = (32 - thumb.height) / 2;
            for (int y = 0; y < thumb.height; ++y)
                for (int x = 0; x < thumb.width; ++x) {
                    const std::uint8_t* t = &thumb.rgba[(static_cast<std::size_t>(y) * thumb.width + x) * 4];
                    std::uint8_t* o = &out[(static_cast<std::size_t>(y + y0) * 32 + x + x0) * 4];
                    for (int c = 0; c < 3; ++c) o[2 - c] = static_cast<std::uint8_t>((t[c] * t[3] + 170 * (255 - t[3])) / 255);
                    o[3] = 255;
                }
            index = ImageList_Add(images_, bitmap, nullptr);
            if (index < 0) index = 0;
        }
        if (bitmap) DeleteObject(bitmap);
    }
    imageOf_[key] = index;
    return index;
}

void ListWindow::Refresh() {
    if (!Shown()) return;
    ListView_SetItemCountEx(list_, static_cast<int>(source_.Rows()), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, TRUE);
}

void ListWindow::Layout() {
    RECT client;
    GetClientRect(window_, &client);
    MoveWindow(filter_, 4, 4, client.right - 8, 22, TRUE);
    MoveWindow(list_, 0, 30, client.right, std::max(0L, client.bottom - 30), TRUE);
}

LRESULT ListWindow::Notify(const NMHDR& header) {
    if (header.idFrom != kListId) return 0;
    switch (header.code) {
    case LVN_GETDISPINFOW: {
        auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
        if ((info.item.mask & LVIF_TEXT) && info.item.iItem >= 0 &&
            static_cast<std::size_t>(info.item.iItem) < source_.Rows()) {
            cell_ = Text(source_.Cell(static_cast<std::size_t>(info.item.iItem), static_cast<std::size_t>(info.item.iSubItem)));
            lstrcpynW(info.item.pszText, cell_.c_str(), info.item.cchTextMax);
        }
        if ((info.item.mask & LVIF_IMAGE) && images_ && info.item.iSubItem == 0 && info.item.iItem >= 0 &&
            static_cast<std::size_t>(info.item.iItem) < source_.Rows())
            info.item.iImage = ThumbnailImage(static_cast<std::size_t>(info.item.iItem));
        return 0;
    }
    case LVN_COLUMNCLICK: {
        const auto column = static_cast<std::size_t>(reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
        ascending_ = column == sortColumn_ ? !ascending_ : true;
        sortColumn_ = column;
        source_.SortBy(column, ascending_);
        Refresh();
        return 0;
    }
    case LVN_ITEMACTIVATE: {
        const int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
        if (row >= 0) choose_(row, kListActivate);
        return 0;
    }
    case LVN_KEYDOWN:
        if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) {
            const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
            if (row >= 0) choose_(row, kListDelete);
        }
        return 0;
    }
    return 0;
}

LRESULT CALLBACK ListWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = Self<ListWindow>(window, message, l);
    if (!self) return DefWindowProcW(window, message, w, l);
    switch (message) {
    case WM_SIZE:
        if (self->list_) self->Layout();
        return 0;
    case WM_NOTIFY:
        return self->Notify(*reinterpret_cast<const NMHDR*>(l));
    case WM_COMMAND:
        if (LOWORD(w) == kFilterId && HIWORD(w) == EN_CHANGE) {
            std::wstring typed(static_cast<std::size_t>(GetWindowTextLengthW(self->filter_)) + 1, L'\0');
            typed.resize(static_cast<std::size_t>(GetWindowTextW(self->filter_, typed.data(), static_cast<int>(typed.size()))));
            self->source_.SetFilter(Utf8(typed));
            self->Refresh();
            return 0;
        }
        if (LOWORD(w) == IDCANCEL) {  // Escape, as the pump's dialog handling sends it
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        self->window_ = self->filter_ = self->list_ = nullptr;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

// ---- progress -----------------------------------------------------------------

ProgressWindow::~ProgressWindow() { Hide(); }

LRESULT CALLBACK ProgressWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = Self<ProgressWindow>(window, message, l);
    // The window itself goes when the job is done: closing it asks the job
    // to stop, as Cancel does.
    if ((message == WM_COMMAND && LOWORD(w) == IDCANCEL) || message == WM_CLOSE) {
        if (self) self->cancelled_ = true;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

bool ProgressWindow::Show(HWND owner, const std::string& text, float done) {
    RegisterToolClasses();
    if (!window_) {
        cancelled_ = false;
        window_ = TopLevel(kProgressClass, "Wildview", WS_POPUP | WS_CAPTION | WS_SYSMENU, 320, 96, owner, this);
        label_ = Child(window_, L"STATIC", L"", SS_LEFT, 1);
        MoveWindow(label_, 10, 8, 300, 18, FALSE);
        bar_ = Child(window_, PROGRESS_CLASSW, L"", 0, 2);
        MoveWindow(bar_, 10, 32, 300, 20, FALSE);
        SendMessageW(bar_, PBM_SETRANGE32, 0, 1000);
        cancel_ = Child(window_, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL);
        MoveWindow(cancel_, 230, 62, 80, 26, FALSE);
        ShowWindow(window_, SW_SHOW);
        SetFocus(cancel_);
    }
    SetWindowTextW(label_, Text(text).c_str());
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(std::clamp(done, 0.0f, 1.0f) * 1000.0f), 0);
    // The job holds the thread: the window draws itself and takes its
    // clicks and keys now (the dialog manager makes Escape a Cancel).
    UpdateWindow(window_);
    MSG msg;
    while (window_ && PeekMessageW(&msg, window_, 0, 0, PM_REMOVE))
        if (!IsDialogMessageW(window_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    return !cancelled_;
}

void ProgressWindow::Hide() {
    if (window_) DestroyWindow(window_);
    window_ = label_ = bar_ = cancel_ = nullptr;
}

// ---- the picture window ----------------------------------------------------------

namespace {
constexpr int kPictureView = 512, kPictureMargin = 8, kPictureButtonId = 500;
}  // namespace

PictureWindow::PictureWindow(HWND owner, const PictureRequest& request, std::function<void(int command)> post)
    : request_(request), post_(std::move(post)) {
    RegisterToolClasses();
    const Image& image = request_.image;
    FitPicture(image.width, image.height, kPictureView, shownW_, shownH_);
    if (image.rgba.size() >= static_cast<std::size_t>(image.width) * image.height * 4) {
        bgra_.resize(static_cast<std::size_t>(image.width) * image.height * 4);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const std::size_t k = (static_cast<std::size_t>(y) * image.width + x) * 4;
                const int checker = ((x / 4 + y / 4) % 2) ? 200 : 150;
                for (int c = 0; c < 3; ++c)
                    bgra_[k + 2 - c] =
                        static_cast<std::uint8_t>((image.rgba[k + c] * image.rgba[k + 3] + checker * (255 - image.rgba[k + 3])) / 255);
                bgra_[k + 3] = 255;
            }
    }
    constexpr int kRow = 25, kButton = 120, kM = kPictureMargin;
    const int w = kPictureView + 2 * kM, h = kPictureView + 3 * kM + kRow;
    window_ = TopLevel(kPictureClass, request_.title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, w, h, owner, this);
    if (!window_) return;
    // Beside the main window where the screen has room, else over its right
    // edge: the view stays in sight to show the marks.
    RECT at{}, mine{};
    if (owner && GetWindowRect(owner, &at) && GetWindowRect(window_, &mine)) {
        const int width = mine.right - mine.left;
        const int x = std::max(0, std::min(static_cast<int>(at.right) + 10, GetSystemMetrics(SM_CXSCREEN) - width));
        SetWindowPos(window_, nullptr, x, at.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const int buttons = static_cast<int>(request_.buttons.size());
    label_ = Child(window_, L"STATIC", L"", SS_LEFT | SS_CENTERIMAGE, 1);
    MoveWindow(label_, kM, h - kM - kRow, w - 2 * kM - buttons * (kButton + kM), kRow, FALSE);
    for (int b = 0; b < buttons; ++b) {
        HWND button = Child(window_, L"BUTTON", Text(request_.buttons[static_cast<std::size_t>(b)].label).c_str(),
                            WS_TABSTOP | BS_PUSHBUTTON, kPictureButtonId + b);
        MoveWindow(button, w - (buttons - b) * (kButton + kM), h - kM - kRow, kButton, kRow, FALSE);
    }
    Describe(-1, -1);
    ShowWindow(window_, SW_SHOWNORMAL);
}

PictureWindow::~PictureWindow() {
    if (Shown()) DestroyWindow(window_);
}

void PictureWindow::Describe(int x, int y) {
    const int left = kPictureMargin + (kPictureView - shownW_) / 2, top = kPictureMargin + (kPictureView - shownH_) / 2;
    const int px = x - left, py = y - top;
    const bool inside = x >= 0 && px >= 0 && py >= 0 && px < shownW_ && py < shownH_ && request_.describe;
    line_ = inside ? request_.describe(px * request_.image.width / shownW_, py * request_.image.height / shownH_)
                   : std::string("Point at the picture to read its texels");
    if (label_) SetWindowTextW(label_, Text(line_).c_str());
}

LRESULT CALLBACK PictureWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    auto* self = Self<PictureWindow>(window, message, l);
    if (!self) return DefWindowProcW(window, message, w, l);
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const Image& image = self->request_.image;
        if (!self->bgra_.empty()) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = image.width;
            info.bmiHeader.biHeight = -image.height;  // top-down
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            info.bmiHeader.biCompression = BI_RGB;
            SetStretchBltMode(dc, COLORONCOLOR);  // whole texels, no blending
            StretchDIBits(dc, kPictureMargin + (kPictureView - self->shownW_) / 2,
                          kPictureMargin + (kPictureView - self->shownH_) / 2, self->shownW_, self->shownH_, 0, 0,
                          image.width, image.height, self->bgra_.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        }
        EndPaint(window, &paint);
        return 0;
    }
    case WM_MOUSEMOVE: self->Describe(static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))); return 0;
    case WM_COMMAND: {
        const int id = LOWORD(w) - kPictureButtonId;
        if (id >= 0 && id < static_cast<int>(self->request_.buttons.size()) && self->post_)
            self->post_(self->request_.buttons[static_cast<std::size_t>(id)].command);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        self->window_ = nullptr;
        self->label_ = nullptr;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace platform::win32
