// LZ expansion through the system's own lz32 calls, which read plain and
// compressed files alike; only compressed files come here.
#include "platform/lz_expand.h"

#include <cstring>

#include "platform/file_system.h"
#include "platform/win32/wide_text.h"  // windows.h, which lzexpand.h needs first

#include <lzexpand.h>

namespace platform {
namespace {

const char* Reason(LONG code) {
    switch (code) {
        case LZERROR_BADINHANDLE: return "it could not be opened";
        case LZERROR_READ: return "it is cut short";
        case LZERROR_GLOBALLOC: return "there is not enough memory to expand it";
        default: return "its compressed data is damaged";
    }
}

}  // namespace

bool ExpandLzFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    // The header first, through our own reading: its claim is checked
    // against the file's size before anything is allocated.
    std::uint8_t head[kLzHeaderSize] = {};
    std::uint64_t packedSize = 0;
    {
        const std::unique_ptr<InputFile> file = Files().OpenForReading(path, error);
        if (!file) return false;
        packedSize = file->Size();
        if (file->ReadAt(0, head, sizeof head) != sizeof head) return Refuse(out, error, "it is cut short in its header");
    }
    std::uint64_t length = 0;
    if (!ExpandedLength(head, packedSize, length, error)) return Refuse(out, error, error);

    std::wstring wide = Wide(path);
    OFSTRUCT unused{};
    const INT h = LZOpenFileW(wide.data(), &unused, OF_READ | OF_SHARE_DENY_NONE);
    if (h < 0) return Refuse(out, error, Reason(h));
    out.resize(static_cast<std::size_t>(length));
    std::size_t got = 0;
    LONG failure = 0;
    while (got < out.size()) {
        const INT n = LZRead(h, reinterpret_cast<char*>(out.data() + got),
                             static_cast<INT>(std::min<std::size_t>(out.size() - got, 1 << 20)));
        if (n < 0) failure = n;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    LZClose(h);
    if (failure) return Refuse(out, error, Reason(failure));
    if (got < length) return Refuse(out, error, CutShort(got, length));
    return true;
}

}  // namespace platform
