// wildview-xshot: saves the X screen (or one window) as a PNG, for the
// end-to-end tests and for bug reports.
//
//   wildview-xshot OUT.png [WINDOW-ID]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/png_image.h"

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
    const char* usage =
        "usage: wildview-xshot OUT.png [WINDOW-ID]\n"
        "  Saves the X screen, or the window WINDOW-ID (decimal or 0x hex), as a PNG.\n";
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "wildview-xshot: %s\n%s", argc < 2 ? "no output file given" : "too many arguments",
                     usage);
        return 2;
    }
    // An option is never a file name: "--help" must not become a picture.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            std::fprintf(stderr, "wildview-xshot: unknown option %s\n%s", argv[i], usage);
            return 2;
        }
    }
    Window window = 0;
    if (argc == 3) {
        char* end = nullptr;
        window = static_cast<Window>(std::strtoul(argv[2], &end, 0));
        if (!*argv[2] || *end) {
            std::fprintf(stderr, "wildview-xshot: WINDOW-ID must be a number, not %s\n", argv[2]);
            return 2;
        }
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "wildview-xshot: cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    if (argc == 2) window = DefaultRootWindow(display);
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
    if (!WritePngFile(argv[1], w, h, rgba, error)) {
        std::fprintf(stderr, "wildview-xshot: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
