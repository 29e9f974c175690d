#include "platform/fltk/fltk_dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "platform/fltk/file_filter.h"
#include "platform/text_encoding.h"

// fl_draw.H brings in Xlib, whose None would turn Icon::None into a number.
#undef None

// FLTK's switch for leaving out WM_TRANSIENT_FOR: a box without an owner
// must not be tied to whichever window FLTK opened last.
extern int fl_disable_transient_for;

namespace platform::fltk {

namespace {

// Drawn without FLTK's '@' symbol syntax, which would eat parts of paths.
class PlainText : public Fl_Box {
public:
    PlainText(int x, int y, int w, int h, std::string text) : Fl_Box(x, y, w, h), text_(std::move(text)) {}
    void draw() override {
        fl_font(FL_HELVETICA, kSize);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(text_.c_str(), x(), y(), w(), h(), FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_WRAP | FL_ALIGN_INSIDE,
                nullptr, 0);
    }
    static constexpr int kSize = 14;

private:
    std::string text_;
};

struct BoxState {
    Answer answer;
    bool done = false;
};

struct ButtonChoice {
    BoxState* state;
    Answer answer;
};

void OnBoxButton(Fl_Widget*, void* data) {
    auto* choice = static_cast<ButtonChoice*>(data);
    choice->state->answer = choice->answer;
    choice->state->done = true;
}

// Dialog units of the design's 8-point MS Sans Serif: 6 x 13 pixel base units.
int DluX(int units) { return static_cast<int>(std::lround(units * 1.5)); }
int DluY(int units) { return static_cast<int>(std::lround(units * 1.625)); }

std::string WithoutCarriageReturns(const std::string& text) {
    std::string out = ToUtf8(text);
    out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
    return out;
}

}  // namespace

void CentreOn(Fl_Window& window, Fl_Window* owner) {
    int x, y, w, h;
    if (owner && owner->shown()) {
        x = owner->x(), y = owner->y(), w = owner->w(), h = owner->h();
    } else {
        Fl::screen_work_area(x, y, w, h);
    }
    window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

// Shows a window as owned by owner, or by nobody.
void ShowOwned(Fl_Window& window, Fl_Window* owner) {
    const int saved = fl_disable_transient_for;
    fl_disable_transient_for = owner ? 0 : 1;
    window.show();
    fl_disable_transient_for = saved;
}

Answer RunMessageBox(Fl_Window* owner, const std::string& text, const std::string& caption, Buttons buttons,
                     Icon icon) {
    const std::string body = ToUtf8(text);
    constexpr int kMargin = 10, kIcon = 50, kButtonW = 90, kButtonH = 25, kMaxText = 420;
    const int buttonCount =
        buttons == Buttons::RetryCancel || buttons == Buttons::YesNo ? 2 : buttons == Buttons::YesNoCancel ? 3 : 1;

    fl_font(FL_HELVETICA, PlainText::kSize);
    int tw = 0, th = 0;
    fl_measure(body.c_str(), tw, th, 0);
    if (tw > kMaxText) {
        tw = kMaxText;
        th = 0;
        fl_measure(body.c_str(), tw, th, 0);
    }
    tw = std::max(tw, 1);
    const int left = kMargin + (icon != Icon::None ? kIcon + kMargin : 0);
    const int buttonsW = buttonCount * kButtonW + (buttonCount - 1) * kMargin;
    const int w = std::max(left + tw + kMargin, buttonsW + 2 * kMargin);
    const int contentH = std::max(th, icon != Icon::None ? kIcon : 0);
    const int h = kMargin + contentH + kMargin + kButtonH + kMargin;

    BoxState state{buttons == Buttons::Ok ? Answer::Ok : buttons == Buttons::YesNo ? Answer::No : Answer::Cancel};
    Fl_Double_Window window(w, h);
    window.copy_label(ToUtf8(caption).c_str());
    if (icon != Icon::None) {
        auto* symbol = new Fl_Box(kMargin, kMargin, kIcon, kIcon, icon == Icon::Information ? "i" : "!");
        symbol->box(FL_THIN_UP_BOX);
        symbol->labelfont(FL_TIMES_BOLD);
        symbol->labelsize(34);
        symbol->color(FL_WHITE);
        symbol->labelcolor(icon == Icon::Information ? FL_BLUE : FL_DARK_RED);
    }
    new PlainText(left, kMargin, tw, contentH, body);

    ButtonChoice ok{&state, Answer::Ok}, retry{&state, Answer::Retry}, cancel{&state, Answer::Cancel},
        yes{&state, Answer::Yes}, no{&state, Answer::No};
    int bx = w - kMargin - buttonsW;
    const int by = h - kMargin - kButtonH;
    if (buttons == Buttons::YesNoCancel || buttons == Buttons::YesNo) {
        (new Fl_Return_Button(bx, by, kButtonW, kButtonH, "&Yes"))->callback(OnBoxButton, &yes);
        bx += kButtonW + kMargin;
        (new Fl_Button(bx, by, kButtonW, kButtonH, "&No"))->callback(OnBoxButton, &no);
        bx += kButtonW + kMargin;
        if (buttons == Buttons::YesNoCancel)
            (new Fl_Button(bx, by, kButtonW, kButtonH, "Cancel"))->callback(OnBoxButton, &cancel);
    } else if (buttons == Buttons::RetryCancel) {
        (new Fl_Return_Button(bx, by, kButtonW, kButtonH, "&Retry"))->callback(OnBoxButton, &retry);
        bx += kButtonW + kMargin;
        (new Fl_Button(bx, by, kButtonW, kButtonH, "Cancel"))->callback(OnBoxButton, &cancel);
    } else {
        (new Fl_Return_Button(bx, by, kButtonW, kButtonH, "OK"))->callback(OnBoxButton, &ok);
    }
    window.end();
    // Escape and the close button: Cancel, No where there is no Cancel, or
    // OK for a box that has only OK.
    window.callback([](Fl_Widget*, void* data) { static_cast<BoxState*>(data)->done = true; }, &state);
    window.set_modal();
    CentreOn(window, owner);
    ShowOwned(window, owner);
    while (!state.done && window.shown()) Fl::wait();
    window.hide();
    return state.answer;
}

namespace {

// FLTK's chooser turns the name field into an absolute path on every key
// (against the process's current folder, with the caret left where it
// was), so that typing garbles it. The field's own callback is held back
// while the user types and runs on Enter only, the name first made
// absolute against the folder the chooser shows.
struct NameField {
    Fl_File_Chooser* chooser = nullptr;
    Fl_Callback* original = nullptr;
    void* data = nullptr;
};

std::string InFolder(const char* folder, const std::string& name) {
    if (name.empty() || name[0] == '/' || !folder || !*folder) return name;
    std::string path = folder;
    if (path.back() != '/') path += '/';
    return path + name;
}

void NameFieldChanged(Fl_Widget* w, void* data) {
    auto* field = static_cast<NameField*>(data);
    const bool enter = Fl::event() == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter);
    if (!enter) return;
    auto* input = static_cast<Fl_Input*>(w);
    const std::string typed = input->value() ? input->value() : "";
    input->value(InFolder(field->chooser->directory(), typed).c_str());
    if (field->original) field->original(w, field->data);
}

// The chooser's name field, found among the widgets of its window.
Fl_File_Input* FindNameField(Fl_Group& group) {
    for (int k = 0; k < group.children(); ++k) {
        Fl_Widget* w = group.child(k);
        if (auto* input = dynamic_cast<Fl_File_Input*>(w)) return input;
        if (auto* inner = w->as_group())
            if (Fl_File_Input* found = FindNameField(*inner)) return found;
    }
    return nullptr;
}

}  // namespace

std::string RunChooser(int type, const std::string& initialDirectory, const std::string& initialName,
                       const std::string& title, const FileFilter& filter,
                       const std::function<bool(std::string&)>& accept) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // An empty or missing directory: the current one, as the Windows dialog does.
    std::string directory = initialDirectory;
    if (directory.empty() || !fs::is_directory(directory, ec)) directory = fs::current_path(ec).string();

    const std::string pattern = FltkFilter(filter);
    const std::string caption = ToUtf8(title);
    Fl_File_Chooser chooser(directory.c_str(), pattern.c_str(), type, caption.c_str());
    if (!initialName.empty()) {
        std::string preset = directory;
        if (preset.empty() || preset.back() != '/') preset += '/';
        chooser.value((preset + initialName).c_str());
    }
    NameField field{&chooser};
    for (;;) {
        chooser.show();
        for (Fl_Window* w = Fl::first_window(); w && !field.original; w = Fl::next_window(w)) {
            if (!w->label() || caption != w->label()) continue;
            if (Fl_File_Input* input = FindNameField(*w)) {
                field.original = input->callback();
                field.data = input->user_data();
                input->callback(NameFieldChanged, &field);
            }
        }
        while (chooser.shown()) Fl::wait();
        const char* value = chooser.count() > 0 ? chooser.value() : nullptr;
        if (!value || !*value) return {};
        std::string chosen = InFolder(chooser.directory(), value);
        if (accept(chosen)) return chosen;
    }
}

std::string RunOpenFile(const std::string& initialDirectory, const std::string& initialName,
                        const std::string& title, const FileFilter& filter) {
    // The design's dialog insists on an existing file; so do we, by asking again.
    return RunChooser(Fl_File_Chooser::SINGLE, initialDirectory, initialName, title, filter, [](std::string& path) {
        std::error_code ec;
        return std::filesystem::is_regular_file(path, ec);
    });
}

InfoDialog::InfoDialog(Fl_Window* owner, std::function<void()> closed) : closedCallback_(std::move(closed)) {
    window_ = new Fl_Double_Window(DluX(380), DluY(238), "Dialog");
    text_ = new Fl_Text_Display(DluX(7), DluY(7), DluX(366), DluY(191));
    text_->buffer(&buffer_);
    text_->show_cursor();  // the caret the dumps write at
    text_->textfont(FL_HELVETICA);
    text_->textsize(12);
    text_->scrollbar_align(FL_ALIGN_RIGHT | FL_ALIGN_BOTTOM);
    auto* close = new Fl_Return_Button(DluX(323), DluY(217), DluX(50), DluY(14), "Close");
    close->callback(OnClose, this);
    window_->end();
    window_->resizable(text_);
    window_->size_range(DluX(120), DluY(80));
    // The title bar's close button closes it too; Escape does nothing, as in
    // the design, where only the Close command ends the dialog.
    window_->callback(
        [](Fl_Widget* w, void* data) {
            if (Fl::event() == FL_CLOSE) OnClose(w, data);
        },
        this);
    window_->set_non_modal();  // stays above its owner, as an owned window
    if (owner && owner->shown()) window_->position(owner->x() + 40, owner->y() + 40);
    ShowOwned(*window_, owner);
    text_->take_focus();
}

InfoDialog::~InfoDialog() {
    if (window_) {
        window_->hide();
        delete window_;
    }
}

void InfoDialog::OnClose(Fl_Widget*, void* data) {
    auto* dialog = static_cast<InfoDialog*>(data);
    dialog->window_->hide();
    dialog->closed_ = true;
    if (dialog->closedCallback_) dialog->closedCallback_();
}

void InfoDialog::SetText(const std::string& text) {
    const std::string utf8 = WithoutCarriageReturns(text);
    buffer_.text(utf8.c_str());
    text_->insert_position(buffer_.length());
}

void InfoDialog::InsertAtCaret(const std::string& text) {
    const std::string utf8 = WithoutCarriageReturns(text);
    int at = text_->insert_position();
    int start = 0, end = 0;
    if (buffer_.selection_position(&start, &end) && start != end) {
        buffer_.remove(start, end);  // a selection is replaced, as EM_REPLACESEL does
        at = start;
    }
    buffer_.unselect();
    buffer_.insert(at, utf8.c_str());
    text_->insert_position(at + static_cast<int>(utf8.size()));
    text_->show_insert_position();
}

void InfoDialog::ScrollToCaret(std::size_t position) {
    const int at = buffer_.utf8_align(static_cast<int>(std::min(position, static_cast<std::size_t>(buffer_.length()))));
    buffer_.unselect();
    text_->insert_position(at);
    text_->show_insert_position();
}

std::string InfoDialog::Text() const {
    char* text = const_cast<Fl_Text_Buffer&>(buffer_).text();
    std::string out = text ? text : "";
    std::free(text);
    return out;
}

std::size_t InfoDialog::Caret() const { return static_cast<std::size_t>(text_->insert_position()); }

}  // namespace platform::fltk
