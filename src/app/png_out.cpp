#include "app/png_out.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

bool EncodePng(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& rgba,
               std::vector<std::uint8_t>& out) {
    if (rgba.size() != std::size_t{width} * height * 4) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) return false;
    out.resize(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), 0, nullptr)) return false;
    out.resize(size);
    return true;
}

bool WritePngFile(const std::string& path, std::uint32_t width, std::uint32_t height,
                  const std::vector<std::uint8_t>& rgba, std::string& error) {
    std::vector<std::uint8_t> png;
    if (!EncodePng(width, height, rgba, png)) {
        error = "Could not encode the picture.";
        return false;
    }
    const std::string temporary = path + ".part";
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) {
        error = "Could not write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    const int writeErrno = errno;
    const bool closed = std::fclose(out) == 0;
    std::error_code ec;
    if (written && closed) std::filesystem::rename(temporary, path, ec);
    if (!written || !closed || ec) {
        std::filesystem::remove(temporary, ec);
        error = "Could not write " + path + ": " + std::strerror(written ? errno : writeErrno);
        return false;
    }
    return true;
}
