#include "platform/fltk/fltk_tools.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Table_Row.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <filesystem>

#include "platform/fltk/fltk_dialogs.h"
#include "platform/text_encoding.h"

#undef None

namespace platform::fltk {

// The rows of a ListSource, asked for only as they are drawn.
class ListTable : public Fl_Table_Row {
public:
    ListTable(int x, int y, int w, int h, ListWindow& owner) : Fl_Table_Row(x, y, w, h), owner_(owner) {
        type(SELECT_SINGLE);
        col_header(1);
        col_resize(1);
        row_height_all(owner_.source_.HasThumbnails() ? 36 : 20);
        col_header_height(22);
        when(FL_WHEN_RELEASE | FL_WHEN_CHANGED);
        end();
    }

    void Refresh() {
        const std::vector<std::string> columns = owner_.source_.Columns();
        if (static_cast<int>(columns.size()) != cols()) {
            cols(static_cast<int>(columns.size()));
            LayOutColumns(columns);
        }
        names_ = columns;
        const int count = static_cast<int>(std::min<std::size_t>(owner_.source_.Rows(), 1u << 30));
        const int keep = Selected();
        rows(count);
        select_all_rows(0);
        if (keep >= 0 && count > 0) select_row(std::min(keep, count - 1), 1);
        redraw();
    }

    int Selected() {
        for (int r = 0; r < rows(); ++r)
            if (row_selected(r)) return r;
        return -1;
    }

    int handle(int event) override {
        if (event == FL_KEYBOARD) {
            const int key = Fl::event_key();
            const int row = Selected();
            if ((key == FL_Enter || key == FL_KP_Enter) && row >= 0) {
                owner_.Choose(row, kListActivate);
                return 1;
            }
            if (key == FL_Delete && row >= 0 && owner_.kind_ == ListKind::Bookmarks) {
                owner_.Choose(row, kListDelete);
                return 1;
            }
        }
        if (event == FL_PUSH && Fl::event_button() == FL_LEFT_MOUSE) {
            take_focus();  // Enter and Delete then act on the row clicked
            const int result = Fl_Table_Row::handle(event);
            const TableContext where = callback_context();
            if (where == CONTEXT_COL_HEADER && Fl::event_clicks() == 0) {
                const int column = callback_col();
                ascending_ = column == sortColumn_ ? !ascending_ : true;
                sortColumn_ = column;
                owner_.source_.SortBy(static_cast<std::size_t>(column), ascending_);
                Refresh();
            } else if (where == CONTEXT_CELL && Fl::event_clicks() > 0) {
                owner_.Choose(callback_row(), kListActivate);
            }
            return result;
        }
        return Fl_Table_Row::handle(event);
    }

protected:
    void draw_cell(TableContext context, int row, int col, int x, int y, int w, int h) override {
        switch (context) {
        case CONTEXT_STARTPAGE:
            fl_font(FL_HELVETICA, 13);
            return;
        case CONTEXT_COL_HEADER: {
            fl_push_clip(x, y, w, h);
            fl_draw_box(FL_THIN_UP_BOX, x, y, w, h, FL_BACKGROUND_COLOR);
            fl_color(FL_FOREGROUND_COLOR);
            std::string label = col < static_cast<int>(names_.size()) ? names_[static_cast<std::size_t>(col)] : "";
            if (col == sortColumn_) label += ascending_ ? "  \xE2\x96\xB2" : "  \xE2\x96\xBC";
            fl_draw(label.c_str(), x + 4, y, w - 8, h, FL_ALIGN_LEFT);
            fl_pop_clip();
            return;
        }
        case CONTEXT_CELL: {
            fl_push_clip(x, y, w, h);
            const bool selected = row_selected(row);
            fl_color(selected ? FL_SELECTION_COLOR : (row % 2 ? fl_rgb_color(244, 244, 244) : FL_WHITE));
            fl_rectf(x, y, w, h);
            int left = x + 4;
            if (col == 0 && owner_.source_.HasThumbnails()) {
                Image thumb;
                if (owner_.source_.Thumbnail(static_cast<std::size_t>(row), thumb)) DrawThumbnail(thumb, x + 2, y + 2);
                left += 34;
            }
            fl_color(selected ? FL_WHITE : FL_BLACK);
            const std::string text =
                ToUtf8(owner_.source_.Cell(static_cast<std::size_t>(row), static_cast<std::size_t>(col)));
            fl_draw(text.c_str(), left, y, x + w - 4 - left, h, FL_ALIGN_LEFT);
            fl_pop_clip();
            return;
        }
        default:
            return;
        }
    }

private:
    // A thumbnail of at most 32 x 32, clear texels over grey.
    static void DrawThumbnail(const Image& thumb, int x, int y) {
        if (thumb.width <= 0 || thumb.height <= 0 || thumb.width > 32 || thumb.height > 32 ||
            thumb.rgba.size() < static_cast<std::size_t>(thumb.width) * thumb.height * 4)
            return;
        std::vector<std::uint8_t> rgb(static_cast<std::size_t>(thumb.width) * thumb.height * 3);
        for (std::size_t k = 0; k < rgb.size() / 3; ++k) {
            const std::uint8_t* t = &thumb.rgba[k * 4];
            for (int c = 0; c < 3; ++c) rgb[k * 3 + c] = static_cast<std::uint8_t>((t[c] * t[3] + 170 * (255 - t[3])) / 255);
        }
        fl_draw_image(rgb.data(), x + (32 - thumb.width) / 2, y + (32 - thumb.height) / 2, thumb.width, thumb.height, 3);
    }

    // The serial and the position narrow, names and the rest shared out.
    void LayOutColumns(const std::vector<std::string>& columns) {
        const int total = std::max(w() - Fl::scrollbar_size() - 6, 100);
        int fixed = 0, flexible = 0;
        for (const std::string& c : columns) {
            if (c == "Serial" || c == "Entry") fixed += 80;
            else if (c == "Position") fixed += 170;
            else ++flexible;
        }
        const int share = flexible ? std::max((total - fixed) / flexible, 60) : 0;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::string& c = columns[i];
            col_width(static_cast<int>(i), c == "Serial" || c == "Entry" ? 80 : c == "Position" ? 170 : share);
        }
    }

    ListWindow& owner_;
    std::vector<std::string> names_;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

ListWindow::ListWindow(Fl_Window* owner, ListKind kind, const std::string& title, ListSource& source,
                       std::function<void(const Message&)> post, std::function<void()> closed)
    : kind_(kind), source_(source), post_(std::move(post)), closed_(std::move(closed)) {
    constexpr int kW = 600, kH = 440, kM = 8, kRow = 25;
    window_ = new Fl_Double_Window(kW, kH);
    window_->copy_label(ToUtf8(title).c_str());
    filter_ = new Fl_Input(kM + 50, kM, kW - 2 * kM - 50, kRow, "Filter:");
    filter_->when(FL_WHEN_CHANGED);
    filter_->callback(OnFilter, this);
    table_ = new ListTable(kM, 2 * kM + kRow, kW - 2 * kM, kH - 4 * kM - 2 * kRow, *this);
    count_ = new Fl_Box(kM, kH - kM - kRow, kW - 3 * kM - 2 * 90, kRow);
    count_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    auto* go = new Fl_Button(kW - 2 * kM - 2 * 90, kH - kM - kRow, 90, kRow,
                             kind == ListKind::Bookmarks ? "Go to" : "Select");
    go->callback(OnButton, this);
    go->user_data(this);
    auto* remove = new Fl_Button(kW - kM - 90, kH - kM - kRow, 90, kRow, "Delete");
    remove->callback(
        [](Fl_Widget*, void* data) {
            auto* self = static_cast<ListWindow*>(data);
            const int row = self->table_->Selected();
            if (row >= 0) self->Choose(row, kListDelete);
        },
        this);
    // Deleting an object goes through the main window's selection.
    if (kind != ListKind::Bookmarks) remove->hide();
    window_->end();
    window_->resizable(table_);
    window_->size_range(300, 200);
    window_->callback(
        [](Fl_Widget*, void* data) {
            auto* self = static_cast<ListWindow*>(data);
            self->window_->hide();
            if (self->closed_) self->closed_();
        },
        this);
    if (owner && owner->shown()) window_->position(owner->x() + owner->w() - kW / 2, owner->y() + 40);
    ShowOwned(*window_, owner);
    Refresh();
    table_->take_focus();
}

ListWindow::~ListWindow() {
    window_->hide();
    delete window_;
}

void ListWindow::Refresh() {
    table_->Refresh();
    countText_ = std::to_string(table_->rows()) + (table_->rows() == 1 ? " row" : " rows");
    count_->label(countText_.c_str());
    window_->redraw();
}

void ListWindow::Raise() {
    window_->show();
    table_->take_focus();
}

bool ListWindow::Shown() const { return window_->shown(); }

int ListWindow::RowsShown() const { return table_->rows(); }

int ListWindow::SelectedRow() const { return table_->Selected(); }

void ListWindow::Choose(int row, int action) {
    if (row < 0 || row >= table_->rows()) return;
    Message m;
    m.kind = MessageKind::ListChoice;
    m.list = kind_;
    m.row = row;
    m.command = action;
    post_(m);
}

void ListWindow::OnFilter(Fl_Widget*, void* data) {
    auto* self = static_cast<ListWindow*>(data);
    self->source_.SetFilter(self->filter_->value());
    self->Refresh();
}

void ListWindow::OnButton(Fl_Widget*, void* data) {
    auto* self = static_cast<ListWindow*>(data);
    self->Choose(self->table_->Selected(), kListActivate);
}

ProgressWindow::ProgressWindow(Fl_Window* owner) {
    window_ = new Fl_Double_Window(360, 100, "Working");
    bar_ = new Fl_Progress(10, 35, 340, 22);
    bar_->minimum(0);
    bar_->maximum(1);
    bar_->selection_color(FL_BLUE);
    auto* cancel = new Fl_Button(270, 67, 80, 25, "Cancel");
    cancel->callback(OnCancel, this);
    window_->end();
    // Escape and the close box reach the window's callback.
    window_->callback(OnCancel, this);
    window_->set_non_modal();
    CentreOn(*window_, owner);
    ShowOwned(*window_, owner);
}

ProgressWindow::~ProgressWindow() {
    window_->hide();
    delete window_;
    Fl::check();
}

void ProgressWindow::OnCancel(Fl_Widget*, void* data) { static_cast<ProgressWindow*>(data)->cancelled_ = true; }

bool ProgressWindow::Set(const std::string& text, float done) {
    if (text != text_) {
        text_ = text;
        bar_->copy_label(ToUtf8(text).c_str());
        bar_->align(FL_ALIGN_TOP_LEFT);
    }
    bar_->value(std::clamp(done, 0.0f, 1.0f));
    window_->redraw();
    Fl::check();
    return !cancelled_;
}

std::string RunSaveFile(Fl_Window* owner, const SaveRequest& request) {
    return RunChooser(Fl_File_Chooser::CREATE, request.initialDirectory, request.initialName, request.title,
                      request.filter, [owner, &request](std::string& path) {
                          // The name as it will be written decides the questions.
                          path = WithExtension(path, request.extensions);
                          namespace fs = std::filesystem;
                          std::error_code ec;
                          if (fs::is_directory(path, ec)) return false;
                          if (const std::string why = request.refuse ? request.refuse(path) : std::string(); !why.empty()) {
                              RunMessageBox(owner, why, "Choose another name", Buttons::Ok, Icon::Exclamation);
                              return false;
                          }
                          if (!fs::exists(path, ec)) return true;
                          const std::string name = fs::path(path).filename().string();
                          return RunMessageBox(owner, name + " already exists.\nDo you want to replace it?",
                                               "Confirm Save As", Buttons::YesNoCancel, Icon::Warning) == Answer::Yes;
                      });
}

bool RunTextPrompt(Fl_Window* owner, const std::string& title, const std::string& prompt, std::string& text) {
    constexpr int kW = 360, kH = 110, kM = 10;
    Fl_Double_Window window(kW, kH);
    window.copy_label(ToUtf8(title).c_str());
    const std::string label = ToUtf8(prompt);
    auto* caption = new Fl_Box(kM, kM, kW - 2 * kM, 20);
    caption->label(label.c_str());
    caption->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    auto* input = new Fl_Input(kM, kM + 24, kW - 2 * kM, 25);
    input->value(ToUtf8(text).c_str());
    struct State {
        bool done = false, ok = false;
    } state;
    auto* ok = new Fl_Return_Button(kW - 2 * (90 + kM), kH - kM - 25, 90, 25, "OK");
    ok->callback(
        [](Fl_Widget*, void* data) {
            auto* s = static_cast<State*>(data);
            s->ok = s->done = true;
        },
        &state);
    auto* cancel = new Fl_Button(kW - 90 - kM, kH - kM - 25, 90, 25, "Cancel");
    cancel->callback([](Fl_Widget*, void* data) { static_cast<State*>(data)->done = true; }, &state);
    window.end();
    window.callback([](Fl_Widget*, void* data) { static_cast<State*>(data)->done = true; }, &state);
    window.set_modal();
    CentreOn(window, owner);
    ShowOwned(window, owner);
    input->take_focus();
    input->position(input->size(), 0);  // all selected, typing replaces it
    while (!state.done && window.shown()) Fl::wait();
    window.hide();
    if (state.ok) text = input->value();
    return state.ok;
}

// ---- the form ------------------------------------------------------------------

namespace {

struct FormState {
    const FormRequest* request = nullptr;
    Fl_Window* window = nullptr;
    std::vector<Fl_Input*> inputs;
    bool done = false, ok = false;

    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (Fl_Input* i : inputs) out.push_back(i->value());
        return out;
    }
    // Says why, in a box over the form; true when there was nothing to say.
    bool Say(const std::string& why) {
        if (why.empty()) return true;
        RunMessageBox(window, why, request->title, Buttons::Ok, Icon::Exclamation);
        return false;
    }
};

struct FormButtonData {
    FormState* state;
    std::size_t index;
};

}  // namespace

bool RunForm(Fl_Window* owner, const FormRequest& request, std::vector<std::string>& texts) {
    constexpr int kM = 10, kLabel = 120, kField = 220, kRow = 30, kButton = 80, kGap = 6;
    const int fields = static_cast<int>(request.fields.size());
    const int buttons = static_cast<int>(request.buttons.size()) + 2;
    const int w = std::max(kM + kLabel + kField + kM, kM + buttons * (kButton + kGap) - kGap + kM);
    const int h = kM + fields * kRow + kGap + 25 + kM;
    Fl_Double_Window window(w, h);
    window.copy_label(ToUtf8(request.title).c_str());
    FormState state;
    state.request = &request;
    state.window = &window;
    for (int k = 0; k < fields; ++k) {
        const FormField& f = request.fields[static_cast<std::size_t>(k)];
        auto* label = new Fl_Box(kM, kM + k * kRow, kLabel - kGap, 25);
        label->copy_label(ToUtf8(f.label).c_str());
        label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        auto* input = new Fl_Input(kM + kLabel, kM + k * kRow, w - kM - kLabel - kM, 25);
        input->value(ToUtf8(f.text).c_str());
        if (f.readOnly) {
            input->readonly(1);
            input->color(FL_BACKGROUND_COLOR);
        }
        state.inputs.push_back(input);
    }
    const int y = h - kM - 25;
    std::vector<FormButtonData> data;
    data.reserve(request.buttons.size());
    for (std::size_t b = 0; b < request.buttons.size(); ++b) {
        data.push_back({&state, b});
        auto* button = new Fl_Button(kM + static_cast<int>(b) * (kButton + kGap), y, kButton, 25);
        button->copy_label(ToUtf8(request.buttons[b].label).c_str());
        button->callback(
            [](Fl_Widget*, void* p) {
                auto* d = static_cast<FormButtonData*>(p);
                FormState& s = *d->state;
                std::vector<std::string> changed = s.Texts();
                if (!s.Say(s.request->buttons[d->index].press(changed)) || changed.size() != s.inputs.size()) return;
                for (std::size_t k = 0; k < changed.size(); ++k)
                    if (!s.request->fields[k].readOnly) s.inputs[k]->value(changed[k].c_str());
            },
            &data.back());
    }
    auto* ok = new Fl_Return_Button(w - 2 * (kButton + kGap) - kM + kGap, y, kButton, 25, "OK");
    ok->callback(
        [](Fl_Widget*, void* p) {
            auto* s = static_cast<FormState*>(p);
            if (s->Say(s->request->check ? s->request->check(s->Texts()) : std::string())) s->ok = s->done = true;
        },
        &state);
    auto* cancel = new Fl_Button(w - kButton - kM, y, kButton, 25, "Cancel");
    cancel->callback([](Fl_Widget*, void* p) { static_cast<FormState*>(p)->done = true; }, &state);
    window.end();
    window.callback([](Fl_Widget*, void* p) { static_cast<FormState*>(p)->done = true; }, &state);
    window.set_modal();
    CentreOn(window, owner);
    ShowOwned(window, owner);
    if (!state.inputs.empty()) {
        state.inputs[0]->take_focus();
        state.inputs[0]->position(state.inputs[0]->size(), 0);  // all selected, typing replaces it
    }
    while (!state.done && window.shown()) Fl::wait();
    window.hide();
    if (state.ok) texts = state.Texts();
    return state.ok;
}

// ---- the clipboard -------------------------------------------------------------

namespace {

// Takes what a paste delivers; never shown.
class PasteReceiver : public Fl_Widget {
public:
    PasteReceiver() : Fl_Widget(0, 0, 0, 0) {}
    void draw() override {}
    int handle(int event) override {
        if (event != FL_PASTE) return Fl_Widget::handle(event);
        text.assign(Fl::event_text(), static_cast<std::size_t>(Fl::event_length()));
        got = true;
        return 1;
    }
    std::string text;
    bool got = false;
};

}  // namespace

std::string ReadClipboard() {
    if (!Fl::first_window()) return {};  // the request needs a window of ours
    PasteReceiver receiver;
    Fl::paste(receiver, 1);
    // Our own text comes at once; another program's through the X server.
    for (int k = 0; k < 50 && !receiver.got; ++k) Fl::wait(0.02);
    return receiver.got ? receiver.text : std::string();
}

void WriteClipboard(const std::string& text) {
    const std::string utf8 = ToUtf8(text);
    Fl::copy(utf8.c_str(), static_cast<int>(utf8.size()), 1);
}

}  // namespace platform::fltk
