// The viewer's smaller windows on Win32: the info dialog, the text prompt,
// the form, the list windows, the picture window and the progress window,
// and the clipboard. Each is owned by the main window; list choices and the
// picture's buttons are handed to the platform's message queue.
#pragma once

#include "platform/win32/wide_text.h"

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform::win32 {

// The classes of every window here, registered once.
void RegisterToolClasses();

// The modeless info dialog: an editable text and a Close button.
class InfoWindow {
public:
    ~InfoWindow();
    bool Exists() const { return window_ != nullptr && IsWindow(window_); }
    void Create(HWND owner);
    void SetText(const std::string& text);
    void InsertAtCaret(const std::string& text);
    // position: a byte offset of the text as it was given.
    void ScrollToCaret(std::size_t position);
    HWND Handle() const { return window_; }
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);

private:
    HWND window_ = nullptr, edit_ = nullptr;
    std::string text_;  // what was given, for turning offsets into characters
};

// A line of text, modal to owner; false when cancelled.
bool RunTextPrompt(HWND owner, const std::string& title, const std::string& prompt, std::string& text);

// A form of labelled fields with the request's buttons, OK and Cancel,
// modal to owner; false when cancelled.
bool RunForm(HWND owner, const FormRequest& request, std::vector<std::string>& texts);

// The clipboard's Unicode text, or empty; putting text there.
std::string ReadClipboard();
void WriteClipboard(const std::string& text);

// A list window over a source, rows drawn on demand.
class ListWindow {
public:
    using Choose = std::function<void(int row, int action)>;
    ListWindow(HWND owner, const std::string& title, ListSource& source, Choose choose);
    ~ListWindow();
    bool Shown() const { return window_ != nullptr && IsWindow(window_); }
    void Refresh();
    HWND Handle() const { return window_; }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);

private:
    void Layout();
    LRESULT Notify(const NMHDR& header);

    // The image list's picture of a row's thumbnail, made on first sight;
    // rows are known by their first column (the filter and the sort move
    // them). 0 is the empty picture.
    int ThumbnailImage(std::size_t row);

    ListSource& source_;
    Choose choose_;
    HWND window_ = nullptr, filter_ = nullptr, list_ = nullptr;
    HIMAGELIST images_ = nullptr;
    std::map<std::string, int> imageOf_;
    std::size_t sortColumn_ = 0;
    bool ascending_ = true;
    std::wstring cell_;  // the text handed to the list view last
};

// The picture window: the picture scaled by whole texels' blocks (shrunk to
// fit when larger), the texel under the pointer described beneath it, and
// buttons that hand their command to post.
class PictureWindow {
public:
    PictureWindow(HWND owner, const PictureRequest& request, std::function<void(int command)> post);
    ~PictureWindow();
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;
    bool Shown() const { return window_ != nullptr && IsWindow(window_); }
    HWND Handle() const { return window_; }
    // The line under the picture.
    std::string Line() const { return line_; }
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);

private:
    void Describe(int x, int y);  // a client point

    PictureRequest request_;
    std::function<void(int)> post_;
    std::vector<std::uint8_t> bgra_;  // the picture over a checker, as GDI draws it
    HWND window_ = nullptr, label_ = nullptr;
    int shownW_ = 0, shownH_ = 0;
    std::string line_;
};

// A small window with a text, a bar and Cancel, over the main window.
class ProgressWindow {
public:
    ~ProgressWindow();
    // False once Cancel, Escape or the close box was pressed.
    bool Show(HWND owner, const std::string& text, float done);
    void Hide();
    bool Shown() const { return window_ != nullptr; }
    HWND Window() const { return window_; }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);

private:
    HWND window_ = nullptr, label_ = nullptr, bar_ = nullptr, cancel_ = nullptr;
    bool cancelled_ = false;
};

}  // namespace platform::win32
