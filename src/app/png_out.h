// PNG images out of the viewer (the glTF export's images, the overview map).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool EncodePng(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& rgba,
               std::vector<std::uint8_t>& out);
// Writes through a temporary file renamed into place; false with the reason.
bool WritePngFile(const std::string& path, std::uint32_t width, std::uint32_t height,
                  const std::vector<std::uint8_t>& rgba, std::string& error);
