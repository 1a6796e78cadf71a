// Files and folders by wide path. Paths use "\" as the separator everywhere in
// the core; the POSIX implementation maps it to "/".
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace parvex {

class File {
public:
    virtual ~File() = default;
    // Bytes read (0 at the end), or -1 on error.
    virtual long long Read(void* buffer, size_t count) = 0;
    // True when every byte was written.
    virtual bool Write(const void* data, size_t count) = 0;
    // Current size of the open file; -1 when unknown.
    virtual long long Size() = 0;
    // When the file's bytes last changed, in the system's own units
    // (nanoseconds natively, 100 ns on Windows); 0 when unknown. With the
    // size it tells a file rewritten in place from the one that was opened.
    virtual uint64_t LastWrite() = 0;
};

// What one look-up of a path finds there.
enum class PathKind {
    None,  // nothing, or nothing that is a file or a folder (a device)
    File,
    Directory,
};

struct PathInfo {
    PathKind kind = PathKind::None;
    uint64_t size = 0;       // bytes of a file; 0 otherwise
    uint64_t lastWrite = 0;  // of a file, as File::LastWrite; 0 otherwise
};

struct DirItem {
    std::wstring name;  // last path component
    bool isDirectory = false;
    uint64_t size = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool Exists(const std::wstring& path) = 0;
    // One look-up: a folder, a file with its size, or nothing usable.
    virtual PathInfo Inspect(const std::wstring& path) = 0;
    // True for an existing folder, false for a file or a missing path.
    bool IsDirectory(const std::wstring& path) { return Inspect(path).kind == PathKind::Directory; }
    // False, size untouched, unless a file is at path.
    bool FileSize(const std::wstring& path, uint64_t& size);
    virtual bool MakeDirectory(const std::wstring& path) = 0;
    virtual bool RemoveFile(const std::wstring& path) = 0;
    // exclusive: refuse when another handle has the file open (Windows) - the
    // "file in use" test of the folder walk.
    virtual std::unique_ptr<File> OpenRead(const std::wstring& path, bool exclusive = false) = 0;
    // Creates or truncates.
    virtual std::unique_ptr<File> OpenWrite(const std::wstring& path) = 0;
    virtual bool List(const std::wstring& folder, std::vector<DirItem>& items) = 0;

    // What downloads need to keep every write inside their folder. The
    // defaults serve doubles that have no links and cannot move files.

    // True for a symbolic link (also a dangling one) or, on Windows, any
    // reparse point such as a junction; false for a plain entry or nothing.
    virtual bool IsLink(const std::wstring& /*path*/) { return false; }
    // Creates a file that did not exist; null when anything (a file, a
    // folder, a link, even a dangling one) already has the name.
    virtual std::unique_ptr<File> CreateNew(const std::wstring& path) {
        return Exists(path) ? nullptr : OpenWrite(path);
    }
    // Opens the plain file at path (never one reached through a link) to
    // write after its last byte, as a download that goes on does; null when
    // there is none. The default serves doubles that cannot.
    virtual std::unique_ptr<File> OpenAppend(const std::wstring& /*path*/) { return nullptr; }
    // Gives a closed file another name in the same folder. With replace an
    // entry already at `to` is replaced in one step (never written through);
    // without it the move fails when the name is taken.
    virtual bool RenameFile(const std::wstring& /*from*/, const std::wstring& /*to*/, bool /*replace*/) {
        return false;
    }
    // The path as the system itself writes it, for texts that name a local
    // file to others (the upload's filename parameter).
    virtual std::wstring NativeSpelling(const std::wstring& path) { return path; }
    // Which file is at path, whatever name reaches it (other letter case, a
    // short 8.3 name, a trailing dot or space, a link): one text for every
    // path of one file, another for any other file. Empty when the system
    // cannot say, as for a path where nothing is; the default never can.
    virtual std::wstring FileIdentity(const std::wstring& /*path*/) { return std::wstring(); }
};

inline bool FileSystem::FileSize(const std::wstring& path, uint64_t& size) {
    PathInfo info = Inspect(path);
    if (info.kind != PathKind::File) return false;
    size = info.size;
    return true;
}

// The platform's file system (POSIX natively, Win32 in the module).
FileSystem& LocalFileSystem();

}  // namespace parvex
