// The system's LZ expansion: scene files shipped compressed by the old
// compress.exe (the "SZDD" format) read as the bytes they hold. Windows has
// it in lz32; elsewhere a library stands in.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The first bytes of a compressed file; a plain file never starts so (a
// scene file starts with its own magic).
inline constexpr std::size_t kLzHeaderSize = 14;
bool IsLzCompressed(std::span<const std::uint8_t> head);

// Expands the whole compressed file at path into out. False, with the
// reason, when it cannot be read, is damaged, cut short or claims more
// than it can hold; out is then empty.
bool ExpandLzFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error);

// Shared by the systems' expansions: the length a compressed file's header
// promises, refused (with the reason) when the file's size cannot hold it;
// and the reason for an expansion that came up short.
bool ExpandedLength(std::span<const std::uint8_t> head, std::uint64_t fileSize, std::uint64_t& length,
                    std::string& error);
std::string CutShort(std::size_t got, std::uint64_t length);
// Empties out, sets error to why and returns false.
bool Refuse(std::vector<std::uint8_t>& out, std::string& error, std::string why);

// The same over bytes in memory (the fuzz targets); not on Windows, whose
// expansion reads files only.
bool ExpandLz(std::span<const std::uint8_t> compressed, std::vector<std::uint8_t>& out, std::string& error);

}  // namespace platform
