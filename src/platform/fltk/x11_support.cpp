#include "platform/fltk/x11_support.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace platform::fltk {

namespace {

// A busy server can drop a new connection now and then (Xvfb does, about
// once in a few hundred); a few tries tell that from a missing server.
Display* OpenDisplay() {
    for (int attempt = 0;; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return display;
        if (attempt == 4) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

bool DisplayAnswers(std::string* why) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        if (why) *why = "DISPLAY is not set";
        return false;
    }
    Display* display = OpenDisplay();
    if (!display) {
        if (why) *why = std::string("cannot open display ") + name;
        return false;
    }
    XCloseDisplay(display);
    return true;
}

bool EnsureDisplay() {
    if (fl_display) return true;
    // fl_open_display() would end the program when there is no display.
    Display* display = OpenDisplay();
    if (!display) return false;
    fl_open_display(display);
    return true;
}

bool DisplayOpen() { return fl_display != nullptr; }

unsigned long WindowId(Fl_Window* window) { return window && window->shown() ? fl_xid(window) : 0; }

bool WaitViewable(Fl_Window* window, double seconds) {
    for (double waited = 0; waited <= seconds; waited += 0.01) {
        XWindowAttributes attributes;
        if (window->shown() && XGetWindowAttributes(fl_display, fl_xid(window), &attributes) &&
            attributes.map_state == IsViewable)
            return true;
        Fl::wait(0.01);
    }
    return false;
}

void FocusWindow(Fl_Window* window) {
    const Window xid = fl_xid(window);
    const Window root = RootWindow(fl_display, fl_screen);
    XRaiseWindow(fl_display, xid);
    // A window manager wants to be asked (EWMH, source: an application)...
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xid;
    event.xclient.message_type = XInternAtom(fl_display, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(fl_display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    // ...and a bare server is told. The window is viewable, or this would fail.
    XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
    XFlush(fl_display);
}

Rect OuterRect(Fl_Window* window) {
    const Window xid = fl_xid(window);
    const Window root = RootWindow(fl_display, fl_screen);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(fl_display, xid, &attributes)) return {};
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(fl_display, xid, root, 0, 0, &x, &y, &child);
    long left = 0, right = 0, top = 0, bottom = 0;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const Atom extents = XInternAtom(fl_display, "_NET_FRAME_EXTENTS", True);
    if (extents != 0 &&
        XGetWindowProperty(fl_display, xid, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 4) {
            const long* v = reinterpret_cast<const long*>(data);
            left = v[0], right = v[1], top = v[2], bottom = v[3];
        }
        XFree(data);
    }
    return Rect{static_cast<int>(x - left), static_cast<int>(y - top),
                static_cast<int>(x + attributes.width + right), static_cast<int>(y + attributes.height + bottom)};
}

void WarpPointer(int screenX, int screenY) {
    XWarpPointer(fl_display, 0, RootWindow(fl_display, fl_screen), 0, 0, 0, 0, screenX, screenY);
    XSync(fl_display, False);  // its motion event, if any, is in the queue now
}

bool ConfinePointer(Fl_Window* window) {
    if (!window || !window->shown()) return false;
    const Window xid = fl_xid(window);
    const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    const int status = XGrabPointer(fl_display, xid, True, mask, GrabModeAsync, GrabModeAsync, xid, 0L, CurrentTime);
    XFlush(fl_display);
    return status == GrabSuccess;
}

void ReleasePointer() {
    XUngrabPointer(fl_display, CurrentTime);
    XFlush(fl_display);
}

void ResetScreenSaver() {
    XResetScreenSaver(fl_display);
    XFlush(fl_display);
}

std::vector<int> GlxAttributes(int colourBits, int alphaBits, int depthBits) {
    const int channel = colourBits >= 24 ? 8 : colourBits >= 15 ? 5 : 1;
    return {GLX_RGBA,       GLX_DOUBLEBUFFER, GLX_RED_SIZE,   channel,   GLX_GREEN_SIZE, channel, GLX_BLUE_SIZE,
            channel,        GLX_ALPHA_SIZE,   alphaBits,      GLX_DEPTH_SIZE, depthBits, None};
}

bool ContextCurrent() { return glXGetCurrentContext() != nullptr; }

void* GlProcAddress(const char* name) {
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

std::string GlxExtensions() {
    if (!EnsureDisplay()) return {};
    const char* text = glXQueryExtensionsString(fl_display, fl_screen);
    return text ? text : "";
}

}  // namespace platform::fltk
