#include "files/block_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag/log.h"
#include "diag/state_registry.h"

namespace {

SymbolHandle gSymbolCounter = 0x00AF0000u;  // process-wide, never reset

void StoreU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::vector<char> CopyName(const char* name) {
    const char* n = name ? name : "";
    return std::vector<char>(n, n + std::strlen(n) + 1);
}

// True when [offset, offset + size) lies inside the stream; leaves the
// stream positioned at offset.
bool RegionInside(FileStream& s, std::uint64_t offset, std::uint64_t size) {
    if (!s.Seek(static_cast<std::int64_t>(offset + size), FileStream::kBegin)) return false;
    return s.Seek(static_cast<std::int64_t>(offset), FileStream::kBegin);
}

}  // namespace

SymbolHandle PeekNextSymbolHandle() { return gSymbolCounter + 16; }

std::uint32_t LoadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset, std::uint32_t& out) {
    out = 0;
    if (offset > bytes.size() || bytes.size() - offset < 4) return false;
    out = LoadU32(bytes.data() + offset);
    return true;
}

bool ReadF32(std::span<const std::uint8_t> bytes, std::size_t offset, float& out) {
    std::uint32_t bits;
    const bool ok = ReadU32(bytes, offset, bits);
    std::memcpy(&out, &bits, sizeof out);
    return ok;
}

const char* BlockRecord::GetName() const { return owner ? owner->GetSymbolName(nameSymbol) : nullptr; }

void BlockRecord::SetName(const char* newName) {
    if (!owner) return;
    const char* current = GetName();
    if (current && newName && std::strcmp(current, newName) == 0) return;
    owner->ReleaseSymbol(nameSymbol);
    nameSymbol = owner->AddSymbolReference(newName);
}

void BlockFile::Clear() {
    blocks_.clear();
    symbols_.clear();
    InvalidateIndex();
}

bool BlockFile::Fail(const char* why) {
    lastError_ = why;
    return false;
}

bool BlockFile::Load(const char* fileName) {
    PlainFileStream stream;
    return Load(stream, fileName);
}

bool BlockFile::Load(FileStream& s, const char* fileName) {
    Clear();
    lastError_.clear();
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName ? fileName : "");

    if (!s.Open(fileName, "rb")) return Fail("cannot open the file");
    std::uint8_t header[kBlockHeaderSize];
    if (!s.Seek(0, FileStream::kBegin) || !s.Read(header, sizeof header)) {
        s.Close();
        return Fail("cannot read the 48-byte header (missing or short file)");
    }
    if (LoadU32(header) != kBlockFileMagic) {
        s.Close();
        return Fail("bad magic (not a block container)");
    }
    const std::uint32_t blockCount = LoadU32(header + 8);
    const std::uint32_t symbolCount = LoadU32(header + 12);
    const std::uint32_t symbolOffset = LoadU32(header + 20);

    // The count is believed only as far as the file can hold its records.
    if (!RegionInside(s, kBlockHeaderSize, std::uint64_t{blockCount} * kBlockRecordSize)) {
        s.Close();
        return Fail("the block table runs past the end of the file");
    }
    blocks_.reserve(blockCount);
    std::vector<std::uint32_t> sizes;
    sizes.reserve(blockCount);
    for (std::uint32_t n = 0; n < blockCount; ++n) {
        std::uint8_t rec[kBlockRecordSize];
        if (!s.Read(rec, sizeof rec)) {
            s.Close();
            return Fail("cannot read the block table");
        }
        BlockRecord b;
        b.type = LoadU32(rec + 24);
        b.handle = LoadU32(rec + 28);
        b.nameSymbol = LoadU32(rec + 0);
        b.owner = this;
        b.fileOffset = LoadU32(rec + 8);
        if ((b.handle & kBlockNumberMask) != n) {
            ConsolePrintf("ERROR: block handle %x does not match in block number %x\n", b.handle, n);
            s.Close();
            return Fail("a block handle does not match its position in the block table");
        }
        blocks_.push_back(std::move(b));
        sizes.push_back(LoadU32(rec + 12));
    }
    // Data only after the whole table is in: each block is allocated once
    // the file is known to hold it.
    for (std::size_t n = 0; n < blocks_.size(); ++n) {
        BlockRecord& b = blocks_[n];
        if (!RegionInside(s, b.fileOffset, sizes[n])) {
            s.Close();
            return Fail("a block's data runs past the end of the file");
        }
        b.data.resize(sizes[n]);
        if (sizes[n] && !s.Read(b.data.data(), sizes[n])) {
            s.Close();
            return Fail("cannot read a block's data");
        }
    }

    // Every symbol record takes at least 12 bytes, which bounds the count.
    if (!RegionInside(s, symbolOffset, std::uint64_t{symbolCount} * 12)) {
        s.Close();
        return Fail("the symbol table runs past the end of the file");
    }
    symbols_.resize(symbolCount);
    for (SymbolRecord& sym : symbols_) {
        std::uint8_t rec[12];
        if (!s.Read(rec, sizeof rec)) {
            s.Close();
            return Fail("the symbol table runs past the end of the file");
        }
        sym.handle = LoadU32(rec);
        const std::uint32_t length = LoadU32(rec + 4);
        sym.refCount = LoadU32(rec + 8);
        if (!s.Seek(length, FileStream::kCurrent) || !s.Seek(-static_cast<std::int64_t>(length), FileStream::kCurrent)) {
            s.Close();
            return Fail("a symbol name runs past the end of the file");
        }
        std::vector<char> raw(length);
        if (length && !s.Read(raw.data(), length)) {
            s.Close();
            return Fail("cannot read a symbol name");
        }
        // Names are C strings: cut at the first zero, and terminated even
        // when the file forgot the zero.
        sym.name.assign(raw.begin(), std::find(raw.begin(), raw.end(), '\0'));
        sym.name.push_back('\0');
    }
    InvalidateIndex();
    s.Close();
    return true;
}

std::vector<std::uint8_t> BlockFile::SaveToMemory() {
    // Header, block table, data, symbols: the layout Save writes.
    std::vector<std::uint8_t> out(kBlockHeaderSize + kBlockRecordSize * blocks_.size());
    for (BlockRecord& b : blocks_) {
        b.fileOffset = static_cast<std::uint32_t>(out.size());
        out.insert(out.end(), b.data.begin(), b.data.end());
    }
    const std::uint32_t symbolOffset = static_cast<std::uint32_t>(out.size());
    for (const SymbolRecord& sym : symbols_) {
        const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(sym.Name()) + 1);
        std::uint8_t rec[12];
        StoreU32(rec, sym.handle);
        StoreU32(rec + 4, length);
        StoreU32(rec + 8, sym.refCount);
        out.insert(out.end(), rec, rec + 12);
        out.insert(out.end(), sym.Name(), sym.Name() + length);
    }
    std::uint8_t* h = out.data();
    StoreU32(h + 0, kBlockFileMagic);
    StoreU32(h + 4, static_cast<std::uint32_t>(out.size()));
    StoreU32(h + 8, static_cast<std::uint32_t>(blocks_.size()));
    StoreU32(h + 12, static_cast<std::uint32_t>(symbols_.size()));
    StoreU32(h + 16, static_cast<std::uint32_t>(out.size()) - symbolOffset);
    StoreU32(h + 20, symbolOffset);
    StoreU32(h + 24, 0);
    StoreU32(h + 28, 12);
    StoreU32(h + 32, 10);
    StoreU32(h + 36, 0);
    StoreU32(h + 40, 0);
    StoreU32(h + 44, 0);
    for (std::size_t n = 0; n < blocks_.size(); ++n) {
        std::uint8_t* r = h + kBlockHeaderSize + kBlockRecordSize * n;
        const BlockRecord& b = blocks_[n];
        StoreU32(r + 0, b.nameSymbol);
        StoreU32(r + 4, 0);
        StoreU32(r + 8, b.fileOffset);
        StoreU32(r + 12, b.size());
        StoreU32(r + 16, 0);
        StoreU32(r + 20, 0);
        StoreU32(r + 24, b.type);
        StoreU32(r + 28, b.handle);
    }
    return out;
}

bool BlockFile::Save(const char* fileName) {
    lastError_.clear();
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName ? fileName : "");
    std::uint64_t total = kBlockHeaderSize + kBlockRecordSize * blocks_.size();
    for (const BlockRecord& b : blocks_) total += b.data.size();
    for (const SymbolRecord& sym : symbols_) total += 12 + std::strlen(sym.Name()) + 1;
    if (total > 0xFFFFFFFFull) return Fail("the content does not fit 32-bit file offsets");

    std::FILE* file = fileName ? std::fopen(fileName, "wb") : nullptr;
    if (!file) return Fail("cannot create the file");
    const std::vector<std::uint8_t> bytes = SaveToMemory();
    // Every write is checked: a full disk must not pass for a saved file.
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return Fail("cannot write the file");
    return true;
}

BlockRecord* BlockFile::GetBlock(BlockHandle handle) {
    const std::size_t n = handle & kBlockNumberMask;
    return n < blocks_.size() ? &blocks_[n] : nullptr;
}

const BlockRecord* BlockFile::GetBlock(BlockHandle handle) const {
    const std::size_t n = handle & kBlockNumberMask;
    return n < blocks_.size() ? &blocks_[n] : nullptr;
}

BlockHandle BlockFile::FindBlockHandleByName(const char* name) const {
    const SymbolHandle symbol = FindSymbolByName(name);
    if (symbol == kNotFound) return kNotFound;
    for (const BlockRecord& b : blocks_)
        if (b.nameSymbol == symbol) return b.handle;
    return kNotFound;
}

BlockRecord* BlockFile::FindBlockByName(const char* name) {
    const BlockHandle h = FindBlockHandleByName(name);
    return h == kNotFound ? nullptr : GetBlock(h);
}

const BlockRecord* BlockFile::FindBlockByName(const char* name) const {
    const BlockHandle h = FindBlockHandleByName(name);
    return h == kNotFound ? nullptr : GetBlock(h);
}

const char* BlockFile::GetSymbolNameLinear(SymbolHandle handle) const {
    for (const SymbolRecord& sym : symbols_)
        if (sym.handle == handle) return sym.Name();
    return nullptr;
}

const char* BlockFile::GetSymbolName(SymbolHandle handle) const {
    if (!indexValid_) {
        handleIndex_.clear();
        handleIndex_.reserve(symbols_.size());
        for (std::size_t i = 0; i < symbols_.size(); ++i) handleIndex_.emplace(symbols_[i].handle, i);  // first wins
        indexValid_ = true;
    }
    const auto it = handleIndex_.find(handle);
    return it == handleIndex_.end() ? nullptr : symbols_[it->second].Name();
}

SymbolHandle BlockFile::FindSymbolByName(const char* name) const {
    if (!name) return kNotFound;
    for (const SymbolRecord& sym : symbols_)
        if (std::strcmp(sym.Name(), name) == 0) return sym.handle;
    return kNotFound;
}

const char* BlockFile::GetSymbolNameAt(std::size_t index) const {
    return index < symbols_.size() ? symbols_[index].Name() : nullptr;
}

SymbolHandle BlockFile::AddSymbolReference(const char* name) {
    const char* n = name ? name : "";
    for (SymbolRecord& sym : symbols_) {
        if (std::strcmp(sym.Name(), n) == 0) {
            ++sym.refCount;
            return sym.handle;
        }
    }
    gSymbolCounter += 16;
    SymbolRecord rec;
    rec.handle = gSymbolCounter;
    rec.refCount = 1;
    rec.name = CopyName(n);
    // Merged into place: the table stays in ascending byte-wise name order.
    auto at = std::find_if(symbols_.begin(), symbols_.end(), [&](const SymbolRecord& s) {
        return std::strcmp(s.Name(), n) > 0;
    });
    symbols_.insert(at, std::move(rec));
    InvalidateIndex();
    return gSymbolCounter;
}

void BlockFile::ReleaseSymbolAt(std::size_t index) {
    SymbolRecord& sym = symbols_[index];
    // A count already at 0 (as a file may say) is released, not wrapped.
    if (sym.refCount > 1) {
        --sym.refCount;
        return;
    }
    symbols_.erase(symbols_.begin() + static_cast<std::ptrdiff_t>(index));
    InvalidateIndex();
}

void BlockFile::ReleaseSymbol(const char* name) {
    if (!name) return;
    for (std::size_t i = 0; i < symbols_.size(); ++i) {
        if (std::strcmp(symbols_[i].Name(), name) == 0) {
            ReleaseSymbolAt(i);
            return;
        }
    }
}

void BlockFile::ReleaseSymbol(SymbolHandle handle) {
    for (std::size_t i = 0; i < symbols_.size(); ++i) {
        if (symbols_[i].handle == handle) {
            ReleaseSymbolAt(i);
            return;
        }
    }
}

BlockRecord& BlockFile::NewBlock(const char* name) {
    BlockRecord* slot = nullptr;
    for (BlockRecord& b : blocks_) {
        if (b.type == kFreedBlockType) {
            ReleaseSymbol(b.nameSymbol);
            slot = &b;
            break;
        }
    }
    if (!slot) {
        BlockRecord b;
        b.handle = static_cast<BlockHandle>(blocks_.size()) | kNewBlockFlag;
        blocks_.push_back(std::move(b));
        slot = &blocks_.back();
    }
    slot->data.clear();
    slot->data.shrink_to_fit();
    slot->owner = this;
    slot->nameSymbol = AddSymbolReference(name);
    return *slot;
}

void BlockFile::FreeBlock(BlockHandle handle) {
    BlockRecord* b = GetBlock(handle);
    if (!b) return;
    b->data.clear();
    b->data.shrink_to_fit();
    b->type = kFreedBlockType;
}

BlockFile& TheSceneFile() {
    static BlockFile file;
    return file;
}

namespace {
const StateReset kSceneFileReset{"scene file", StateLayer::Files, StateScope::Level, [] { TheSceneFile().Clear(); }};
}  // namespace
