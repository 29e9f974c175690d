// Writing a file whole or not at all: the bytes go to a new temporary file
// beside the target (created exclusively, under a name nobody else holds),
// every write is checked, the file is flushed to the disk, and only then is
// it renamed over the target. On any failure the target is as it was, the
// temporary is removed, and the reason is kept. Every file the program
// writes whole goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace platform {

class AtomicFile {
public:
    explicit AtomicFile(std::string target) : target_(std::move(target)) {}
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile() { Abandon(); }

    // Creates the temporary; false (with Error) when it cannot be made.
    bool Open();
    // Appends bytes. After a failure every later call fails too, so a
    // writer may check once at the end.
    bool Write(const void* data, std::size_t count);
    bool Write(std::span<const std::uint8_t> bytes) { return Write(bytes.data(), bytes.size()); }
    // Flushes, closes and renames over the target; false leaves the target
    // untouched and the temporary gone.
    bool Commit();
    // Removes the temporary (nothing happens to the target).
    void Abandon();

    bool Failed() const { return !error_.empty(); }
    // "Could not write TARGET: reason", empty while all is well.
    const std::string& Error() const { return error_; }
    const std::string& Target() const { return target_; }
    std::uint64_t BytesWritten() const { return written_; }

private:
    bool Fail(const std::string& reason);

    std::string target_, temporary_, error_;
    std::unique_ptr<OutputFile> file_;
    std::uint64_t written_ = 0;
};

// Files no writer may replace, under any spelling: the loaded level's own
// and a tool's inputs. Set by the level's load (and by tools over what they
// read), replacing the earlier set; read by AtomicFile::Open; emptied with
// the level.
void ProtectFiles(std::vector<std::string> paths);
// The protected file that path names, or empty.
std::string ProtectedFileAt(const std::string& path);

// The whole of bytes as the file at path; false with the reason.
bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error);

}  // namespace platform
