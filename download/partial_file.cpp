#include "partial_file.h"

#include "temporary_name.h"

namespace parvex {

namespace {
// Temporary names tried beside the target before giving up.
constexpr int kTemporaryNameTries = 100;
}  // namespace

PartialFile::PartialFile(FileSystem& fs, std::wstring target, bool replace)
    : fs_(fs), target_(std::move(target)), replace_(replace) {}

PartialFile::~PartialFile() {
    if (!settled_) Discard();
}

bool PartialFile::Create() {
    for (int i = 0; i < kTemporaryNameTries && !file_; ++i) {
        temporary_ = parvex::TemporaryPath(target_, i);
        // Never an existing entry: a file of the user's, or a link that
        // would carry the bytes elsewhere.
        if (!temporary_.empty()) file_ = fs_.CreateNew(temporary_);
    }
    if (!file_) {
        temporary_.clear();
        settled_ = true;
    }
    return file_ != nullptr;
}

bool PartialFile::Adopt(const std::wstring& path) {
    file_ = fs_.OpenAppend(path);
    if (file_) temporary_ = path;
    return file_ != nullptr;
}

bool PartialFile::Restart() {
    file_.reset();
    if (!temporary_.empty()) fs_.RemoveFile(temporary_);
    file_ = fs_.CreateNew(temporary_);
    return file_ != nullptr;
}

bool PartialFile::Write(const void* data, size_t count) { return file_ && file_->Write(data, count); }

bool PartialFile::Finish() {
    file_.reset();
    if (!fs_.RenameFile(temporary_, target_, replace_)) {
        Discard();
        return false;
    }
    settled_ = true;
    return true;
}

std::wstring PartialFile::Keep() {
    file_.reset();
    settled_ = true;
    return fs_.RenameFile(temporary_, target_, false) ? target_ : temporary_;
}

void PartialFile::Discard() {
    file_.reset();
    if (!temporary_.empty()) fs_.RemoveFile(temporary_);
    settled_ = true;
}

void PartialFile::Suspend() {
    file_.reset();
    settled_ = true;
}

}  // namespace parvex
