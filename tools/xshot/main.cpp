// wildview-xshot: saves the X screen (or one window) as a PNG, for the
// end-to-end tests and for bug reports.
//
//   wildview-xshot OUT.png [WINDOW-ID]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "writer/png_io.h"

namespace {

// The position of a mask's lowest set bit and its width.
void MaskShift(unsigned long mask, int& shift, int& bits) {
    shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    bits = 0;
    while (mask & 1) {
        mask >>= 1;
        ++bits;
    }
}

std::uint8_t Channel(unsigned long pixel, unsigned long mask) {
    int shift, bits;
    MaskShift(mask, shift, bits);
    if (bits == 0) return 0;
    const unsigned long v = (pixel & mask) >> shift;
    return static_cast<std::uint8_t>(v * 255 / ((1ul << bits) - 1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: wildview-xshot OUT.png [WINDOW-ID]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "wildview-xshot: cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    Window window = DefaultRootWindow(display);
    if (argc == 3) window = static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        std::fprintf(stderr, "wildview-xshot: no such window\n");
        return 1;
    }
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "wildview-xshot: cannot read the window's pixels\n");
        return 1;
    }
    const auto w = static_cast<std::uint32_t>(attributes.width), h = static_cast<std::uint32_t>(attributes.height);
    std::vector<std::uint8_t> rgba(std::size_t{w} * h * 4);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const unsigned long p = XGetPixel(image, static_cast<int>(x), static_cast<int>(y));
            std::uint8_t* o = &rgba[(std::size_t{y} * w + x) * 4];
            o[0] = Channel(p, image->red_mask);
            o[1] = Channel(p, image->green_mask);
            o[2] = Channel(p, image->blue_mask);
            o[3] = 255;
        }
    XDestroyImage(image);
    XCloseDisplay(display);
    std::string error;
    if (!wvwrite::WritePng(argv[1], w, h, rgba, &error)) {
        std::fprintf(stderr, "wildview-xshot: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
