#include "platform/lz_expand.h"

#include <cstring>

namespace platform {

namespace {
constexpr std::uint8_t kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
// LZSS at its densest: a flag byte and eight two-byte matches of 18 bytes
// each, 144 bytes out of 17. A larger claim is a lie; believing it would
// size an allocation by an unchecked count.
constexpr std::uint64_t kMaxExpansion = 9;
}  // namespace

bool IsLzCompressed(std::span<const std::uint8_t> head) {
    return head.size() >= sizeof kMagic && std::memcmp(head.data(), kMagic, sizeof kMagic) == 0;
}

bool ExpandedLength(std::span<const std::uint8_t> head, std::uint64_t fileSize, std::uint64_t& length,
                    std::string& error) {
    if (!IsLzCompressed(head)) return (error = "it is not an LZ-compressed file"), false;
    if (head.size() < kLzHeaderSize || fileSize < kLzHeaderSize) return (error = "it is cut short in its header"), false;
    length = std::uint64_t{head[10]} | std::uint64_t{head[11]} << 8 | std::uint64_t{head[12]} << 16 |
             std::uint64_t{head[13]} << 24;
    const std::uint64_t body = fileSize - kLzHeaderSize;
    if (length <= body * kMaxExpansion + 64) return true;
    error = "it says it expands to " + std::to_string(length) + " bytes, more than its " + std::to_string(body) +
            " compressed bytes can hold";
    return false;
}

std::string CutShort(std::size_t got, std::uint64_t length) {
    return "it is cut short: " + std::to_string(got) + " of its " + std::to_string(length) + " bytes could be expanded";
}

bool Refuse(std::vector<std::uint8_t>& out, std::string& error, std::string why) {
    out.clear();
    out.shrink_to_fit();
    error = std::move(why);
    return false;
}

}  // namespace platform
