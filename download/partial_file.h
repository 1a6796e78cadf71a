// A download in the making: written under a temporary name beside its
// target, so that the target's name only ever holds a complete file (or a
// partial one the user chose to keep). An existing file that is to be
// overwritten stays untouched until the new one is complete.
#pragma once
#include <memory>
#include <string>

#include "common/file_system.h"

namespace parvex {

class PartialFile {
public:
    // replace: the target already holds a file the user agreed to overwrite.
    PartialFile(FileSystem& fs, std::wstring target, bool replace);
    // A file neither finished nor kept is deleted.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Creates the temporary file; false when no free name could be made.
    bool Create();
    // Goes on with the temporary file at path, which a broken download
    // left: written after its last byte. False when it cannot be opened.
    bool Adopt(const std::wstring& path);
    // Empties the file to begin it again; false when it could not.
    bool Restart();
    bool Write(const void* data, size_t count);
    // Complete: the file takes the target's name (replacing the old file
    // when agreed). False when it could not; the bytes are then deleted.
    bool Finish();
    // Cut off by the user, who wants the part kept: it takes the target's
    // name when that is free and otherwise stays under its temporary name,
    // so that a file being overwritten is not lost to a part of its successor.
    // Where it stays.
    std::wstring Keep();
    void Discard();
    // Broken off, to be gone on with later: the file stays under its
    // temporary name.
    void Suspend();
    const std::wstring& TemporaryPath() const { return temporary_; }

private:
    FileSystem& fs_;
    std::wstring target_;
    std::wstring temporary_;
    bool replace_;
    std::unique_ptr<File> file_;
    bool settled_ = false;
};

}  // namespace parvex
