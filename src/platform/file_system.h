// Files and folders: every file the program opens, writes, renames or
// removes, and every folder it looks at, goes through here. Paths are UTF-8
// text; offsets and sizes are 64-bit. One implementation per operating
// system (src/platform/posix/, ...), chosen by the build; tests install a
// file system of their own to make writes come up short, fill the disk or
// refuse a rename.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class PathKind { Missing, File, Directory, Other };

// What tells one version of a file from the next: its size and the time it
// was last written (nanoseconds since the system's epoch).
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;
};

// A regular file open for reading.
class InputFile {
public:
    virtual ~InputFile() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to count bytes at offset; fewer only at the end of the file
    // or on an error.
    virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// A file open for writing from its start. Destroying it closes it.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Every byte, or false with the reason (a short write is a failure).
    virtual bool Write(const void* data, std::size_t count, std::string& error) = 0;
    // What was written is on the disk when this returns true.
    virtual bool Sync(std::string& error) = 0;
    virtual bool Close(std::string& error) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // A regular file (never a folder or a device), or null with the reason.
    virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path, std::string& error) = 0;
    // A file that did not exist until now; fails when anything, a link
    // included, has the name already.
    virtual std::unique_ptr<OutputFile> CreateNewFile(const std::string& path, std::string& error) = 0;
    // Creates the file or empties the one there (the debug log).
    virtual std::unique_ptr<OutputFile> CreateOrTruncate(const std::string& path, std::string& error) = 0;
    // Puts from in the place of to in one step, replacing what was there.
    virtual bool MoveOver(const std::string& from, const std::string& to, std::string& error) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    virtual bool CreateDirectories(const std::string& path, std::string& error) = 0;

    virtual PathKind KindOf(const std::string& path) = 0;
    // False when the file cannot be looked at.
    virtual bool StampOf(const std::string& path, FileStamp& out) = 0;
    // Whether both name one existing file, however each is spelled.
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;
    virtual bool IsAbsolute(const std::string& path) = 0;
    virtual std::string CurrentDirectory() = 0;
    // The folder where this user's settings of a program are kept (it may
    // not exist yet), or empty when the system names none.
    virtual std::string SettingsDirectory(const std::string& program) = 0;
};

// The file system in use: the system's own unless a test installed another
// (the caller keeps ownership; nullptr restores the system's).
FileSystem& Files();
void InstallFileSystem(FileSystem* files);

// The whole of a regular file, or false with the reason.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// The folder part of a path, up to and without its last separator ('/', and
// '\' too); empty without one.
std::string FolderOf(const std::string& path);
// The name part after the last separator.
std::string NameOf(const std::string& path);

// A name inside a folder, joined with the separator the folder is written
// with ('\' only where it has no '/'), so that a Windows path stays one
// spelling in messages.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace platform
