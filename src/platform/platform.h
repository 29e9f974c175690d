// The window-system contract: every call the rest of Wildview may make on
// the operating system's user interface and services goes through here.
//
// Implementations: the console platform (no window: debug output on
// standard error, the monotonic clock, boxes answered with their default),
// the scripted platform for tests (queued answers, captured output, messages
// fed by the test), and the FLTK platform of the viewer (src/platform/fltk/).
// A new platform is one more implementation of this class; nothing outside
// src/platform/ includes a toolkit header.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Message box buttons and icons, as the callers ask for them.
enum class Buttons { Ok, RetryCancel, YesNo, YesNoCancel };
enum class Icon { None, Exclamation, Information, Warning };
enum class Answer { Ok, Retry, Cancel, Yes, No };
// A box's answer where nobody can answer it: the one that changes nothing.
inline Answer UnansweredBox(Buttons buttons) {
    return buttons == Buttons::RetryCancel ? Answer::Cancel : buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

// Who owns a modal box: nobody (before the window exists) or the main window.
enum class Owner { None, MainWindow };

// Windows virtual-key codes: the key table is indexed by them. Letters and
// digits are their upper-case ASCII codes ('A', '5').
namespace vk {
constexpr int kBack = 0x08, kTab = 0x09, kReturn = 0x0D, kShift = 0x10, kControl = 0x11, kMenu = 0x12,
              kPause = 0x13, kCapital = 0x14, kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21, kNext = 0x22,
              kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28, kInsert = 0x2D,
              kDelete = 0x2E, kF1 = 0x70, kF4 = 0x73, kF12 = 0x7B;
}  // namespace vk

// The kinds of window message the viewer handles, with their parameters.
enum class MessageKind {
    KeyDown,      // key; repeat when the keyboard's auto-repeat sent it
    KeyUp,        // key
    MouseMove,    // x, y (client pixels, y down); leftButton, shift, control held
    LButtonDown,  // x, y; shift, control
    LButtonUp,    // x, y
    Size,         // width, height of the client area
    SetFocus,
    KillFocus,
    Activate,     // minimised
    Close,        // the user asked to close the window
    Command,      // command: a menu item's id
    Quit,         // quitCode; the main loop ends
    ListChoice,   // a row of a list window chosen: list, row, command (a ListAction)
};

// The program's list windows and what a row can be chosen for.
enum class ListKind { Objects = 1, Bookmarks = 2, Textures = 3 };
enum ListAction { kListActivate = 1, kListDelete = 2 };

struct Message {
    MessageKind kind = MessageKind::KeyDown;
    int key = 0;
    bool repeat = false;
    int x = 0, y = 0;
    bool leftButton = false, shift = false, control = false;
    int width = 0, height = 0;
    bool minimised = false;
    int command = 0;
    int quitCode = 0;
    ListKind list = ListKind::Objects;
    int row = -1;
};

// A picture: RGBA, 4 bytes a pixel, rows top to bottom.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};

// What a list window shows: rows asked for as they are drawn, so that tens
// of thousands cost nothing until seen. The filter and the sort change the
// rows; the owner tells the window when its rows changed otherwise.
class ListSource {
public:
    virtual ~ListSource() = default;
    virtual std::vector<std::string> Columns() = 0;
    virtual std::size_t Rows() = 0;
    virtual std::string Cell(std::size_t row, std::size_t column) = 0;
    virtual void SetFilter(const std::string& text) = 0;
    virtual void SortBy(std::size_t column, bool ascending) = 0;
    // A small picture drawn before the row's first column (at most 32 x 32),
    // asked for as the row is drawn; false for none. A list with pictures
    // has rows tall enough for them.
    virtual bool HasThumbnails() { return false; }
    virtual bool Thumbnail(std::size_t row, Image& out) {
        (void)row, (void)out;
        return false;
    }
};

// A modeless window that shows a picture, scaled to fit by whole pixels'
// blocks, with a line under it saying what lies under the pointer, and
// buttons that post their command (a Command message) to the main window.
struct PictureRequest {
    std::string title;
    Image image;
    // The text for picture pixel (x, y), x right, y down from the top left.
    std::function<std::string(int x, int y)> describe;
    struct Button {
        std::string label;
        int command = 0;
    };
    std::vector<Button> buttons;
};

// One entry of the window's menu bar: a submenu (children), a separator,
// or a command item with its id and initial check mark.
struct MenuItem {
    std::string label;  // '&' marks the keyboard mnemonic
    int id = 0;
    bool separator = false;
    bool checkable = false;
    bool checked = false;
    std::vector<MenuItem> children;
};

struct WindowRequest {
    std::string title;
    int clientWidth = 800, clientHeight = 600;  // the GL area, under the menu bar
    int colourBits = 32;
    int alphaBits = 8;
    int depthBits = 16;
    std::vector<MenuItem> menu;
};

// A window's outer rectangle in screen pixels.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// One open-file dialog filter: "SWP files" with "*.swp".
struct FileFilter {
    std::string description;
    std::string pattern;
};

// Where a configuration value came from, or why there is none.
enum class ConfigResult { Found, NoKey, NoValue };

// What a save dialog asks for.
struct SaveRequest {
    std::string initialDirectory, initialName, title;
    FileFilter filter;
    // A name that ends in none of these gets the first (".grf").
    std::vector<std::string> extensions;
    // Why a path cannot be chosen (the file the level was loaded from), or
    // empty: the dialog says so and stays open.
    std::function<std::string(const std::string& path)> refuse;
};

// A modal form: labelled text fields with OK and Cancel, and buttons of the
// caller's that work on the texts (the placement window's Copy and Paste).
struct FormField {
    std::string label, text;
    bool readOnly = false;
};
struct FormButton {
    std::string label;
    // May change the texts (one per field); what it returns, when not
    // empty, is shown in a box (why it did nothing) and the texts stay.
    std::function<std::string(std::vector<std::string>& texts)> press;
};
struct FormRequest {
    std::string title;
    std::vector<FormField> fields;
    std::vector<FormButton> buttons;
    // Why OK cannot take the texts, or empty: the form says so in a box and
    // stays open as it was.
    std::function<std::string(const std::vector<std::string>& texts)> check;
};

// A font as the overlay asks for it.
struct FontRequest {
    std::string face = "Arial";
    int pixelHeight = 14;
    int weight = 500;  // 400 regular, 700 bold
};

// A glyph as a one-bit bitmap for glBitmap: rows bottom to top, each row
// padded to whole bytes, most significant bit leftmost.
struct GlyphBitmap {
    int width = 0, height = 0;
    float originX = 0, originY = 0;  // glBitmap's xorig and yorig
    float advance = 0;               // raster position step in x
    std::vector<std::uint8_t> bits;
};

class Platform {
public:
    virtual ~Platform() = default;

    // ---- diagnostics and clock ---------------------------------------------
    // Debug output for an attached debugger; text is passed unchanged.
    virtual void DebugOutput(const char* text) = 0;
    // High-resolution counter; frequency 0 means none is available.
    virtual std::uint64_t CounterFrequency() = 0;
    virtual std::uint64_t CounterValue() = 0;
    // Millisecond tick count, the fallback clock; wraps at 2^32.
    virtual std::uint32_t TickCount() = 0;

    // ---- modal boxes and dialogs -------------------------------------------
    // A modal message box; returns the button the user pressed.
    virtual Answer ShowMessageBox(Owner owner, const std::string& text, const std::string& caption,
                              Buttons buttons, Icon icon) = 0;
    // The open-file dialog: a path to an existing file, or empty when the
    // user cancelled.
    virtual std::string AskOpenFile(const std::string& initialDirectory, const std::string& initialName,
                                    const std::string& title, const FileFilter& filter) {
        (void)initialDirectory, (void)initialName, (void)title, (void)filter;
        return {};
    }
    // The modeless info dialog: a scrollable, editable text owned by the
    // main window. Text uses "\r\n" line breaks.
    virtual bool InfoDialogExists() = 0;
    virtual void InfoDialogCreate() = 0;  // create and show
    virtual void InfoDialogSetText(const std::string& text) = 0;
    virtual void InfoDialogInsertAtCaret(const std::string& text) = 0;
    virtual void InfoDialogScrollToCaret(std::size_t position) = 0;  // empty selection there

    // ---- configuration (the game's registry entries) -----------------------
    // A string value under a key of the machine's configuration; at most
    // 128 bytes. Paths come back in this system's form ('/' separators).
    virtual ConfigResult ReadConfigString(const std::string& key, const std::string& value, std::string& out) {
        (void)key, (void)value;
        out.clear();
        return ConfigResult::NoKey;
    }

    // ---- the main window and its GL context --------------------------------
    // Creates the window with its menu bar and an RGBA, double-buffered GL
    // area of the requested client size; its context is current afterwards.
    virtual bool CreateMainWindow(const WindowRequest& request) {
        (void)request;
        return false;
    }
    virtual void DestroyMainWindow() {}
    virtual bool MainWindowExists() { return false; }
    // Shows the window, brings it to the front and gives it the focus.
    virtual void ShowMainWindow() {}
    virtual Rect MainWindowRect() { return {}; }
    virtual void SwapBuffers() {}
    virtual void SetMenuCheck(int id, bool checked) { (void)id, (void)checked; }
    // A GL entry point of the current context, or null.
    virtual void* GlProcAddress(const char* name) {
        (void)name;
        return nullptr;
    }
    // The window system's GL extension string (GLX, EGL), or empty.
    virtual std::string WindowSystemExtensions() { return {}; }

    // ---- messages, cursor and keyboard -------------------------------------
    // The next waiting message, without blocking; false when none waits.
    virtual bool PeekWindowMessage(Message& out) {
        (void)out;
        return false;
    }
    virtual void PostQuitMessage(int code) { (void)code; }
    // Whether the user's close request or the quit message waits in the
    // queue (asked while the program is busy, as during a level load).
    virtual bool CloseRequested() { return false; }
    virtual void SetCursorVisible(bool visible) { (void)visible; }
    // Moves the pointer. The moves still waiting are superseded by one move
    // message to the new position (client coordinates), as the original
    // window system reports a warp.
    virtual void SetCursorPosition(int screenX, int screenY) { (void)screenX, (void)screenY; }
    virtual void CaptureMouse(bool capture) { (void)capture; }
    // Asynchronous key state: held right now; pressed since the last query.
    virtual bool KeyDownNow(int key) {
        (void)key;
        return false;
    }
    virtual bool KeyPressedSinceLastQuery(int key) {
        (void)key;
        return false;
    }

    // ---- more dialogs ------------------------------------------------------------
    // The save-file dialog: a path with one of the request's extensions,
    // absolute, not refused, and, when a file of that name exists, one the
    // user agreed to replace; empty when the user cancelled.
    virtual std::string AskSaveFile(const SaveRequest& request) {
        (void)request;
        return {};
    }
    // A line of text from the user, starting from text; false when cancelled.
    virtual bool AskText(const std::string& title, const std::string& prompt, std::string& text) {
        (void)title, (void)prompt, (void)text;
        return false;
    }
    virtual void SetMainWindowTitle(const std::string& title) { (void)title; }
    // The form; true with the texts (one per field) OK took, false when
    // the user cancelled.
    virtual bool AskForm(const FormRequest& request, std::vector<std::string>& texts) {
        (void)request, (void)texts;
        return false;
    }
    // The clipboard's text (empty when it holds none), and putting text there.
    virtual std::string ClipboardText() { return {}; }
    virtual void SetClipboardText(const std::string& text) { (void)text; }
    // A long job's progress, 0 to 1, with what it is doing; the window
    // system is given the chance to show it. False once the user has asked
    // to cancel (the window's Cancel, Escape or close box): the job stops
    // and leaves nothing behind. HideProgress when done.
    virtual bool ShowProgress(const std::string& text, float done) {
        (void)text, (void)done;
        return true;
    }
    virtual void HideProgress() {}
    // A modeless list window owned by the main window; the source must live
    // until CloseList. Choosing a row posts a ListChoice message.
    virtual void ShowList(ListKind kind, const std::string& title, ListSource& source) {
        (void)kind, (void)title, (void)source;
    }
    virtual void RefreshList(ListKind kind) { (void)kind; }
    virtual void CloseList(ListKind kind) { (void)kind; }
    virtual bool ListShown(ListKind kind) {
        (void)kind;
        return false;
    }

    // The picture window (one at a time: showing another replaces it).
    virtual void ShowPicture(const PictureRequest& request) { (void)request; }
    virtual void ClosePicture() {}
    virtual bool PictureShown() { return false; }

    // ---- fonts --------------------------------------------------------------
    // Bitmaps of the characters first .. first + count - 1 of a font.
    virtual bool RasteriseFont(const FontRequest& font, int first, int count, std::vector<GlyphBitmap>& out) {
        (void)font, (void)first, (void)count;
        out.clear();
        return false;
    }
    // The width and height in pixels of a line of text in a font.
    virtual bool MeasureText(const FontRequest& font, const std::string& text, int& width, int& height) {
        (void)font, (void)text;
        width = height = 0;
        return false;
    }
};

// The size a picture is shown at in a square area of that side: every
// texel a block of whole pixels (at most 8), or shrunk to fit when larger.
void FitPicture(int width, int height, int area, int& shownWidth, int& shownHeight);

// The name with the request's first extension added when it has none of
// them (compared without case).
std::string WithExtension(const std::string& path, const std::vector<std::string>& extensions);

// The platform in use. A console platform is installed until someone
// installs another; the caller keeps ownership of what it installs.
Platform& Current();
void Install(Platform* platform);  // nullptr restores the console platform

}  // namespace platform
