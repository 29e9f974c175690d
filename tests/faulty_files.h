// A file system that passes everything to the system's own but can be told
// to fail: a write that comes up short, a disk that is full, a flush or a
// rename that is refused, or a new file's name taken by somebody else just
// before it is made. Installed for the life of the object.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/system.h"

class FaultyFiles : public platform::FileSystem {
public:
    enum class Fault { None, ShortWrite, DiskFull, SyncFails, RenameRefused };

    explicit FaultyFiles(Fault f = Fault::None) : fault(f) { platform::InstallFileSystem(this); }
    ~FaultyFiles() override { platform::InstallFileSystem(nullptr); }

    Fault fault;
    std::uint64_t shortAfter = 100;  // ShortWrite: bytes written before the disk fills
    int plantBeforeCreate = 0;       // new files whose name somebody takes first ("planted")
    std::vector<std::string> planted;

    std::unique_ptr<platform::InputFile> OpenForReading(const std::string& p, std::string& e) override {
        return real().OpenForReading(p, e);
    }
    std::unique_ptr<platform::OutputFile> CreateNewFile(const std::string& p, std::string& e) override {
        if (plantBeforeCreate > 0) {
            --plantBeforeCreate;
            std::ofstream(p, std::ios::binary) << "planted";
            planted.push_back(p);
        }
        return Wrap(real().CreateNewFile(p, e));
    }
    std::unique_ptr<platform::OutputFile> CreateOrTruncate(const std::string& p, std::string& e) override {
        return Wrap(real().CreateOrTruncate(p, e));
    }
    bool MoveOver(const std::string& from, const std::string& to, std::string& e) override {
        if (fault == Fault::RenameRefused) return (e = "Permission denied"), false;
        return real().MoveOver(from, to, e);
    }
    bool RemoveFile(const std::string& p) override { return real().RemoveFile(p); }
    bool CreateDirectories(const std::string& p, std::string& e) override { return real().CreateDirectories(p, e); }
    platform::PathKind KindOf(const std::string& p) override { return real().KindOf(p); }
    bool StampOf(const std::string& p, platform::FileStamp& s) override { return real().StampOf(p, s); }
    bool SameFile(const std::string& a, const std::string& b) override { return real().SameFile(a, b); }
    bool IsAbsolute(const std::string& p) override { return real().IsAbsolute(p); }
    std::string CurrentDirectory() override { return real().CurrentDirectory(); }
    std::string SettingsDirectory(const std::string& program) override { return real().SettingsDirectory(program); }

private:
    static platform::FileSystem& real() { return platform::SystemFiles(); }

    class Output : public platform::OutputFile {
    public:
        Output(std::unique_ptr<platform::OutputFile> file, FaultyFiles& owner) : file_(std::move(file)), owner_(owner) {}
        bool Write(const void* data, std::size_t count, std::string& e) override {
            const Fault f = owner_.fault;
            if (f == Fault::DiskFull) return (e = "No space left on device"), false;
            if (f == Fault::ShortWrite && written_ + count > owner_.shortAfter) {
                // What fits goes to the disk, as a short write leaves it.
                const std::size_t fits = static_cast<std::size_t>(owner_.shortAfter - written_);
                written_ += fits;
                file_->Write(data, fits, e);
                e = "No space left on device";
                return false;
            }
            written_ += count;
            return file_->Write(data, count, e);
        }
        bool Sync(std::string& e) override {
            if (owner_.fault == Fault::SyncFails) return (e = "Input/output error"), false;
            return file_->Sync(e);
        }
        bool Close(std::string& e) override { return file_->Close(e); }

    private:
        std::unique_ptr<platform::OutputFile> file_;
        FaultyFiles& owner_;
        std::uint64_t written_ = 0;
    };

    std::unique_ptr<platform::OutputFile> Wrap(std::unique_ptr<platform::OutputFile> file) {
        if (!file) return nullptr;
        return std::make_unique<Output>(std::move(file), *this);
    }
};
