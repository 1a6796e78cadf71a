// POSIX files. The core writes "\" between path components; here it becomes
// "/", so sub-folder names from the page work the same as on Windows.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "file_system.h"
#include "utf8.h"

namespace parvex {
namespace {

std::string NativePath(const std::wstring& path) {
    std::string p = ToUtf8(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

class PosixFile : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override { ::close(fd_); }
    long long Read(void* buffer, size_t count) override {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, count);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }
    bool Write(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            ssize_t n = ::write(fd_, p, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            count -= static_cast<size_t>(n);
        }
        return true;
    }
    long long Size() override {
        struct stat st;
        return ::fstat(fd_, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }

private:
    int fd_;
};

class PosixFileSystem : public FileSystem {
public:
    bool Exists(const std::wstring& path) override { return ::access(NativePath(path).c_str(), F_OK) == 0; }
    bool IsDirectory(const std::wstring& path) override {
        struct stat st;
        return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    bool MakeDirectory(const std::wstring& path) override { return ::mkdir(NativePath(path).c_str(), 0777) == 0; }
    bool RemoveFile(const std::wstring& path) override { return ::unlink(NativePath(path).c_str()) == 0; }
    bool FileSize(const std::wstring& path, uint64_t& size) override {
        struct stat st;
        if (::stat(NativePath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
        size = static_cast<uint64_t>(st.st_size);
        return true;
    }
    std::unique_ptr<File> OpenRead(const std::wstring& path, bool /*exclusive*/) override {
        // POSIX has no share modes; a file that opens is not "in use".
        int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd);
    }
    std::unique_ptr<File> OpenWrite(const std::wstring& path) override {
        int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixFile>(fd);
    }
    bool IsLink(const std::wstring& path) override {
        struct stat st;
        return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
    std::unique_ptr<File> CreateNew(const std::wstring& path) override {
        // O_EXCL also refuses a link at the name, dangling or not.
        int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixFile>(fd);
    }
    bool RenameFile(const std::wstring& from, const std::wstring& to, bool replace) override {
        std::string f = NativePath(from), t = NativePath(to);
        if (replace) return ::rename(f.c_str(), t.c_str()) == 0;
        if (::renameat2(AT_FDCWD, f.c_str(), AT_FDCWD, t.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno != EINVAL && errno != ENOSYS) return false;
        // File systems without an exclusive rename: a hard link fails on a
        // taken name just the same.
        if (::link(f.c_str(), t.c_str()) != 0) return false;
        ::unlink(f.c_str());
        return true;
    }
    bool List(const std::wstring& folder, std::vector<DirItem>& items) override {
        std::string native = NativePath(folder);
        DIR* dir = ::opendir(native.c_str());
        if (!dir) return false;
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
};

}  // namespace

FileSystem& LocalFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace parvex
