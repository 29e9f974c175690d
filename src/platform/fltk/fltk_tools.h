// The viewer's own tool windows on FLTK: the list windows (rows drawn on
// demand from a ListSource), the progress window, the save-file dialog and
// the one-line text prompt, the form and the clipboard.
#pragma once

// First: the FLTK headers below bring in X11's macros (None among them).
#include "platform/platform.h"

#include <FL/Fl_Double_Window.H>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class Fl_Input;
class Fl_Box;
class Fl_Progress;

namespace platform::fltk {

class ListTable;

// A modeless list: a filter field over a table. Double-click or Enter on a
// row posts the row (activate); Delete posts it for deleting where the list
// allows that. A click on a column heading sorts by it, a second click
// reverses the order.
class ListWindow {
public:
    // post receives the chosen rows; closed runs when the user closes it.
    ListWindow(Fl_Window* owner, ListKind kind, const std::string& title, ListSource& source,
               std::function<void(const Message&)> post, std::function<void()> closed);
    ~ListWindow();
    ListWindow(const ListWindow&) = delete;
    ListWindow& operator=(const ListWindow&) = delete;

    void Refresh();  // the source's rows changed
    void Raise();
    bool Shown() const;
    Fl_Window* Window() const { return window_; }
    // For tests: the table's row count and its selected row (-1 for none).
    int RowsShown() const;
    int SelectedRow() const;

private:
    friend class ListTable;
    void Choose(int row, int action);
    static void OnFilter(Fl_Widget* widget, void* data);
    static void OnButton(Fl_Widget* widget, void* data);

    ListKind kind_;
    ListSource& source_;
    std::function<void(const Message&)> post_;
    std::function<void()> closed_;
    Fl_Double_Window* window_ = nullptr;
    Fl_Input* filter_ = nullptr;
    ListTable* table_ = nullptr;
    Fl_Box* count_ = nullptr;
    std::string countText_;
};

// A small window with a bar, a line of text and Cancel; it keeps the
// display serviced so the window manager never thinks the program hung.
class ProgressWindow {
public:
    explicit ProgressWindow(Fl_Window* owner);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;
    // False once Cancel, Escape or the close box was pressed.
    bool Set(const std::string& text, float done);

private:
    static void OnCancel(Fl_Widget*, void* data);

    Fl_Double_Window* window_ = nullptr;
    Fl_Progress* bar_ = nullptr;
    std::string text_;
    bool cancelled_ = false;
};

// FLTK's chooser in its file-creating form. A name that exists is only
// returned once the user agreed to replace it; empty when cancelled.
std::string RunSaveFile(Fl_Window* owner, const SaveRequest& request);

// A modal prompt with one line of text, OK and Cancel.
bool RunTextPrompt(Fl_Window* owner, const std::string& title, const std::string& prompt, std::string& text);

// A modal form: a labelled field a row, the request's buttons and OK and
// Cancel beneath; Enter is OK, Escape and the close box Cancel.
bool RunForm(Fl_Window* owner, const FormRequest& request, std::vector<std::string>& texts);

// The system clipboard's text: what FLTK pastes, waited for a moment when
// another program holds it; empty when nobody answers.
std::string ReadClipboard();
void WriteClipboard(const std::string& text);

}  // namespace platform::fltk
