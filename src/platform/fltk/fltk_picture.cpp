#include "platform/fltk/fltk_picture.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <vector>

#include "platform/fltk/fltk_dialogs.h"
#include "platform/text_encoding.h"

#undef None

namespace platform::fltk {

namespace {
constexpr int kView = 512;  // the picture's area, a side
}  // namespace

// The picture, every texel a block of whole pixels (or, for a picture
// larger than the area, shrunk to fit), over a checker where it is clear.
class PictureView : public Fl_Widget {
public:
    PictureView(int x, int y, int w, int h, PictureWindow& owner) : Fl_Widget(x, y, w, h), owner_(owner) {
        const Image& image = owner_.request_.image;
        FitPicture(image.width, image.height, kView, shownW_, shownH_);
        rgb_.resize(static_cast<std::size_t>(shownW_) * shownH_ * 3);
        if (image.rgba.size() < static_cast<std::size_t>(image.width) * image.height * 4) return;
        for (int y0 = 0; y0 < shownH_; ++y0)
            for (int x0 = 0; x0 < shownW_; ++x0) {
                const std::size_t sx = static_cast<std::size_t>(x0) * image.width / shownW_;
                const std::size_t sy = static_cast<std::size_t>(y0) * image.height / shownH_;
                const std::uint8_t* t = &image.rgba[(sy * image.width + sx) * 4];
                const int checker = ((x0 / 8 + y0 / 8) % 2) ? 200 : 150;
                std::uint8_t* out = &rgb_[(static_cast<std::size_t>(y0) * shownW_ + x0) * 3];
                for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>((t[c] * t[3] + checker * (255 - t[3])) / 255);
            }
    }

    void draw() override {
        fl_color(FL_BACKGROUND_COLOR);
        fl_rectf(x(), y(), w(), h());
        fl_draw_image(rgb_.data(), Left(), Top(), shownW_, shownH_, 3);
    }

    int handle(int event) override {
        if (event == FL_ENTER) return 1;
        if (event == FL_MOVE || event == FL_DRAG) {
            const int px = Fl::event_x() - Left(), py = Fl::event_y() - Top();
            const Image& image = owner_.request_.image;
            if (px < 0 || py < 0 || px >= shownW_ || py >= shownH_) owner_.Describe(-1, -1);
            else owner_.Describe(px * image.width / shownW_, py * image.height / shownH_);
            return 1;
        }
        if (event == FL_LEAVE) {
            owner_.Describe(-1, -1);
            return 1;
        }
        return Fl_Widget::handle(event);
    }

private:
    int Left() const { return x() + (w() - shownW_) / 2; }
    int Top() const { return y() + (h() - shownH_) / 2; }

    PictureWindow& owner_;
    int shownW_ = 0, shownH_ = 0;
    std::vector<std::uint8_t> rgb_;
};

PictureWindow::PictureWindow(Fl_Window* owner, const PictureRequest& request, std::function<void(const Message&)> post)
    : request_(request), post_(std::move(post)) {
    constexpr int kM = 8, kRow = 25, kButton = 120;
    const int w = kView + 2 * kM, h = kView + 3 * kM + kRow;
    window_ = new Fl_Double_Window(w, h);
    window_->copy_label(ToUtf8(request_.title).c_str());
    new PictureView(kM, kM, kView, kView, *this);
    const int buttons = static_cast<int>(request_.buttons.size());
    line_ = new Fl_Box(kM, h - kM - kRow, w - 2 * kM - buttons * (kButton + kM), kRow);
    line_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    for (int b = 0; b < buttons; ++b) {
        auto* button = new Fl_Button(w - (buttons - b) * (kButton + kM), h - kM - kRow, kButton, kRow);
        button->copy_label(ToUtf8(request_.buttons[static_cast<std::size_t>(b)].label).c_str());
        // The command rides in the button; the window knows whom to tell.
        button->callback(
            [](Fl_Widget* widget, long command) {
                auto* self = static_cast<PictureWindow*>(widget->window()->user_data());
                Message m;
                m.kind = MessageKind::Command;
                m.command = static_cast<int>(command);
                if (self && self->post_) self->post_(m);
            },
            static_cast<long>(request_.buttons[static_cast<std::size_t>(b)].command));
    }
    window_->end();
    window_->user_data(this);
    window_->callback([](Fl_Widget* widget, void*) { widget->hide(); });
    // Beside the main window where the screen has room, else over its right
    // edge: the view stays in sight to show the marks.
    if (owner && owner->shown()) window_->position(std::max(0, std::min(owner->x() + owner->w() + 10, Fl::w() - w)), owner->y());
    ShowOwned(*window_, owner);
    Describe(-1, -1);
}

PictureWindow::~PictureWindow() {
    window_->hide();
    delete window_;
}

bool PictureWindow::Shown() const { return window_ && window_->shown(); }

std::string PictureWindow::Line() const { return text_; }

void PictureWindow::Describe(int x, int y) {
    text_ = x < 0 || !request_.describe ? std::string("Point at the picture to read its texels")
                                        : ToUtf8(request_.describe(x, y));
    line_->copy_label(text_.c_str());
    line_->redraw();
}

}  // namespace platform::fltk
