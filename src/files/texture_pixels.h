// The texture pixel file (.swp): raw pixel rows that database entries point
// at. No header; only the regions entries name are read. Reads past the end
// of the file yield zero bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

class PixelFile {
public:
    PixelFile() = default;
    PixelFile(const PixelFile&) = delete;
    PixelFile& operator=(const PixelFile&) = delete;
    ~PixelFile() { Close(); }

    // False with why (when given) when the file cannot be opened.
    bool OpenFile(const char* path, std::string* why = nullptr);
    void OpenMemory(std::span<const std::uint8_t> bytes);  // borrowed
    void Close();
    bool IsOpen() const { return file_ != nullptr || memoryOpen_; }
    std::uint64_t Size() const { return size_; }

    // Copies n bytes from offset; what lies past the end reads as 0.
    void ReadAt(std::uint64_t offset, std::uint8_t* dst, std::size_t n) const;

private:
    std::unique_ptr<platform::InputFile> file_;
    bool memoryOpen_ = false;
    std::span<const std::uint8_t> memory_;
    std::uint64_t size_ = 0;
};

// Textures larger than this a side are not decoded (nothing of the game is
// near it; the limit keeps a hostile entry from sizing a huge allocation).
constexpr std::uint32_t kMaxTextureDimension = 4096;

struct TexturePixels {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> indices;      // one colour index per texel, rows in file order
    std::vector<std::uint16_t> normalCodes; // 16-bit entries: the low 10 bits per texel
};

struct DecodedImage {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;     // 4 bytes per texel
    std::vector<std::uint8_t> normals;  // 4 bytes per texel, when asked for
};

// The bump bytes (x, y, z, 255) of a 10-bit normal code: azimuth in bits
// 4-9, elevation in bits 0-3.
void NormalCodeToBytes(std::uint16_t code, std::uint8_t out[4]);
