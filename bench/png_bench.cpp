// PNG encoding of an 8000 x 8000 RGBA overview map (smooth ground colours,
// shading, roads and a little noise): the single zlib stream against the
// strips deflated on all cores, runs interleaved, with the files' sizes.
// The processor time beside the wall time shows how many cores the strips
// really had on a shared machine.
//
//   bench_png [--runs N] [--size PIXELS] [--threads N]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "files/png_image.h"

namespace {

std::vector<std::uint8_t> MapPicture(std::uint32_t size) {
    // Heights from separable waves: cheap for 64 million pixels, smooth
    // like a ground seen from above.
    std::vector<float> wx(size), wy(size), wd(2 * std::size_t{size});
    for (std::uint32_t i = 0; i < size; ++i) {
        wx[i] = 40.0f * std::sin(i * 0.0031f) + 12.0f * std::sin(i * 0.021f);
        wy[i] = 35.0f * std::cos(i * 0.0027f) + 9.0f * std::sin(i * 0.017f + 1.0f);
    }
    for (std::size_t i = 0; i < wd.size(); ++i) wd[i] = 20.0f * std::sin(static_cast<float>(i) * 0.0049f);
    std::vector<std::uint8_t> rgba(std::size_t{size} * size * 4);
    std::uint32_t noise = 1;
    for (std::uint32_t y = 0; y < size; ++y)
        for (std::uint32_t x = 0; x < size; ++x) {
            const float h = wx[x] + wy[y] + wd[x + y];
            const float shade = 0.8f + 0.004f * (wx[std::min(x + 1, size - 1)] - wx[x] + h * 0.5f);
            float r, g, b;
            if (h < -30.0f) r = 30, g = 60, b = 140 + h * 0.3f;  // water
            else if (h < 40.0f) r = 70 + h * 0.4f, g = 120 + h * 0.5f, b = 50;  // grass
            else r = g = b = 110 + h * 0.3f;  // rock
            noise = noise * 1664525u + 1013904223u;
            const int jitter = static_cast<int>(noise >> 29) - 4;
            const bool road = (x % 997) < 6 || ((x + 2 * y) % 1531) < 8;
            std::uint8_t* p = &rgba[(std::size_t{y} * size + x) * 4];
            auto put = [&](float v) { return static_cast<std::uint8_t>(std::clamp(v * shade + jitter, 0.0f, 255.0f)); };
            if (road) p[0] = 200, p[1] = 190, p[2] = 170;
            else p[0] = put(r), p[1] = put(g), p[2] = put(b);
            p[3] = 255;
        }
    return rgba;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Series {
    std::vector<double> seconds, cpu;
    std::size_t bytes = 0;
    void Print(const char* label) const {
        std::printf("  %-11s min %6.2f s  median %6.2f s  max %6.2f s  (processor %6.2f s)  %zu bytes\n", label,
                    *std::min_element(seconds.begin(), seconds.end()), Median(seconds),
                    *std::max_element(seconds.begin(), seconds.end()), Median(cpu), bytes);
    }
};

template <class F>
bool Time(Series& series, F encode) {
    std::vector<std::uint8_t> png;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    if (!encode(png)) return false;
    series.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    series.cpu.push_back(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
    series.bytes = png.size();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::uint32_t size = 8000;
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        if (flag == "--size") size = static_cast<std::uint32_t>(std::max(1, std::atoi(argv[i + 1])));
        if (flag == "--threads") threads = static_cast<unsigned>(std::max(1, std::atoi(argv[i + 1])));
    }
    const std::vector<std::uint8_t> rgba = MapPicture(size);
    const PngImage image{size, size, PngFormat::Rgba8, rgba, {}};
    const std::size_t rows = png_detail::RowsPerStrip(image);
    std::printf("bench_png: %u x %u RGBA (%.0f MiB), level %d, %zu strips, %u threads, %d runs each\n", size, size,
                static_cast<double>(rgba.size()) / (1 << 20), kPngCompressionLevel, (size + rows - 1) / rows, threads,
                runs);
    Series plain, strips;
    for (int r = 0; r < runs; ++r) {
        const bool ok =
            Time(plain, [&](auto& png) { return png_detail::EncodePngPlain(image, png, kPngCompressionLevel); }) &&
            Time(strips, [&](auto& png) { return png_detail::EncodePngOn(image, png, kPngCompressionLevel, threads); });
        if (!ok) {
            std::fprintf(stderr, "bench_png: the picture could not be encoded\n");
            return 1;
        }
    }
    plain.Print("one stream");
    strips.Print("strips");
    std::printf("  median speed-up %.2fx, size %+.2f%%\n", Median(plain.seconds) / Median(strips.seconds),
                100.0 * (static_cast<double>(strips.bytes) / static_cast<double>(plain.bytes) - 1.0));
    return 0;
}
