// PNG images: the one encoder every picture the programs write goes
// through (views, maps, exported textures, heights, screenshots), on zlib,
// which both systems have; and a decoder for reading pictures back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class PngFormat {
    Rgba8,    // 4 bytes a pixel
    Rgb8,     // 3 bytes a pixel
    Grey16,   // one 16-bit sample a pixel, host order in the pixels
    Indexed8  // one palette index a pixel
};

struct PngImage {
    std::uint32_t width = 0, height = 0;
    PngFormat format = PngFormat::Rgba8;
    // Rows from the top of the picture, packed (no padding between rows).
    std::span<const std::uint8_t> pixels;
    // Indexed8: up to 256 colours as RGBA; entries whose alpha is below 255
    // are written as the palette's transparency.
    std::span<const std::uint8_t> paletteRgba;
};

// zlib's level 3: on a 20 000-object level's export it took half the time
// of the default 6, for files 7% larger.
constexpr int kPngCompressionLevel = 3;

// The image as PNG bytes; false (and out empty) when its pixels do not match
// its size. Pictures larger than a strip are compressed on all cores; the
// bytes are the same whatever the number of cores.
bool EncodePng(const PngImage& image, std::vector<std::uint8_t>& out, int level = kPngCompressionLevel);

namespace png_detail {
// The filtered rows are deflated in strips of whole rows, about this many
// bytes each (at least one row), shared out among the cores. The size is
// fixed so that the file does not depend on the machine.
constexpr std::size_t kStripBytes = std::size_t{1} << 20;
// Rows in one strip.
std::size_t RowsPerStrip(const PngImage& image);
// One zlib stream on this thread, whatever the size: what EncodePng writes
// for a picture of one strip.
bool EncodePngPlain(const PngImage& image, std::vector<std::uint8_t>& out, int level);
// EncodePng on at most this many threads.
bool EncodePngOn(const PngImage& image, std::vector<std::uint8_t>& out, int level, unsigned threads);
}  // namespace png_detail

// The image as the file at path, written whole or not at all.
bool WritePngFile(const std::string& path, const PngImage& image, std::string& error);
// The common case: 8-bit RGBA rows from the top.
bool WritePngFile(const std::string& path, std::uint32_t width, std::uint32_t height,
                  const std::vector<std::uint8_t>& rgba, std::string& error);

// Any PNG, as 8-bit RGBA rows from the top (16-bit samples keep their high
// byte).
bool DecodePng(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height,
               std::vector<std::uint8_t>& rgba, std::string& error);
bool ReadPngFile(const std::string& path, std::uint32_t& width, std::uint32_t& height,
                 std::vector<std::uint8_t>& rgba, std::string& error);
