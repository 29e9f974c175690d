#include "platform/text_encoding.h"

namespace platform {

namespace {

// 0x80 to 0x9F, where code page 1252 differs from Latin-1.
constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        int more = 0;
        std::uint32_t value = 0, minimum = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            more = 1, value = c & 0x1F, minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            more = 2, value = c & 0x0F, minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            more = 3, value = c & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(more) >= text.size()) return false;
        for (int k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            value = (value << 6) | (d & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000)) return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

}  // namespace

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::uint32_t AnsiToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
    return byte;
}

std::string ToUtf8(const std::string& text) {
    if (IsValidUtf8(text)) return text;
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        const std::uint32_t u = AnsiToUnicode(static_cast<unsigned char>(c));
        AppendUtf8(out, u ? u : 0xFFFD);
    }
    return out;
}

}  // namespace platform
