// Counts the pixels that differ between the same region of two PNG files.
//   png_region_diff A.png B.png X Y W H [MIN [BX BY]]   (Y counted from the top)
// BX BY: where the region starts in B, when not where it does in A.
// With MIN, a pixel counts only when some channel differs by at least MIN
// (slow changes such as drifting clouds stay below it).
// Prints the count; exits 2 when the files cannot be read.
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/png_image.h"

int main(int argc, char** argv) {
    if (argc != 7 && argc != 8 && argc != 10) {
        std::fprintf(stderr, "usage: png_region_diff A.png B.png X Y W H [MIN [BX BY]]\n");
        return 2;
    }
    std::uint32_t wa, ha, wb, hb;
    std::vector<std::uint8_t> a, b;
    std::string error;
    if (!ReadPngFile(argv[1], wa, ha, a, error) || !ReadPngFile(argv[2], wb, hb, b, error)) {
        std::fprintf(stderr, "png_region_diff: %s\n", error.c_str());
        return 2;
    }
    const long x0 = std::atol(argv[3]), y0 = std::atol(argv[4]), w = std::atol(argv[5]), h = std::atol(argv[6]);
    const int minimum = argc >= 8 ? std::atoi(argv[7]) : 1;
    const long dx = argc == 10 ? std::atol(argv[8]) - x0 : 0, dy = argc == 10 ? std::atol(argv[9]) - y0 : 0;
    long differing = 0;
    for (long y = y0; y < y0 + h; ++y)
        for (long x = x0; x < x0 + w; ++x) {
            const long bx = x + dx, by = y + dy;
            if (x < 0 || y < 0 || bx < 0 || by < 0 || x >= static_cast<long>(wa) || y >= static_cast<long>(ha) ||
                bx >= static_cast<long>(wb) || by >= static_cast<long>(hb))
                continue;
            const std::size_t ia = (static_cast<std::size_t>(y) * wa + static_cast<std::size_t>(x)) * 4;
            const std::size_t ib = (static_cast<std::size_t>(by) * wb + static_cast<std::size_t>(bx)) * 4;
            int most = 0;
            for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(int{a[ia + c]} - int{b[ib + c]}));
            if (most >= minimum) ++differing;
        }
    std::printf("%ld\n", differing);
    return 0;
}
