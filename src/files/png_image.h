// PNG images: the one encoder every picture the programs write goes
// through (views, maps, exported textures, heights, screenshots), on zlib,
// which both systems have; and a decoder for reading pictures back.
#pragma once

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

// The image as PNG bytes; false when its pixels do not match its size.
bool EncodePng(const PngImage& image, std::vector<std::uint8_t>& out, int level = kPngCompressionLevel);
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
