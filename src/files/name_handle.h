// CRC-32 name handles: the identifiers under which textures are listed.
#pragma once

#include <cstddef>
#include <cstdint>

// The common reflected CRC-32 (polynomial 0xEDB88320), continuing from a
// running register; start with 0xFFFFFFFF and finish with ^ 0xFFFFFFFF.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size);
std::uint32_t Crc32(const void* data, std::size_t size);

// CRC-32 of lower-case(name + suffix) with '\' as '/', followed by the four
// little-endian bytes of value (the bit pattern of a float, usually).
// A null name or suffix counts as empty.
std::uint32_t MakeNameHandle(std::uint32_t value, const char* name, const char* suffix);

// The bit pattern of a float, as callers pass it to MakeNameHandle.
std::uint32_t FloatBits(float f);
