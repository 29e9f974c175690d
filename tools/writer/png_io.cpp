#include "writer/png_io.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace wvwrite {

bool WritePng(const std::string& path, std::uint32_t width, std::uint32_t height,
              const std::vector<std::uint8_t>& rgba, std::string* error) {
    if (rgba.size() != std::size_t{width} * height * 4) {
        if (error) *error = "image size does not match its pixels";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        if (error) *error = "cannot write " + path + ": " + image.message;
        return false;
    }
    return true;
}

bool WriteGrey16Png(const std::string& path, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint16_t>& grey, std::string* error) {
    if (grey.size() != std::size_t{width} * height || width == 0 || height == 0) {
        if (error) *error = "image size does not match its pixels";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    // libpng reports errors by longjmp; nothing with a destructor lives here.
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        if (error) *error = "cannot write " + path + ": libpng failed";
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 16, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(std::size_t{width} * 2);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint16_t v = grey[std::size_t{y} * width + x];
            row[2 * x] = static_cast<png_byte>(v >> 8);  // PNG samples are big-endian
            row[2 * x + 1] = static_cast<png_byte>(v & 0xFF);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    const bool closed = std::fclose(f) == 0;
    if (!closed && error) *error = "cannot write " + path;
    return closed;
}

bool ReadPng(const std::string& path, std::uint32_t& width, std::uint32_t& height,
             std::vector<std::uint8_t>& rgba, std::string* error) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        if (error) *error = "cannot read " + path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    width = image.width;
    height = image.height;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        if (error) *error = "cannot decode " + path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace wvwrite
