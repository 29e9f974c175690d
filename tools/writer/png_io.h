// PNG files of 8-bit RGBA images, through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wvwrite {

bool WritePng(const std::string& path, std::uint32_t width, std::uint32_t height,
              const std::vector<std::uint8_t>& rgba, std::string* error);
// A 16-bit greyscale PNG of values in row order, the first row at the top.
bool WriteGrey16Png(const std::string& path, std::uint32_t width, std::uint32_t height,
                    const std::vector<std::uint16_t>& grey, std::string* error);
// Reads any PNG, converted to 8-bit RGBA.
bool ReadPng(const std::string& path, std::uint32_t& width, std::uint32_t& height,
             std::vector<std::uint8_t>& rgba, std::string* error);

}  // namespace wvwrite
