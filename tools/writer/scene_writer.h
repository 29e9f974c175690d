// Building blocks for scene files: a little-endian byte builder and a scene
// writer that collects named blocks in a BlockFile and saves it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/block_file.h"

namespace wvwrite {

class ByteWriter {
public:
    ByteWriter& U32(std::uint32_t v);
    ByteWriter& I32(std::int32_t v) { return U32(static_cast<std::uint32_t>(v)); }
    ByteWriter& U16(std::uint16_t v);
    ByteWriter& U8(std::uint8_t v) { bytes_.push_back(v); return *this; }
    ByteWriter& F32(float v);
    ByteWriter& Zeros(std::size_t n) { bytes_.insert(bytes_.end(), n, 0); return *this; }
    ByteWriter& CString(const std::string& s);  // the bytes and a terminating zero
    ByteWriter& Bytes(const std::vector<std::uint8_t>& b);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

class SceneWriter {
public:
    // Adds a block and returns its handle (block number | 0x80000000, the
    // form of blocks created in memory).
    BlockHandle AddBlock(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data);
    // A symbol that no block names (texture names and suffixes of materials).
    SymbolHandle Symbol(const std::string& name);

    BlockFile& file() { return file_; }
    bool Save(const std::string& path, std::string* error);

private:
    BlockFile file_;
};

}  // namespace wvwrite
