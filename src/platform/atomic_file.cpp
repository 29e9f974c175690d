#include "platform/atomic_file.h"

#include <atomic>

namespace platform {

namespace {

// Temporaries are "TARGET.part-N-M": N tells this object's runs apart from
// other processes' (the address of a local and a counter), M counts the
// tries. Creation is exclusive, so a name taken by anybody (a planted link
// included) is passed over, never written through.
std::string TemporaryName(const std::string& target, int attempt) {
    static std::atomic<unsigned> sequence{0};
    const unsigned n = sequence.fetch_add(1);
    const auto salt = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&n) >> 4);
    return target + ".part-" + std::to_string(salt ^ (n * 2654435761u)) + "-" + std::to_string(attempt);
}

std::vector<std::string>& Protected() {
    static std::vector<std::string> paths;
    return paths;
}

}  // namespace

bool AtomicFile::Fail(const std::string& reason) {
    if (error_.empty()) error_ = "Could not write " + target_ + ": " + reason;
    Abandon();
    return false;
}

void ProtectFiles(std::vector<std::string> paths) { Protected() = std::move(paths); }

std::string ProtectedFileAt(const std::string& path) {
    for (const std::string& file : Protected())
        if (!file.empty() && (path == file || Files().SameFile(path, file))) return file;
    return {};
}

bool AtomicFile::Open() {
    Abandon();
    error_.clear();
    written_ = 0;
    if (target_.empty()) return Fail("no file name was given");
    FileSystem& fs = Files();
    if (fs.KindOf(target_) == PathKind::Directory) return Fail("it is a folder");
    if (!ProtectedFileAt(target_).empty()) return Fail("it is one of the level's own files, which are being read");
    std::string why;
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        temporary_ = TemporaryName(target_, attempt);
        file_ = fs.CreateNewFile(temporary_, why);
        // Only a name already taken is worth another try.
        if (!file_ && fs.KindOf(temporary_) == PathKind::Missing) break;
    }
    if (!file_) {
        temporary_.clear();
        return Fail(why);
    }
    return true;
}

bool AtomicFile::Write(const void* data, std::size_t count) {
    if (!error_.empty()) return false;
    if (!file_) return Fail("the file is not open");
    std::string why;
    if (!file_->Write(data, count, why)) return Fail(why);
    written_ += count;
    return true;
}

bool AtomicFile::Commit() {
    if (!error_.empty()) return false;
    if (!file_) return Fail("the file is not open");
    std::string why;
    if (!file_->Sync(why) || !file_->Close(why)) return Fail(why);
    file_.reset();
    if (!Files().MoveOver(temporary_, target_, why)) return Fail(why);
    temporary_.clear();
    return true;
}

void AtomicFile::Abandon() {
    if (file_) {
        std::string ignored;
        file_->Close(ignored);
        file_.reset();
    }
    if (!temporary_.empty()) Files().RemoveFile(temporary_);
    temporary_.clear();
}

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error) {
    AtomicFile file(path);
    if (file.Open() && file.Write(bytes) && file.Commit()) return true;
    error = file.Error();
    return false;
}

}  // namespace platform
