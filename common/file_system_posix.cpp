// POSIX files. The core writes "\" between path components; here it becomes
// "/", so sub-folder names from the page work the same as on Windows.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "file_system.h"
#include "trace.h"
#include "utf8.h"

namespace parvex {
namespace {

std::string NativePath(const std::wstring& path) {
    std::string p = ToUtf8(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

uint64_t Nanoseconds(const timespec& t) {
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// Records a failed call with its path for the trace; returns false.
bool Failed(const wchar_t* operation, const std::wstring& path, int error = errno) {
    TraceFailure(operation, path, error);
    return false;
}

class PosixFile : public File {
public:
    PosixFile(int fd, std::wstring path) : fd_(fd), path_(std::move(path)) {}
    ~PosixFile() override { ::close(fd_); }
    long long Read(void* buffer, size_t count) override {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, count);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) Failed(L"read", path_);
            return n;
        }
    }
    bool Write(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            ssize_t n = ::write(fd_, p, count);
            if (n < 0 && errno == EINTR) continue;
            // A write that takes nothing has met a full disk.
            if (n <= 0) return Failed(L"write", path_, n < 0 ? errno : ENOSPC);
            p += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    long long Size() override {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }
    uint64_t LastWrite() override {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? Nanoseconds(st.st_mtim) : 0;
    }

private:
    int fd_;
    std::wstring path_;  // for the trace
};

class PosixFileSystem : public FileSystem {
public:
    bool Exists(const std::wstring& path) override { return ::access(NativePath(path).c_str(), F_OK) == 0; }
    PathInfo Inspect(const std::wstring& path) override {
        struct stat st;
        PathInfo info;
        if (::stat(NativePath(path).c_str(), &st) != 0) return info;
        if (S_ISDIR(st.st_mode)) info.kind = PathKind::Directory;
        if (S_ISREG(st.st_mode)) {
            info.kind = PathKind::File;
            info.size = static_cast<uint64_t>(st.st_size);
            info.lastWrite = Nanoseconds(st.st_mtim);
        }
        return info;
    }
    bool MakeDirectory(const std::wstring& path) override {
        return ::mkdir(NativePath(path).c_str(), 0777) == 0 || Failed(L"create folder", path);
    }
    bool RemoveFile(const std::wstring& path) override {
        return ::unlink(NativePath(path).c_str()) == 0 || Failed(L"delete", path);
    }
    std::unique_ptr<File> OpenRead(const std::wstring& path, bool /*exclusive*/) override {
        // POSIX has no share modes; a file that opens is not "in use".
        int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return Opened(-1, L"open for reading", path);
        struct stat st;
        bool known = ::fstat(fd, &st) == 0;
        if (!known || S_ISDIR(st.st_mode)) {
            int error = known ? EISDIR : errno;
            ::close(fd);
            return Opened(-1, L"open for reading", path, error);
        }
        return Opened(fd, L"open for reading", path);
    }
    std::unique_ptr<File> OpenWrite(const std::wstring& path) override {
        int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        return Opened(fd, L"open for writing", path);
    }
    bool IsLink(const std::wstring& path) override {
        struct stat st;
        return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    std::unique_ptr<File> CreateNew(const std::wstring& path) override {
        // O_EXCL also refuses a link at the name, dangling or not.
        int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        return Opened(fd, L"create", path);
    }
    std::unique_ptr<File> OpenAppend(const std::wstring& path) override {
        int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd);
            return Opened(-1, L"open for appending", path, EINVAL);
        }
        return Opened(fd, L"open for appending", path);
    }
    bool RenameFile(const std::wstring& from, const std::wstring& to, bool replace) override {
        std::string f = NativePath(from), t = NativePath(to);
        if (replace) return ::rename(f.c_str(), t.c_str()) == 0 || Failed(L"rename to", to);
        if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) return Failed(L"rename to", to);
        // File systems without an exclusive rename: a hard link fails on a
        // taken name just the same.
        if (::link(f.c_str(), t.c_str()) != 0) return Failed(L"rename to", to);
        ::unlink(f.c_str());
        return true;
    }
    bool List(const std::wstring& folder, std::vector<DirItem>& items) override {
        std::string native = NativePath(folder);
        DIR* dir = ::opendir(native.c_str());
        if (!dir) return Failed(L"list", folder);
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat st;
            if (::stat((native + "/" + name).c_str(), &st) != 0) continue;
            DirItem item;
            item.name = FromUtf8(name);
            item.isDirectory = S_ISDIR(st.st_mode);
            item.size = item.isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
            items.push_back(item);
        }
        ::closedir(dir);
        return true;
    }
    std::wstring NativeSpelling(const std::wstring& path) override { return FromUtf8(NativePath(path)); }
    // The device and the inode, through links.
    std::wstring FileIdentity(const std::wstring& path) override {
        struct stat st;
        if (::stat(NativePath(path).c_str(), &st) != 0) return std::wstring();
        return std::to_wstring(st.st_dev) + L":" + std::to_wstring(st.st_ino);
    }

private:
    // The file of fd, or null (traced) when the open failed.
    static std::unique_ptr<File> Opened(int fd, const wchar_t* operation, const std::wstring& path, int error = errno) {
        if (fd >= 0) return std::make_unique<PosixFile>(fd, path);
        Failed(operation, path, error);
        return nullptr;
    }
};

}  // namespace

FileSystem& LocalFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace parvex
