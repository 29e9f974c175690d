// The platform's system services on POSIX systems: files and folders
// through open, pread, write, fsync and rename; the monotonic clock; a
// worker thread's priority.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/arguments.h"
#include "platform/system.h"
#include "platform/thread_priority.h"

namespace platform {

namespace {

std::string Reason(int error) { return std::strerror(error != 0 ? error : EIO); }

class PosixInput : public InputFile {
public:
    PosixInput(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~PosixInput() override { ::close(fd_); }
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::size_t got = 0;
        while (got < count) {
            const std::uint64_t at = offset + got;
            if (at > static_cast<std::uint64_t>(INT64_MAX)) break;
            const ssize_t n = ::pread(fd_, out + got, count - got, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    int fd_;
    std::uint64_t size_;
};

class PosixOutput : public OutputFile {
public:
    explicit PosixOutput(int fd) : fd_(fd) {}
    ~PosixOutput() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Write(const void* data, std::size_t count, std::string& error) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (count > 0) {
            if (fd_ < 0) return (error = "the file is closed"), false;
            const ssize_t n = ::write(fd_, p, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // A write that makes no progress is a full disk to the user.
                error = Reason(n == 0 ? ENOSPC : errno);
                return false;
            }
            p += n;
            count -= static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Sync(std::string& error) override {
        if (fd_ < 0) return (error = "the file is closed"), false;
        if (::fsync(fd_) == 0) return true;
        error = Reason(errno);
        return false;
    }
    bool Close(std::string& error) override {
        if (fd_ < 0) return true;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) == 0) return true;
        error = Reason(errno);
        return false;
    }

private:
    int fd_;
};

class PosixFiles : public FileSystem {
public:
    std::unique_ptr<InputFile> OpenForReading(const std::string& path, std::string& error) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = Reason(errno);
            return nullptr;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixInput>(fd, static_cast<std::uint64_t>(st.st_size));
    }

    std::unique_ptr<OutputFile> CreateNewFile(const std::string& path, std::string& error) override {
        return Create(path, O_CREAT | O_EXCL | O_NOFOLLOW, error);
    }

    std::unique_ptr<OutputFile> CreateOrTruncate(const std::string& path, std::string& error) override {
        return Create(path, O_CREAT | O_TRUNC, error);
    }

    bool MoveOver(const std::string& from, const std::string& to, std::string& error) override {
        if (::rename(from.c_str(), to.c_str()) == 0) return true;
        error = Reason(errno);
        return false;
    }

    bool RemoveFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    bool CreateDirectories(const std::string& path, std::string& error) override {
        if (path.empty() || KindOf(path) == PathKind::Directory) return true;
        const std::string parent = FolderOf(path);
        if (!parent.empty() && parent != path && !CreateDirectories(parent, error)) return false;
        if (::mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && KindOf(path) == PathKind::Directory)) return true;
        error = Reason(errno);
        return false;
    }

    PathKind KindOf(const std::string& path) override {
        struct stat st {};
        if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::Missing;
        if (S_ISREG(st.st_mode)) return PathKind::File;
        if (S_ISDIR(st.st_mode)) return PathKind::Directory;
        return PathKind::Other;
    }

    bool StampOf(const std::string& path, FileStamp& out) override {
        struct stat st {};
        if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
        out.size = static_cast<std::uint64_t>(st.st_size);
        out.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        return true;
    }

    bool SameFile(const std::string& a, const std::string& b) override {
        struct stat sa {}, sb {};
        if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }

    bool IsAbsolute(const std::string& path) override { return !path.empty() && path[0] == '/'; }

    std::string CurrentDirectory() override {
        char buffer[PATH_MAX];
        return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
    }

    std::string SettingsDirectory(const std::string& program) override {
        if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && IsAbsolute(xdg)) return std::string(xdg) + "/" + program;
        if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/" + program;
        return {};
    }

private:
    std::unique_ptr<OutputFile> Create(const std::string& path, int flags, std::string& error) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0666);
        if (fd < 0) {
            error = Reason(errno);
            return nullptr;
        }
        return std::make_unique<PosixOutput>(fd);
    }
};

}  // namespace

FileSystem& SystemFiles() {
    static PosixFiles files;
    return files;
}

// The lowest nice value of the ordinary class rather than the idle class:
// an idle-class thread gets nothing while other programs keep the cores
// busy, and a frame that must wait for it (a jump of the camera) would wait
// as long. On Linux a thread's nice value is its own.
void LowerThisThreadsPriority() noexcept { setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19); }

std::uint64_t MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(ts.tv_nsec);
}

char** StartCommandLine(int&, char** argv) { return argv; }

void SystemDebugOutput(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace platform
