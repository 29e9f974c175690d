#include "files/file_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (!mode || !std::strchr(mode, 'r')) return false;
    fd_ = name ? ::open(name, O_RDONLY | O_CLOEXEC) : -1;
    if (fd_ >= 0) {
        struct stat st {};
        if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
            size_ = st.st_size;
        } else {
            ::close(fd_);  // a directory or device is not a level file
            fd_ = -1;
        }
    }
    return true;
}

bool PlainFileStream::Read(void* buffer, std::size_t count) {
    if (fd_ < 0) return false;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd_, out + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    position_ += static_cast<std::int64_t>(got);
    return got == count;
}

bool PlainFileStream::Seek(std::int64_t offset, int origin) {
    if (fd_ < 0) return false;
    const std::int64_t target = Target(offset, origin, position_, size_);
    if (target < 0) return false;
    if (target != position_ && ::lseek(fd_, static_cast<off_t>(target), SEEK_SET) != target) return false;
    position_ = target;
    return true;
}

bool PlainFileStream::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
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
