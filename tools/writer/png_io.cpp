#include "writer/png_io.h"

#include <png.h>

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
