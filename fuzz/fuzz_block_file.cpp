// Feeds arbitrary bytes to BlockFile::Load, LZ-compressed ones through the
// expansion first (which must never read past them). A container that loads must
// answer its lookups consistently and survive SaveToMemory + Load with the
// same blocks and symbols; anything else aborts so that it shows up as a
// finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "files/block_file.h"
#include "files/file_stream.h"
#include "platform/lz_expand.h"

namespace {

[[noreturn]] void Mismatch(const char* what, std::size_t index) {
    std::fprintf(stderr, "fuzz_block_file: %s (index %zu)\n", what, index);
    std::abort();
}

// The symbol a lookup by handle should answer with: the first of that
// handle, as handles may repeat in a file.
const SymbolRecord* FirstWithHandle(const std::vector<SymbolRecord>& symbols, SymbolHandle handle) {
    for (const SymbolRecord& s : symbols)
        if (s.handle == handle) return &s;
    return nullptr;
}

void CheckLookups(const BlockFile& file) {
    const auto& blocks = file.Blocks();
    const auto& symbols = file.Symbols();
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        // Load only accepts handles whose block number is their position.
        if (file.GetBlock(blocks[n].handle) != &blocks[n]) Mismatch("GetBlock(handle) is not the block", n);
        if (file.GetBlock(static_cast<BlockHandle>(n)) != &blocks[n]) Mismatch("GetBlock(n) is not block n", n);
        const SymbolRecord* named = FirstWithHandle(symbols, blocks[n].nameSymbol);
        if (blocks[n].GetName() != (named ? named->Name() : nullptr)) Mismatch("a block's name is not its symbol's", n);
    }
    if (file.GetBlock(static_cast<BlockHandle>(blocks.size())) != nullptr) Mismatch("GetBlock past the end", 0);

    for (std::size_t i = 0; i < symbols.size(); ++i) {
        const char* name = file.GetSymbolNameAt(i);
        if (!name || std::strcmp(name, symbols[i].Name()) != 0) Mismatch("GetSymbolNameAt", i);
        if (file.GetSymbolName(symbols[i].handle) != FirstWithHandle(symbols, symbols[i].handle)->Name())
            Mismatch("GetSymbolName is not the first symbol of the handle", i);
        // Names may repeat too; lookups by name answer for the first one.
        std::size_t first = 0;
        while (std::strcmp(symbols[first].Name(), name) != 0) ++first;
        const SymbolHandle handle = symbols[first].handle;
        if (file.FindSymbolByName(name) != handle) Mismatch("FindSymbolByName is not the first symbol of the name", i);
        // A file may give a symbol the handle that also means "not found";
        // the lookups by name then cannot tell it from a missing name.
        if (handle == kNotFound) {
            (void)file.FindBlockByName(name);
            continue;
        }
        const BlockRecord* block = file.FindBlockByName(name);
        const BlockRecord* expected = nullptr;
        for (const BlockRecord& b : blocks) {
            if (b.nameSymbol == handle) {
                expected = &b;
                break;
            }
        }
        if (block != expected) Mismatch("FindBlockByName is not the first block of the name", i);
    }
    if (file.GetSymbolNameAt(symbols.size()) != nullptr) Mismatch("GetSymbolNameAt past the end", 0);
}

void CheckRoundTrip(BlockFile& file) {
    const std::vector<std::uint8_t> saved = file.SaveToMemory();
    MemoryStream stream(saved);
    BlockFile again;
    if (!again.Load(stream, "saved.grf")) {
        std::fprintf(stderr, "fuzz_block_file: reload failed: %s\n", again.LastError().c_str());
        std::abort();
    }
    const auto& a = file.Blocks();
    const auto& b = again.Blocks();
    if (a.size() != b.size()) Mismatch("block count changed", a.size());
    for (std::size_t n = 0; n < a.size(); ++n) {
        if (a[n].type != b[n].type) Mismatch("block type changed", n);
        if (a[n].handle != b[n].handle) Mismatch("block handle changed", n);
        if (a[n].nameSymbol != b[n].nameSymbol) Mismatch("block name symbol changed", n);
        if (a[n].data != b[n].data) Mismatch("block data changed", n);
    }
    const auto& s = file.Symbols();
    const auto& t = again.Symbols();
    if (s.size() != t.size()) Mismatch("symbol count changed", s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i].handle != t[i].handle) Mismatch("symbol handle changed", i);
        if (s[i].refCount != t[i].refCount) Mismatch("symbol reference count changed", i);
        if (std::strcmp(s[i].Name(), t[i].Name()) != 0) Mismatch("symbol name changed", i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    std::vector<std::uint8_t> expanded;
    if (platform::IsLzCompressed(bytes)) {
        std::string error;
        if (!platform::ExpandLz(bytes, expanded, error)) {
            if (!expanded.empty()) Mismatch("a failed expansion left bytes", expanded.size());
            return 0;
        }
        bytes = expanded;
    }
    MemoryStream stream(bytes);
    BlockFile file;
    if (!file.Load(stream, "fuzz.grf")) return 0;
    CheckLookups(file);
    CheckRoundTrip(file);
    return 0;
}
