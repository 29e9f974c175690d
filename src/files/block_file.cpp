#include "files/block_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diag/log.h"
#include "diag/state_registry.h"
#include "platform/atomic_file.h"
#include "platform/large_memory.h"

namespace {

SymbolHandle gSymbolCounter = 0x00AF0000u;  // process-wide, never reset

void StoreU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Room for a file's bytes, not cleared (the read fills it), or null when
// there is none.
std::shared_ptr<std::uint8_t[]> FileBuffer(std::size_t size) {
    void* p = platform::AllocateLarge(size);
    if (!p) return nullptr;
    return std::shared_ptr<std::uint8_t[]>(static_cast<std::uint8_t*>(p), [](std::uint8_t* q) { platform::FreeLarge(q); });
}

// The bytes of a container being loaded: one buffer holding the part of the
// file from `base` that the header and block table span, and the stream for
// anything outside it (a file laid out otherwise than Save lays it out).
class LoadSource {
public:
    LoadSource(FileStream& s, std::uint64_t fileSize) : s_(s), size_(fileSize) {}

    void Adopt(std::shared_ptr<const std::uint8_t[]> buffer, std::uint64_t base, std::uint64_t end) {
        buffer_ = std::move(buffer);
        base_ = base;
        end_ = end;
    }
    const std::shared_ptr<const std::uint8_t[]>& Buffer() const { return buffer_; }
    std::uint64_t FileSize() const { return size_; }
    bool Inside(std::uint64_t offset, std::uint64_t n) const { return offset <= size_ && n <= size_ - offset; }
    // The bytes in the buffer, or null when they are not all there.
    const std::uint8_t* InBuffer(std::uint64_t offset, std::uint64_t n) const {
        if (!buffer_ || offset < base_ || offset > end_ || n > end_ - offset) return nullptr;
        return buffer_.get() + (offset - base_);
    }
    // Reads bytes that lie inside the file from the stream.
    bool ReadAt(std::uint64_t offset, void* out, std::size_t n) {
        return s_.Seek(static_cast<std::int64_t>(offset), FileStream::kBegin) && s_.Read(out, n);
    }

private:
    FileStream& s_;
    std::uint64_t size_;
    std::shared_ptr<const std::uint8_t[]> buffer_;
    std::uint64_t base_ = 0, end_ = 0;
};

}  // namespace

BlockData BlockData::Slice(std::shared_ptr<const std::uint8_t[]> keep, const std::uint8_t* at, std::size_t size) {
    BlockData d;
    d.keep_ = std::move(keep);
    d.slice_ = at;
    d.sliceSize_ = size;
    return d;
}

void BlockData::clear() {
    own_.clear();
    keep_.reset();
    slice_ = nullptr;
    sliceSize_ = 0;
}

std::vector<std::uint8_t>& BlockData::Own() {
    if (keep_) {
        own_.assign(slice_, slice_ + sliceSize_);
        keep_.reset();
        slice_ = nullptr;
        sliceSize_ = 0;
    }
    return own_;
}

bool operator==(const BlockData& a, const BlockData& b) {
    return a.size() == b.size() && (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

void SymbolRecord::SetName(const char* name) {
    const char* n = name ? name : "";
    const std::size_t length = std::strlen(n);
    own_ = std::make_unique_for_overwrite<char[]>(length + 1);
    std::memcpy(own_.get(), n, length + 1);
    text_ = own_.get();
}

SymbolHandle PeekNextSymbolHandle() { return gSymbolCounter + 16; }

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
    bytes_.reset();
    headerWords_ = kNewHeaderWords;
    InvalidateIndex();
}

bool BlockFile::Fail(const char* why) {
    lastError_ = why;
    return false;
}

bool BlockFile::Load(const char* fileName) {
    LzFileStream stream;
    const bool ok = Load(stream, fileName);
    if (!ok && stream.Compressed() && !stream.OpenError().empty())
        lastError_ = "the LZ-compressed file cannot be expanded: " + stream.OpenError();
    loadedCompressed_ = ok && stream.Compressed();
    return ok;
}

bool BlockFile::Load(FileStream& s, const char* fileName, bool plain) {
    Clear();
    lastError_.clear();
    loadedCompressed_ = false;
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName ? fileName : "");

    if (!s.Open(fileName, "rb")) return Fail("cannot open the file");
    auto fail = [&](const char* why) {
        s.Close();
        return Fail(why);
    };
    std::uint8_t header[kBlockHeaderSize];
    if (!s.Seek(0, FileStream::kBegin) || !s.Read(header, sizeof header))
        return fail("cannot read the 48-byte header (missing or short file)");
    if (LoadU32(header) != kBlockFileMagic) return fail("bad magic (not a block container)");
    const std::uint32_t blockCount = LoadU32(header + 8);
    const std::uint32_t symbolCount = LoadU32(header + 12);
    const std::uint32_t symbolBytesStated = LoadU32(header + 16);
    const std::uint32_t symbolOffset = LoadU32(header + 20);
    for (std::size_t k = 0; k < headerWords_.size(); ++k) headerWords_[k] = LoadU32(header + 24 + 4 * k);
    LoadSource src(s, static_cast<std::uint64_t>(s.Size()));

    // The count is believed only as far as the file can hold its records.
    const std::uint64_t tableEnd = kBlockHeaderSize + std::uint64_t{blockCount} * kBlockRecordSize;
    if (!src.Inside(kBlockHeaderSize, tableEnd - kBlockHeaderSize))
        return fail("the block table runs past the end of the file");
    const std::size_t tableBytes = static_cast<std::size_t>(tableEnd - kBlockHeaderSize);
    const auto table = std::make_unique_for_overwrite<std::uint8_t[]>(tableBytes ? tableBytes : 1);
    if (!src.ReadAt(kBlockHeaderSize, table.get(), tableBytes)) return fail("cannot read the block table");

    // What the blocks and the symbol table span past the block table, read
    // in one go when they fill at least half of it (as they fill all of it
    // in a file Save wrote); gaps that large are read around instead.
    std::uint64_t end = tableEnd, claimed = 0;
    for (std::uint32_t n = 0; n < blockCount; ++n) {
        const std::uint8_t* rec = table.get() + std::size_t{n} * kBlockRecordSize;
        const std::uint64_t offset = LoadU32(rec + 8), size = LoadU32(rec + 12);
        if (!src.Inside(offset, size) || offset < tableEnd) continue;
        end = std::max(end, offset + size);
        claimed += size;
    }
    if (symbolOffset >= tableEnd && symbolOffset < src.FileSize()) {
        const std::uint64_t stated = std::max<std::uint64_t>(std::uint64_t{symbolCount} * 12, symbolBytesStated);
        const std::uint64_t symbols = std::min(stated, src.FileSize() - symbolOffset);
        end = std::max(end, symbolOffset + symbols);
        claimed += symbols;
    }
    if (!plain && end > tableEnd && claimed >= (end - tableEnd) / 2) {
        const std::size_t n = static_cast<std::size_t>(end - tableEnd);
        if (std::shared_ptr<std::uint8_t[]> buffer = FileBuffer(n); buffer && src.ReadAt(tableEnd, buffer.get(), n))
            src.Adopt(std::move(buffer), tableEnd, end);
    }
    bytes_ = src.Buffer();

    blocks_.reserve(blockCount);
    for (std::uint32_t n = 0; n < blockCount; ++n) {
        const std::uint8_t* rec = table.get() + std::size_t{n} * kBlockRecordSize;
        BlockRecord b;
        b.type = LoadU32(rec + 24);
        b.handle = LoadU32(rec + 28);
        b.nameSymbol = LoadU32(rec + 0);
        b.owner = this;
        b.fileOffset = LoadU32(rec + 8);
        b.unknownWords = {LoadU32(rec + 4), LoadU32(rec + 16), LoadU32(rec + 20)};
        if ((b.handle & kBlockNumberMask) != n) {
            ConsolePrintf("ERROR: block handle %x does not match in block number %x\n", b.handle, n);
            return fail("a block handle does not match its position in the block table");
        }
        blocks_.push_back(std::move(b));
    }
    // Data only after the whole table is in: a block gets its bytes once the
    // file is known to hold them.
    for (std::size_t n = 0; n < blocks_.size(); ++n) {
        BlockRecord& b = blocks_[n];
        const std::uint32_t size = LoadU32(table.get() + n * kBlockRecordSize + 12);
        if (!src.Inside(b.fileOffset, size)) return fail("a block's data runs past the end of the file");
        if (const std::uint8_t* at = src.InBuffer(b.fileOffset, size)) {
            b.data = BlockData::Slice(bytes_, at, size);
            continue;
        }
        std::vector<std::uint8_t> own(size);
        if (size && !src.ReadAt(b.fileOffset, own.data(), size)) return fail("cannot read a block's data");
        b.data = std::move(own);
    }

    // Every symbol record takes at least 12 bytes, which bounds the count.
    if (!src.Inside(symbolOffset, std::uint64_t{symbolCount} * 12))
        return fail("the symbol table runs past the end of the file");
    symbols_.resize(symbolCount);
    std::uint64_t at = symbolOffset;
    std::vector<std::uint8_t> spill;  // a record outside the buffer
    for (SymbolRecord& sym : symbols_) {
        if (!src.Inside(at, 12)) return fail("the symbol table runs past the end of the file");
        const std::uint8_t* rec = src.InBuffer(at, 12);
        std::uint8_t read[12];
        if (!rec) {
            if (!src.ReadAt(at, read, sizeof read)) return fail("the symbol table runs past the end of the file");
            rec = read;
        }
        sym.handle = LoadU32(rec);
        const std::uint32_t length = LoadU32(rec + 4);
        sym.refCount = LoadU32(rec + 8);
        at += 12;
        if (!src.Inside(at, length)) return fail("a symbol name runs past the end of the file");
        // Names are C strings: cut at the first zero, and terminated even
        // when the file forgot the zero.
        const std::uint8_t* name = src.InBuffer(at, length);
        if (!name && length) {
            spill.resize(length);
            if (!src.ReadAt(at, spill.data(), length)) return fail("cannot read a symbol name");
            name = spill.data();
        }
        at += length;
        const void* zero = length ? std::memchr(name, 0, length) : nullptr;
        if (zero && name != spill.data()) {
            sym.SetNameInPlace(reinterpret_cast<const char*>(name));
        } else if (length) {
            const std::size_t cut = zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - name) : length;
            sym.SetName(std::string(reinterpret_cast<const char*>(name), cut).c_str());
        }
    }
    InvalidateIndex();
    s.Close();
    return true;
}

std::vector<std::uint8_t> BlockFile::SaveToMemory() {
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint8_t> out = Serialise(nullptr, {}, &offsets);
    for (std::size_t n = 0; n < blocks_.size(); ++n) blocks_[n].fileOffset = offsets[n];
    return out;
}

std::vector<std::uint8_t> BlockFile::SaveToMemory(BlockHandle replaced, std::span<const std::uint8_t> with) const {
    return Serialise(GetBlock(replaced), with, nullptr);
}

std::vector<std::uint8_t> BlockFile::Serialise(const BlockRecord* replaced, std::span<const std::uint8_t> with,
                                               std::vector<std::uint32_t>* offsets) const {
    // Header, block table, data, symbols: the layout Save writes.
    std::vector<std::uint8_t> out(kBlockHeaderSize + kBlockRecordSize * blocks_.size());
    std::size_t total = out.size();
    for (const BlockRecord& b : blocks_) total += &b == replaced ? with.size() : b.data.size();
    out.reserve(total);
    std::vector<std::uint32_t> at(blocks_.size());
    for (std::size_t n = 0; n < blocks_.size(); ++n) {
        const BlockRecord& b = blocks_[n];
        at[n] = static_cast<std::uint32_t>(out.size());
        if (&b == replaced) out.insert(out.end(), with.begin(), with.end());
        else out.insert(out.end(), b.data.begin(), b.data.end());
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
    for (std::size_t k = 0; k < headerWords_.size(); ++k) StoreU32(h + 24 + 4 * k, headerWords_[k]);
    for (std::size_t n = 0; n < blocks_.size(); ++n) {
        std::uint8_t* r = h + kBlockHeaderSize + kBlockRecordSize * n;
        const BlockRecord& b = blocks_[n];
        StoreU32(r + 0, b.nameSymbol);
        StoreU32(r + 4, b.unknownWords[0]);
        StoreU32(r + 8, at[n]);
        StoreU32(r + 12, &b == replaced ? static_cast<std::uint32_t>(with.size()) : b.size());
        StoreU32(r + 16, b.unknownWords[1]);
        StoreU32(r + 20, b.unknownWords[2]);
        StoreU32(r + 24, b.type);
        StoreU32(r + 28, b.handle);
    }
    if (offsets) *offsets = std::move(at);
    return out;
}

bool BlockFile::Save(const char* fileName) {
    lastError_.clear();
    std::snprintf(fileName_, sizeof fileName_, "%s", fileName ? fileName : "");
    std::uint64_t total = kBlockHeaderSize + kBlockRecordSize * blocks_.size();
    for (const BlockRecord& b : blocks_) total += b.data.size();
    for (const SymbolRecord& sym : symbols_) total += 12 + std::strlen(sym.Name()) + 1;
    if (total > 0xFFFFFFFFull) return Fail("the content does not fit 32-bit file offsets");

    if (!fileName || !*fileName) return Fail("no file name was given");
    std::string error;
    if (!platform::WriteFileAtomically(fileName, SaveToMemory(), error)) {
        lastError_ = error;
        return false;
    }
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

namespace {
std::size_t SlotOf(SymbolHandle h, std::size_t mask) {
    return static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}
}  // namespace

const char* BlockFile::GetSymbolName(SymbolHandle handle) const {
    if (!indexValid_) {
        // Hashed; handles that crowd together (as a file can make them) fall
        // back to a sorted table, which never takes more than n log n.
        std::size_t n = 16;
        while (n < 2 * symbols_.size()) n *= 2;
        handleIndex_.assign(n, {0, kNoSymbol});
        indexSorted_ = false;
        for (std::size_t i = 0; i < symbols_.size() && !indexSorted_; ++i) {
            std::size_t at = SlotOf(symbols_[i].handle, n - 1), probes = 0;
            while (handleIndex_[at].second != kNoSymbol && handleIndex_[at].first != symbols_[i].handle) {
                at = (at + 1) & (n - 1);
                if (++probes > 64) indexSorted_ = true;
            }
            if (handleIndex_[at].second == kNoSymbol)
                handleIndex_[at] = {symbols_[i].handle, static_cast<std::uint32_t>(i)};  // the first wins
        }
        if (indexSorted_) {
            handleIndex_.clear();
            for (std::size_t i = 0; i < symbols_.size(); ++i)
                handleIndex_.emplace_back(symbols_[i].handle, static_cast<std::uint32_t>(i));
            std::sort(handleIndex_.begin(), handleIndex_.end());  // the first of a handle leads its run
        }
        indexValid_ = true;
    }
    if (indexSorted_) {
        const auto it =
            std::lower_bound(handleIndex_.begin(), handleIndex_.end(), std::make_pair(handle, std::uint32_t{0}));
        return it == handleIndex_.end() || it->first != handle ? nullptr : symbols_[it->second].Name();
    }
    const std::size_t mask = handleIndex_.size() - 1;
    for (std::size_t at = SlotOf(handle, mask);; at = (at + 1) & mask) {
        if (handleIndex_[at].second == kNoSymbol) return nullptr;
        if (handleIndex_[at].first == handle) return symbols_[handleIndex_[at].second].Name();
    }
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
    rec.SetName(n);
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
    slot->unknownWords = {};
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

