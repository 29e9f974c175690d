// The block container of the scene file (.grf): numbered, named blocks of
// bytes plus a table of names (symbols). Read whole into memory by Load;
// written back by Save so that a saved file loads to the same tables.
//
// File layout (little-endian u32 throughout):
//   header, 48 bytes: magic 0x0ACEBABE, file size, block count, symbol count,
//     symbol table size, symbol table offset, then six words of no known use
//     (0, 12, 10, 0, 0, 0 in a new file; kept as read in a loaded one)
//   block table at 48: per block 32 bytes: name symbol, a word, data offset,
//     data size, two words, type, handle (low 28 bits = position in the
//     table); the three words of no known use are 0 in a new block and kept
//     as read
//   block data, back to back in block order (Load follows each offset)
//   symbol table: per symbol: handle, name length with its zero, reference
//     count, the zero-terminated name
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "files/file_stream.h"

using BlockHandle = std::uint32_t;
using SymbolHandle = std::uint32_t;

constexpr std::uint32_t kBlockFileMagic = 0x0ACEBABEu;
constexpr std::uint32_t kBlockNumberMask = 0x0FFFFFFFu;  // the upper 4 bits are flags
constexpr std::uint32_t kNewBlockFlag = 0x80000000u;     // blocks created in memory
constexpr std::uint32_t kMeshBlockType = 4;              // main block of a mesh object
constexpr std::uint32_t kFreedBlockType = 0xFFFFFFFFu;
constexpr std::uint32_t kNotFound = 0xFFFFFFFFu;         // "-1" of the handle lookups
constexpr std::size_t kBlockHeaderSize = 48;
constexpr std::size_t kBlockRecordSize = 32;

class BlockFile;

// The bytes of a block: its own, or a slice of the file it was loaded from,
// shared with the file's other blocks and never written through. Changing
// the bytes (a non-const [], resize, assignment) gives the block a copy of
// its own first, so a block that others overlap never changes theirs.
class BlockData {
public:
    using value_type = std::uint8_t;
    using size_type = std::size_t;
    using iterator = const std::uint8_t*;
    using const_iterator = const std::uint8_t*;

    BlockData() = default;
    BlockData(std::vector<std::uint8_t> bytes) : own_(std::move(bytes)) {}
    BlockData(std::initializer_list<std::uint8_t> bytes) : own_(bytes) {}
    // size bytes at `at`, which `keep` holds.
    static BlockData Slice(std::shared_ptr<const std::uint8_t[]> keep, const std::uint8_t* at, std::size_t size);

    std::size_t size() const { return keep_ ? sliceSize_ : own_.size(); }
    bool empty() const { return size() == 0; }
    const std::uint8_t* data() const { return keep_ ? slice_ : own_.data(); }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size(); }
    std::uint8_t operator[](std::size_t i) const { return data()[i]; }
    std::uint8_t& operator[](std::size_t i) { return Own()[i]; }
    void resize(std::size_t n) { Own().resize(n); }
    void clear();
    void shrink_to_fit() { own_.shrink_to_fit(); }
    std::vector<std::uint8_t> ToVector() const { return {begin(), end()}; }
    // True while the bytes are a slice of the loaded file.
    bool Shared() const { return keep_ != nullptr; }

    friend bool operator==(const BlockData& a, const BlockData& b);

private:
    std::vector<std::uint8_t>& Own();

    std::vector<std::uint8_t> own_;
    std::shared_ptr<const std::uint8_t[]> keep_;
    const std::uint8_t* slice_ = nullptr;
    std::size_t sliceSize_ = 0;
};

struct BlockRecord {
    std::uint32_t type = 0;             // kMeshBlockType, kFreedBlockType or carried through
    BlockData data;                     // owned or shared; its size is the block's size
    BlockHandle handle = 0;
    SymbolHandle nameSymbol = 0;
    BlockFile* owner = nullptr;
    std::uint32_t fileOffset = 0;       // where Load found the data / Save put it
    std::array<std::uint32_t, 3> unknownWords{};  // record words 1, 4 and 5, as read

    std::uint32_t size() const { return static_cast<std::uint32_t>(data.size()); }
    std::span<const std::uint8_t> bytes() const { return {data.data(), data.size()}; }

    // The owner's name of this block, or null.
    const char* GetName() const;
    // Renames the block: releases the old symbol and references the new one.
    void SetName(const char* newName);
};

// A name of the symbol table: its text is a copy of its own, or lies in the
// loaded file's bytes, which its BlockFile keeps while the record exists.
class SymbolRecord {
public:
    // The text of a name of no bytes; one object, so that every such name
    // is the same pointer wherever it is asked for.
    static constexpr char kEmpty[] = "";

    SymbolRecord() = default;
    SymbolRecord(SymbolRecord&&) = default;
    SymbolRecord& operator=(SymbolRecord&&) = default;

    SymbolHandle handle = 0;
    std::uint32_t refCount = 0;

    const char* Name() const { return text_; }
    // A zero-terminated copy of the name.
    void SetName(const char* name);
    // A name that ends at its first zero, which lies in bytes that outlive the record.
    void SetNameInPlace(const char* text) {
        own_.reset();
        text_ = text;
    }

private:
    std::unique_ptr<char[]> own_;
    const char* text_ = kEmpty;
};

class BlockFile {
public:
    BlockFile() = default;
    // Records point back at their file, so a file never moves.
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // Replaces the whole content by the file's. False for a missing or short
    // file, a wrong magic, a handle that does not match its position, or
    // any block or symbol that lies past the end of the file. The file is
    // read in a few large reads (the header, the block table, then what the
    // blocks and the symbol table span) into one buffer that the blocks and
    // names share; parts outside it are read on their own. plain: every
    // block and name read on its own, the reference the buffer is pinned to.
    bool Load(const char* fileName);
    bool Load(FileStream& stream, const char* fileName, bool plain = false);
    // Writes the whole content; false when any write fails.
    bool Save(const char* fileName);
    // Serialises the content in the file layout, as Save writes it, and
    // records where each block went.
    std::vector<std::uint8_t> SaveToMemory();
    // The same bytes with one block's data replaced, leaving the content
    // as it is (the edited level saved beside the one loaded).
    std::vector<std::uint8_t> SaveToMemory(BlockHandle replaced, std::span<const std::uint8_t> with) const;

    void Clear();

    BlockRecord* GetBlock(BlockHandle handle);
    const BlockRecord* GetBlock(BlockHandle handle) const;
    BlockHandle FindBlockHandleByName(const char* name) const;  // kNotFound if none
    BlockRecord* FindBlockByName(const char* name);
    const BlockRecord* FindBlockByName(const char* name) const;

    const char* GetSymbolName(SymbolHandle handle) const;  // null if unknown
    // The same answer by walking the table, as the index must give it.
    const char* GetSymbolNameLinear(SymbolHandle handle) const;
    // Whether the index is the sorted one (handles too crowded to hash);
    // for tests.
    bool SymbolIndexSorted() const { return indexValid_ && indexSorted_; }
    SymbolHandle FindSymbolByName(const char* name) const; // kNotFound if none
    const char* GetSymbolNameAt(std::size_t index) const;  // null past the end
    std::size_t GetSymbolCount() const { return symbols_.size(); }

    // Adds a reference to the symbol of that name, creating it (in sorted
    // place, with a handle from the process-wide counter) when new.
    SymbolHandle AddSymbolReference(const char* name);
    void ReleaseSymbol(const char* name);
    void ReleaseSymbol(SymbolHandle handle);

    // A block named name with no data; reuses the first freed slot. The
    // reference is valid until the block table next grows.
    BlockRecord& NewBlock(const char* name);
    void FreeBlock(BlockHandle handle);

    std::size_t GetBlockCount() const { return blocks_.size(); }
    const std::vector<BlockRecord>& Blocks() const { return blocks_; }
    const std::vector<SymbolRecord>& Symbols() const { return symbols_; }
    const char* FileName() const { return fileName_; }
    // Why the last Load or Save failed, in words; empty after success.
    const std::string& LastError() const { return lastError_; }
    // Whether the last Load read an LZ-compressed file (Save writes plain).
    bool LoadedCompressed() const { return loadedCompressed_; }

private:
    bool Fail(const char* why);
    std::vector<std::uint8_t> Serialise(const BlockRecord* replaced, std::span<const std::uint8_t> with,
                                        std::vector<std::uint32_t>* offsets) const;
    void ReleaseSymbolAt(std::size_t index);

    void InvalidateIndex() { indexValid_ = false; }

    char fileName_[256] = {};
    // Header words 6 to 11: as read, so that a saved file is the loaded one
    // byte for byte where nothing changed.
    static constexpr std::array<std::uint32_t, 6> kNewHeaderWords{0, 12, 10, 0, 0, 0};
    std::array<std::uint32_t, 6> headerWords_ = kNewHeaderWords;
    // The file's bytes as loaded; blocks and symbol names point into them.
    std::shared_ptr<const std::uint8_t[]> bytes_;
    std::vector<BlockRecord> blocks_;
    std::vector<SymbolRecord> symbols_;
    // Handle -> position of its first record: (handle, position) hashed into
    // a table of at least twice the symbols' number, or sorted by handle and
    // position. A scene's every object asks for its name, so the linear walk
    // of thousands of symbols would dominate the load. Rebuilt on first use
    // after the table changes.
    static constexpr std::uint32_t kNoSymbol = 0xFFFFFFFFu;
    mutable std::vector<std::pair<SymbolHandle, std::uint32_t>> handleIndex_;
    mutable bool indexSorted_ = false;
    mutable bool indexValid_ = false;
    std::string lastError_;
    bool loadedCompressed_ = false;
};

// The next handle the process-wide symbol counter will give (the counter
// starts at 0x00AF0000 and is raised by 16 before each use; never reset).
SymbolHandle PeekNextSymbolHandle();

// Bounded little-endian reads from a block's bytes: false (and out = 0)
// when the value does not lie wholly inside.
bool ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint32_t& out);
bool ReadF32(std::span<const std::uint8_t> bytes, std::size_t offset, float& out);
// Unchecked: the caller has made sure four bytes are there.
inline std::uint32_t LoadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline float LoadF32(const std::uint8_t* p) {
    const std::uint32_t bits = LoadU32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
