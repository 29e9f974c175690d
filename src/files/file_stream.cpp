#include "files/file_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/lz_expand.h"

namespace {
// Resolves a seek request to an absolute position, or -1 when it leaves
// [0, size].
std::int64_t Target(std::int64_t offset, int origin, std::int64_t position, std::int64_t size) {
    std::int64_t base = 0;
    if (origin == FileStream::kCurrent) base = position;
    else if (origin == FileStream::kEnd) base = size;
    if ((offset > 0 && base > INT64_MAX - offset)) return -1;
    const std::int64_t target = base + offset;
    return (target < 0 || target > size) ? -1 : target;
}
}  // namespace

bool PlainFileStream::Open(const char* name, const char* mode) {
    Close();
    openError_.clear();
    if (!mode || !std::strchr(mode, 'r')) return false;
    // Only a regular file opens: a directory or device is not a level file.
    if (name) file_ = platform::Files().OpenForReading(name, openError_);
    if (file_) size_ = static_cast<std::int64_t>(std::min<std::uint64_t>(file_->Size(), INT64_MAX));
    return true;
}

bool PlainFileStream::Read(void* buffer, std::size_t count) {
    if (!file_) return false;
    const std::size_t got = file_->ReadAt(static_cast<std::uint64_t>(position_), buffer, count);
    position_ += static_cast<std::int64_t>(got);
    return got == count;
}

bool PlainFileStream::Seek(std::int64_t offset, int origin) {
    if (!file_) return false;
    const std::int64_t target = Target(offset, origin, position_, size_);
    if (target < 0) return false;
    position_ = target;
    return true;
}

bool PlainFileStream::Close() {
    file_.reset();
    size_ = position_ = 0;
    return true;
}

bool MemoryStream::Open(const char*, const char* mode) {
    if (!mode || !std::strchr(mode, 'r')) return false;
    open_ = true;
    position_ = 0;
    return true;
}

bool MemoryStream::Read(void* buffer, std::size_t count) {
    if (!open_) return false;
    const std::int64_t size = static_cast<std::int64_t>(bytes_.size());
    if (static_cast<std::uint64_t>(size - position_) < count) return false;
    if (count) std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += static_cast<std::int64_t>(count);
    return true;
}

bool MemoryStream::Seek(std::int64_t offset, int origin) {
    if (!open_) return false;
    const std::int64_t target = Target(offset, origin, position_, static_cast<std::int64_t>(bytes_.size()));
    if (target < 0) return false;
    position_ = target;
    return true;
}

bool LzFileStream::Open(const char* name, const char* mode) {
    Close();
    compressed_ = false;
    openError_.clear();
    if (!file_.Open(name, mode)) return false;
    openError_ = file_.OpenError();
    std::uint8_t head[platform::kLzHeaderSize] = {};
    const std::int64_t size = file_.Size();
    const std::size_t headBytes = static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, sizeof head));
    if (size <= 0 || !file_.Read(head, headBytes) || !platform::IsLzCompressed({head, headBytes})) {
        file_.Seek(0, kBegin);
        return true;
    }
    // Compressed: expanded whole, and read from memory from now on.
    compressed_ = true;
    file_.Close();
    platform::ExpandLzFile(name, expanded_, openError_);
    memory_ = MemoryStream(expanded_);
    if (openError_.empty()) memory_.Open(name, mode);
    return true;
}

bool LzFileStream::Read(void* buffer, std::size_t count) {
    return compressed_ ? memory_.Read(buffer, count) : file_.Read(buffer, count);
}

bool LzFileStream::Seek(std::int64_t offset, int origin) {
    return compressed_ ? memory_.Seek(offset, origin) : file_.Seek(offset, origin);
}

bool LzFileStream::Close() {
    file_.Close();
    expanded_.clear();
    expanded_.shrink_to_fit();
    memory_ = MemoryStream(expanded_);
    return true;
}

std::int64_t LzFileStream::Size() const { return compressed_ ? memory_.Size() : file_.Size(); }
