#include "files/name_handle.h"

#include <array>
#include <cstring>

namespace {
constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        table[i] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeTable();
}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t Crc32(const void* data, std::size_t size) {
    return Crc32Update(0xFFFFFFFFu, data, size) ^ 0xFFFFFFFFu;
}

namespace {
// The CRC of text as the handle sees it: lower case (A-Z only), '/' for '\\'.
std::uint32_t CrcFolded(std::uint32_t crc, const char* text) {
    if (!text) return crc;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        else if (c == '\\') c = '/';
        crc = kCrcTable[(crc ^ static_cast<std::uint8_t>(c)) & 0xFF] ^ (crc >> 8);
    }
    return crc;
}
}  // namespace

std::uint32_t MakeNameHandle(std::uint32_t value, const char* name, const char* suffix) {
    // Name and suffix as one message, folded as they go: no text is made.
    std::uint32_t crc = CrcFolded(CrcFolded(0xFFFFFFFFu, name), suffix);
    const std::uint8_t tail[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    crc = Crc32Update(crc, tail, sizeof tail);
    return crc ^ 0xFFFFFFFFu;
}

std::uint32_t FloatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
