// LZ expansion through libmspack's SZDD decompressor, over memory: the
// platform's files are read by the caller, and the library never sees a
// file name.
#include "platform/lz_expand.h"
#include "platform/file_system.h"

#include <mspack.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace platform {
namespace {

// One end of the library's I/O: the input read from memory, or the output
// kept up to the length the header promises.
struct MemoryFile {
    std::span<const std::uint8_t> in;
    std::size_t position = 0;
    std::vector<std::uint8_t>* out = nullptr;
    std::size_t limit = 0;
};

MemoryFile* Of(mspack_file* f) { return reinterpret_cast<MemoryFile*>(f); }

mspack_file* Open(mspack_system*, const char* name, int) {
    return reinterpret_cast<mspack_file*>(const_cast<char*>(name));
}
void Close(mspack_file*) {}

int Read(mspack_file* f, void* buffer, int bytes) {
    MemoryFile& m = *Of(f);
    if (bytes < 0 || m.out) return -1;
    const std::size_t n = std::min(static_cast<std::size_t>(bytes), m.in.size() - m.position);
    if (n) std::memcpy(buffer, m.in.data() + m.position, n);
    m.position += n;
    return static_cast<int>(n);
}

// Bytes past the promised length are dropped: the expansion still ends
// with the input.
int Write(mspack_file* f, void* buffer, int bytes) {
    MemoryFile& m = *Of(f);
    if (bytes < 0 || !m.out) return -1;
    const std::size_t keep = std::min(static_cast<std::size_t>(bytes), m.limit - m.out->size());
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    m.out->insert(m.out->end(), p, p + keep);
    return bytes;
}

int Seek(mspack_file* f, off_t offset, int mode) {
    MemoryFile& m = *Of(f);
    std::int64_t base = 0;
    if (mode == MSPACK_SYS_SEEK_CUR) base = static_cast<std::int64_t>(m.position);
    else if (mode == MSPACK_SYS_SEEK_END) base = static_cast<std::int64_t>(m.in.size());
    const std::int64_t target = base + static_cast<std::int64_t>(offset);
    if (m.out || target < 0 || target > static_cast<std::int64_t>(m.in.size())) return -1;
    m.position = static_cast<std::size_t>(target);
    return 0;
}

off_t Tell(mspack_file* f) { return static_cast<off_t>(Of(f)->out ? Of(f)->out->size() : Of(f)->position); }
void Message(mspack_file*, const char*, ...) {}
void* Alloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void Free(void* p) { std::free(p); }
void Copy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

const char* Reason(int code) {
    switch (code) {
        case MSPACK_ERR_NOMEMORY: return "there is not enough memory to expand it";
        case MSPACK_ERR_SIGNATURE: return "it is not an LZ-compressed file";
        case MSPACK_ERR_READ: return "it is cut short";
        default: return "its compressed data is damaged";
    }
}

struct Decompressor {
    void operator()(msszdd_decompressor* d) const { mspack_destroy_szdd_decompressor(d); }
};

}  // namespace

bool ExpandLz(std::span<const std::uint8_t> compressed, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    std::uint64_t length = 0;
    if (!ExpandedLength(compressed, compressed.size(), length, error)) return Refuse(out, error, error);

    mspack_system system{};
    system.open = Open;
    system.close = Close;
    system.read = Read;
    system.write = Write;
    system.seek = Seek;
    system.tell = Tell;
    system.message = Message;
    system.alloc = Alloc;
    system.free = Free;
    system.copy = Copy;
    std::unique_ptr<msszdd_decompressor, Decompressor> d(mspack_create_szdd_decompressor(&system));
    if (!d) return Refuse(out, error, "the expander could not start");

    MemoryFile input{compressed, 0, nullptr, 0};
    out.reserve(static_cast<std::size_t>(length));
    MemoryFile output{{}, 0, &out, static_cast<std::size_t>(length)};
    msszddd_header* header = d->open(d.get(), reinterpret_cast<const char*>(&input));
    if (!header) return Refuse(out, error, Reason(d->last_error(d.get())));
    const int result = d->extract(d.get(), header, reinterpret_cast<const char*>(&output));
    d->close(d.get(), header);
    if (result != MSPACK_ERR_OK) return Refuse(out, error, Reason(result));
    if (out.size() < length) return Refuse(out, error, CutShort(out.size(), length));
    return true;
}

bool ExpandLzFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    const std::unique_ptr<InputFile> file = Files().OpenForReading(path, error);
    if (!file) return false;
    if (file->Size() > SIZE_MAX / 2) return (error = "it is too large to expand"), false;
    std::vector<std::uint8_t> packed(static_cast<std::size_t>(file->Size()));
    if (file->ReadAt(0, packed.data(), packed.size()) != packed.size()) return (error = "it could not be read"), false;
    return ExpandLz(packed, out, error);
}

}  // namespace platform
