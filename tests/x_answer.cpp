#include "x_answer.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

ModalWatchdog::ModalWatchdog(int seconds) : limit_(seconds) { Fl::add_timeout(1.0, Tick, this); }

ModalWatchdog::~ModalWatchdog() { Fl::remove_timeout(Tick, this); }

void ModalWatchdog::Tick(void* data) {
    auto* self = static_cast<ModalWatchdog*>(data);
    Fl_Window* modal = Fl::modal();
    // Boxes shown one after another may share an address; their X windows differ.
    const unsigned long id = modal && modal->shown() ? fl_xid(modal) : 0;
    if (id != self->window_) {
        self->window_ = id;
        self->seconds_ = 0;
    } else if (id && ++self->seconds_ >= self->limit_) {
        ADD_FAILURE() << "nobody answered the window \"" << (modal->label() ? modal->label() : "") << "\"";
        modal->do_callback();
        self->window_ = 0;
    }
    Fl::repeat_timeout(1.0, Tick, self);
}
