// The block container of the scene file (.grf): numbered, named blocks of
// bytes plus a table of names (symbols). Read whole into memory by Load;
// written back by Save so that a saved file loads to the same tables.
//
// File layout (little-endian u32 throughout):
//   header, 48 bytes: magic 0x0ACEBABE, file size, block count, symbol count,
//     symbol table size, symbol table offset, then 0, 12, 10, 0, 0, 0
//   block table at 48: per block 32 bytes: name symbol, 0, data offset,
//     data size, 0, 0, type, handle (low 28 bits = position in the table)
//   block data, back to back in block order (Load seeks to each offset)
//   symbol table: per symbol: handle, name length with its zero, reference
//     count, the zero-terminated name
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
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

struct BlockRecord {
    std::uint32_t type = 0;             // kMeshBlockType, kFreedBlockType or carried through
    std::vector<std::uint8_t> data;     // owned; its size is the block's size
    BlockHandle handle = 0;
    SymbolHandle nameSymbol = 0;
    BlockFile* owner = nullptr;
    std::uint32_t fileOffset = 0;       // where Load found the data / Save put it

    std::uint32_t size() const { return static_cast<std::uint32_t>(data.size()); }
    std::span<const std::uint8_t> bytes() const { return data; }

    // The owner's name of this block, or null.
    const char* GetName() const;
    // Renames the block: releases the old symbol and references the new one.
    void SetName(const char* newName);
};

struct SymbolRecord {
    SymbolHandle handle = 0;
    std::uint32_t refCount = 0;
    std::vector<char> name;  // zero-terminated, owned; moving the record keeps the buffer

    const char* Name() const { return name.empty() ? "" : name.data(); }
};

class BlockFile {
public:
    BlockFile() = default;
    // Records point back at their file, so a file never moves.
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // Replaces the whole content by the file's. False for a missing or short
    // file, a wrong magic, a handle that does not match its position, or
    // any block or symbol that lies past the end of the file.
    bool Load(const char* fileName);
    bool Load(FileStream& stream, const char* fileName);
    // Writes the whole content; false when any write fails.
    bool Save(const char* fileName);
    // Serialises the content in the file layout, as Save writes it.
    std::vector<std::uint8_t> SaveToMemory();

    void Clear();

    BlockRecord* GetBlock(BlockHandle handle);
    const BlockRecord* GetBlock(BlockHandle handle) const;
    BlockHandle FindBlockHandleByName(const char* name) const;  // kNotFound if none
    BlockRecord* FindBlockByName(const char* name);
    const BlockRecord* FindBlockByName(const char* name) const;

    const char* GetSymbolName(SymbolHandle handle) const;  // null if unknown
    // The same answer by walking the table, as the index must give it.
    const char* GetSymbolNameLinear(SymbolHandle handle) const;
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

private:
    bool Fail(const char* why);
    bool WriteTo(std::FILE* file);
    void ReleaseSymbolAt(std::size_t index);

    void InvalidateIndex() { indexValid_ = false; }

    char fileName_[256] = {};
    std::vector<BlockRecord> blocks_;
    std::vector<SymbolRecord> symbols_;
    // Handle -> position of its first record; a scene's every object asks
    // for its name, so the linear walk of thousands of symbols would dominate
    // the load. Rebuilt on first use after the table changes.
    mutable std::unordered_map<SymbolHandle, std::size_t> handleIndex_;
    mutable bool indexValid_ = false;
    std::string lastError_;
};

// The level's scene file: loaded by the level load, read by scene
// construction and the mesh decoder; emptied when the level goes.
BlockFile& TheSceneFile();

// The next handle the process-wide symbol counter will give (the counter
// starts at 0x00AF0000 and is raised by 16 before each use; never reset).
SymbolHandle PeekNextSymbolHandle();

// Bounded little-endian reads from a block's bytes: false (and out = 0)
// when the value does not lie wholly inside.
bool ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint32_t& out);
bool ReadF32(std::span<const std::uint8_t> bytes, std::size_t offset, float& out);
std::uint32_t LoadU32(const std::uint8_t* p);
