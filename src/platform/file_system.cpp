#include "platform/file_system.h"

#include "platform/system.h"

namespace platform {

namespace {
// Owned here: the file system a test installed, or null for the system's.
// Written by InstallFileSystem (tests), read by every file access.
FileSystem* installed = nullptr;
}  // namespace

FileSystem& Files() { return installed ? *installed : SystemFiles(); }

void InstallFileSystem(FileSystem* files) { installed = files; }

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    bytes.clear();
    std::unique_ptr<InputFile> file = Files().OpenForReading(path, error);
    if (!file) return false;
    const std::uint64_t size = file->Size();
    if (size > static_cast<std::uint64_t>(SIZE_MAX / 2)) {
        error = "the file is too large";
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    const std::size_t got = bytes.empty() ? 0 : file->ReadAt(0, bytes.data(), bytes.size());
    if (got != bytes.size()) {
        bytes.clear();
        error = "the file could not be read to its end";
        return false;
    }
    return true;
}

namespace {
std::size_t LastSeparator(const std::string& path) { return path.find_last_of("/\\"); }
}  // namespace

std::string FolderOf(const std::string& path) {
    const std::size_t at = LastSeparator(path);
    if (at == std::string::npos) return {};
    if (at == 0) return path.substr(0, 1);                   // the root
    if (at == 2 && path[1] == ':') return path.substr(0, 3);  // a drive's root
    return path.substr(0, at);
}

std::string NameOf(const std::string& path) {
    const std::size_t at = LastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    const bool backslashes = folder.find('\\') != std::string::npos && folder.find('/') == std::string::npos;
    const char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    return folder + (backslashes ? '\\' : '/') + name;
}

}  // namespace platform
