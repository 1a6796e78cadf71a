// File systems for tests that wrap another one (the real one by default):
// ForwardingFileSystem passes every call on, for doubles that spoil only a
// few; FaultyFiles fails opens, reads or writes after a number of them, as
// a disk that fills or a medium that stops reading does.
#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/file_system.h"

namespace parvex::testing {

class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(FileSystem& inner = LocalFileSystem()) : inner_(inner) {}
    bool Exists(const std::wstring& p) override { return inner_.Exists(p); }
    PathInfo Inspect(const std::wstring& p) override { return inner_.Inspect(p); }
    bool MakeDirectory(const std::wstring& p) override { return inner_.MakeDirectory(p); }
    bool RemoveFile(const std::wstring& p) override { return inner_.RemoveFile(p); }
    std::unique_ptr<File> OpenRead(const std::wstring& p, bool exclusive) override {
        return inner_.OpenRead(p, exclusive);
    }
    std::unique_ptr<File> OpenWrite(const std::wstring& p) override { return inner_.OpenWrite(p); }
    bool List(const std::wstring& folder, std::vector<DirItem>& items) override { return inner_.List(folder, items); }
    bool IsLink(const std::wstring& p) override { return inner_.IsLink(p); }
    std::unique_ptr<File> CreateNew(const std::wstring& p) override { return inner_.CreateNew(p); }
    std::unique_ptr<File> OpenAppend(const std::wstring& p) override { return inner_.OpenAppend(p); }
    bool RenameFile(const std::wstring& from, const std::wstring& to, bool replace) override {
        return inner_.RenameFile(from, to, replace);
    }
    std::wstring NativeSpelling(const std::wstring& p) override { return inner_.NativeSpelling(p); }

protected:
    FileSystem& inner_;
};

// A file that passes every call on to another, for doubles that spoil one.
class ForwardingFile : public File {
public:
    explicit ForwardingFile(std::unique_ptr<File> inner) : f_(std::move(inner)) {}
    long long Read(void* b, size_t n) override { return f_->Read(b, n); }
    bool Write(const void* d, size_t n) override { return f_->Write(d, n); }
    long long Size() override { return f_->Size(); }
    uint64_t LastWrite() override { return f_->LastWrite(); }

protected:
    std::unique_ptr<File> f_;
};

// Calls of one kind that succeed before every later one fails; used from
// the worker's thread, read by the test's.
class CallBudget {
public:
    // The first `calls` succeed, every later one fails.
    void FailAfter(long calls) {
        std::lock_guard<std::mutex> lock(mutex_);
        left_ = calls;
    }
    // True when this call may succeed.
    bool Take() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (left_ < 0) return true;  // no limit set
        if (left_ > 0) {
            --left_;
            return true;
        }
        ++failed_;
        return false;
    }
    int Failed() {
        std::lock_guard<std::mutex> lock(mutex_);
        return failed_;
    }

private:
    std::mutex mutex_;
    long left_ = -1;
    int failed_ = 0;
};

// Opens (OpenRead, OpenWrite, CreateNew), reads and writes, each with its
// own budget shared by every file.
class FaultyFiles : public ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    CallBudget opens, reads, writes;

    std::unique_ptr<File> OpenRead(const std::wstring& p, bool exclusive) override {
        return opens.Take() ? Wrap(inner_.OpenRead(p, exclusive)) : nullptr;
    }
    std::unique_ptr<File> OpenWrite(const std::wstring& p) override {
        return opens.Take() ? Wrap(inner_.OpenWrite(p)) : nullptr;
    }
    std::unique_ptr<File> CreateNew(const std::wstring& p) override {
        return opens.Take() ? Wrap(inner_.CreateNew(p)) : nullptr;
    }

private:
    class Faulty : public ForwardingFile {
    public:
        Faulty(std::unique_ptr<File> f, FaultyFiles& fs) : ForwardingFile(std::move(f)), fs_(fs) {}
        long long Read(void* b, size_t n) override { return fs_.reads.Take() ? f_->Read(b, n) : -1; }
        bool Write(const void* d, size_t n) override { return fs_.writes.Take() && f_->Write(d, n); }

    private:
        FaultyFiles& fs_;
    };
    std::unique_ptr<File> Wrap(std::unique_ptr<File> f) {
        if (!f) return nullptr;
        return std::make_unique<Faulty>(std::move(f), *this);
    }
};

}  // namespace parvex::testing
