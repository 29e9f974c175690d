// Byte streams the block container reads through. The four operations keep
// their slot order: open, read, seek, close; the size comes after them.
//
// Unlike the streams of old, these never report a failure as success: a
// read succeeds only when every requested byte was read, and a seek
// succeeds only to a position inside the stream (its end included), so a
// reader can test whether a region lies in the file before allocating it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

class FileStream {
public:
    enum Origin { kBegin = 0, kCurrent = 1, kEnd = 2 };

    virtual ~FileStream() = default;
    // A mode without 'r' is refused. Opening a missing file succeeds; the
    // failure shows at the first read, as callers expect.
    virtual bool Open(const char* name, const char* mode) = 0;
    virtual bool Read(void* buffer, std::size_t count) = 0;
    // Origin 1 (current) and 2 (end) are honoured; any other value means 0.
    virtual bool Seek(std::int64_t offset, int origin) = 0;
    virtual bool Close() = 0;
    // The stream's length in bytes, or -1 when it is not open (or its file
    // could not be opened).
    virtual std::int64_t Size() const = 0;
};

// A plain file on disk, read without a buffer of its own: the container
// asks for its bytes in a few large reads.
class PlainFileStream : public FileStream {
public:
    ~PlainFileStream() override { Close(); }
    bool Open(const char* name, const char* mode) override;
    bool Read(void* buffer, std::size_t count) override;
    bool Seek(std::int64_t offset, int origin) override;
    bool Close() override;
    std::int64_t Size() const override { return file_ ? size_ : -1; }
    // Why the file could not be opened, after Open.
    const std::string& OpenError() const { return openError_; }

private:
    std::unique_ptr<platform::InputFile> file_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::string openError_;
};

// A stream over bytes in memory (fuzzing, tests). The bytes are borrowed.
class MemoryStream : public FileStream {
public:
    explicit MemoryStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool Open(const char* name, const char* mode) override;
    bool Read(void* buffer, std::size_t count) override;
    bool Seek(std::int64_t offset, int origin) override;
    bool Close() override { return true; }
    std::int64_t Size() const override { return open_ ? static_cast<std::int64_t>(bytes_.size()) : -1; }

private:
    std::span<const std::uint8_t> bytes_;
    std::int64_t position_ = 0;
    bool open_ = false;
};

// A file read as the system's LZ expansion reads it: an LZ-compressed file
// as the bytes it holds (expanded whole at open), any other file as it is.
// The scene file is read through it.
class LzFileStream : public FileStream {
public:
    bool Open(const char* name, const char* mode) override;
    bool Read(void* buffer, std::size_t count) override;
    bool Seek(std::int64_t offset, int origin) override;
    bool Close() override;
    std::int64_t Size() const override;
    // Whether the file last opened was compressed, and why it could not be
    // opened or expanded: both kept after Close, for the caller's message.
    bool Compressed() const { return compressed_; }
    const std::string& OpenError() const { return openError_; }

private:
    PlainFileStream file_;
    std::vector<std::uint8_t> expanded_;
    MemoryStream memory_{expanded_};
    bool compressed_ = false;
    std::string openError_;
};
