// The viewer's text is bytes of the Windows ANSI code page (1252), as the
// game's files and the design's narrow-character calls have it. These turn
// it into Unicode for fonts and toolkits.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The Unicode character of a code page 1252 byte; 0 for the five bytes the
// code page leaves undefined.
std::uint32_t AnsiToUnicode(unsigned char byte);

// Text for a UTF-8 toolkit: unchanged when it already is valid UTF-8 (our
// own paths and messages), else read byte by byte as code page 1252.
std::string ToUtf8(const std::string& text);

// Appends a Unicode character as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t c);

}  // namespace platform
