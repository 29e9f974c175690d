// The platform's system services on Windows: files through wide-character
// paths (UTF-8 inside the program) in binary, with 64-bit offsets; the
// performance counter; the debugger's output; a worker thread's priority.
#include "platform/win32/wide_text.h"  // windows.h, before the headers that need it

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/arguments.h"
#include "platform/system.h"
#include "platform/thread_priority.h"

namespace platform {

namespace {

std::string Reason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                   reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    if (text) LocalFree(text);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ' || w.back() == L'.')) w.pop_back();
    return Utf8(w);
}

// The largest single read or write: ReadFile and WriteFile count in DWORDs.
constexpr std::size_t kChunk = std::size_t{1} << 30;

class WinInput : public InputFile {
public:
    WinInput(HANDLE h, std::uint64_t size) : h_(h), size_(size) {}
    ~WinInput() override { CloseHandle(h_); }
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::size_t got = 0;
        while (got < count) {
            const std::uint64_t at = offset + got;
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(at);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min(count - got, kChunk));
            if (!ReadFile(h_, out + got, want, &n, &where) || n == 0) break;
            got += n;
        }
        return got;
    }

private:
    HANDLE h_;
    std::uint64_t size_;
};

class WinOutput : public OutputFile {
public:
    explicit WinOutput(HANDLE h) : h_(h) {}
    ~WinOutput() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    bool Write(const void* data, std::size_t count, std::string& error) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (count > 0) {
            if (h_ == INVALID_HANDLE_VALUE) return (error = "the file is closed"), false;
            DWORD n = 0;
            if (!WriteFile(h_, p, static_cast<DWORD>(std::min(count, kChunk)), &n, nullptr) || n == 0) {
                // A write that makes no progress is a full disk to the user.
                const DWORD e = GetLastError();
                error = Reason(e != ERROR_SUCCESS ? e : ERROR_DISK_FULL);
                return false;
            }
            p += n;
            count -= n;
        }
        return true;
    }
    bool Sync(std::string& error) override {
        if (h_ == INVALID_HANDLE_VALUE) return (error = "the file is closed"), false;
        if (FlushFileBuffers(h_)) return true;
        error = Reason(GetLastError());
        return false;
    }
    bool Close(std::string& error) override {
        if (h_ == INVALID_HANDLE_VALUE) return true;
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        if (CloseHandle(h)) return true;
        error = Reason(GetLastError());
        return false;
    }

private:
    HANDLE h_;
};

// The volume and file index that name one file, however it is spelled.
bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

class WinFiles : public FileSystem {
public:
    std::unique_ptr<InputFile> OpenForReading(const std::string& path, std::string& error) override {
        // Only a regular file opens: a folder or device is not a level file.
        switch (KindOf(path)) {
            case PathKind::Directory: error = "it is a folder, not a file"; return nullptr;
            case PathKind::Other: error = "it is not a regular file"; return nullptr;
            default: break;
        }
        // Others may go on writing or renaming it: the game's tools do.
        const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error = Reason(GetLastError());
            return nullptr;
        }
        LARGE_INTEGER size{};
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
            error = "it is not a regular file";
            CloseHandle(h);
            return nullptr;
        }
        return std::make_unique<WinInput>(h, static_cast<std::uint64_t>(size.QuadPart));
    }

    std::unique_ptr<OutputFile> CreateNewFile(const std::string& path, std::string& error) override {
        return Create(path, CREATE_NEW, error);
    }

    std::unique_ptr<OutputFile> CreateOrTruncate(const std::string& path, std::string& error) override {
        return Create(path, CREATE_ALWAYS, error);
    }

    bool MoveOver(const std::string& from, const std::string& to, std::string& error) override {
        if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        error = Reason(GetLastError());
        return false;
    }

    bool RemoveFile(const std::string& path) override { return DeleteFileW(Wide(path).c_str()) != 0; }

    bool CreateDirectories(const std::string& path, std::string& error) override {
        if (path.empty() || KindOf(path) == PathKind::Directory) return true;
        const std::string parent = FolderOf(path);
        if (!parent.empty() && parent != path && !CreateDirectories(parent, error)) return false;
        if (CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
        const DWORD e = GetLastError();
        if (e == ERROR_ALREADY_EXISTS && KindOf(path) == PathKind::Directory) return true;
        error = Reason(e);
        return false;
    }

    PathKind KindOf(const std::string& path) override {
        if (path.empty()) return PathKind::Missing;
        const DWORD a = GetFileAttributesW(Wide(path).c_str());
        if (a == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
        if (a & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
        if (a & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
        return PathKind::File;
    }

    bool StampOf(const std::string& path, FileStamp& out) override {
        WIN32_FILE_ATTRIBUTE_DATA d{};
        if (path.empty() || !GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &d)) return false;
        out.size = (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
        const std::uint64_t ticks =
            (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime;
        out.modified = static_cast<std::int64_t>(ticks) * 100;  // 100-nanosecond ticks
        return true;
    }

    bool SameFile(const std::string& a, const std::string& b) override {
        BY_HANDLE_FILE_INFORMATION x{}, y{};
        if (!Identity(a, x) || !Identity(b, y)) return false;
        return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
               x.nFileIndexLow == y.nFileIndexLow;
    }

    // A drive's root ("C:\", "C:/"), a share ("\\server\...") or the current
    // drive's root ("\levels").
    bool IsAbsolute(const std::string& path) override {
        if (path.empty()) return false;
        if (path[0] == '\\' || path[0] == '/') return true;
        return path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    }

    std::string CurrentDirectory() override {
        const DWORD n = GetCurrentDirectoryW(0, nullptr);
        if (n == 0) return {};
        std::wstring w(n, L'\0');
        const DWORD got = GetCurrentDirectoryW(n, w.data());
        w.resize(got);
        return Utf8(w);
    }

    std::string SettingsDirectory(const std::string& program) override {
        const DWORD n = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
        if (n == 0) return {};
        std::wstring w(n, L'\0');
        w.resize(GetEnvironmentVariableW(L"APPDATA", w.data(), n));
        const std::string appData = Utf8(w);
        return IsAbsolute(appData) ? JoinPath(appData, program) : std::string();
    }

private:
    std::unique_ptr<OutputFile> Create(const std::string& path, DWORD disposition, std::string& error) {
        const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error = Reason(GetLastError());
            return nullptr;
        }
        return std::make_unique<WinOutput>(h);
    }
};

}  // namespace

FileSystem& SystemFiles() {
    static WinFiles files;
    return files;
}

// Lowest rather than idle: an idle thread waits while any program keeps
// the cores busy.
void LowerThisThreadsPriority() noexcept { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST); }

std::uint64_t MonotonicNanoseconds() {
    static const std::uint64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return static_cast<std::uint64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const std::uint64_t ticks = static_cast<std::uint64_t>(now.QuadPart);
    return ticks / frequency * 1000000000ull + ticks % frequency * 1000000000ull / frequency;
}

char** StartCommandLine(int& argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return argv;
    // Owned here for the process's life; written once, at the start of main.
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    texts.clear();
    for (int i = 0; i < n; ++i) texts.push_back(Utf8(wide[i]));
    LocalFree(wide);
    pointers.clear();
    for (std::string& t : texts) pointers.push_back(t.data());
    pointers.push_back(nullptr);
    argc = n;
    return pointers.data();
}

// For a debugger, and for the console the tools run in.
void SystemDebugOutput(const char* text) {
    OutputDebugStringW(Wide(text).c_str());
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace platform
