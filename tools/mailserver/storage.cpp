#include "storage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace mailserver {
namespace {

constexpr size_t kWriteBuffer = 1 << 20;

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool RelativeStoragePath(std::string_view name, std::string* relative, std::string* error) {
    if (name.empty()) {
        *error = "the file name is empty";
        return false;
    }
    if (name.find('\0') != std::string_view::npos) {
        *error = "the file name contains a NUL byte";
        return false;
    }
    if (name.front() == '/' || name.front() == '\\') {
        *error = "the file name is absolute";
        return false;
    }
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        *error = "the file name starts with a drive";
        return false;
    }
    if (name.back() == '/' || name.back() == '\\') {
        *error = "the file name ends in a folder separator";
        return false;
    }
    std::string out;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            *error = "the file name contains a \"..\" component";
            return false;
        }
        if (!out.empty()) out += '/';
        out.append(part);
    }
    if (out.empty()) {
        *error = "the file name has no usable component";
        return false;
    }
    *relative = out;
    return true;
}

std::string LastPathComponent(std::string_view path) {
    size_t cut = path.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string JoinPath(const std::string& root, const std::string& relative) {
    if (root.empty()) return relative;
    if (root.back() == '/') return root + relative;
    return root + "/" + relative;
}

std::string ParentDirectory(const std::string& path) {
    size_t cut = path.rfind('/');
    if (cut == std::string::npos) return ".";
    if (cut == 0) return "/";
    return path.substr(0, cut);
}

bool MakeDirectories(const std::string& path, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        *error = path + " exists and is not a folder";
        return false;
    }
    std::string parent = ParentDirectory(path);
    if (parent != path && parent != "." && parent != "/" && !MakeDirectories(parent, error)) return false;
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        *error = ErrnoText("cannot create folder", path);
        return false;
    }
    return true;
}

bool RegularFileSize(const std::string& path, uint64_t* size) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

FileWriter::~FileWriter() { Discard(); }

bool FileWriter::Open(const std::string& path, std::string* error) {
    Discard();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        *error = ErrnoText("cannot create", path);
        return false;
    }
    path_ = path;
    if (!buffer_) buffer_.reset(new char[kWriteBuffer]);
    used_ = 0;
    written_ = 0;
    return true;
}

bool FileWriter::WriteThrough(const char* data, size_t n, std::string* error) {
    while (n > 0) {
        ssize_t r = ::write(fd_, data, n);
        if (r < 0) {
            if (errno == EINTR) continue;
            *error = ErrnoText("cannot write", path_);
            return false;
        }
        data += r;
        n -= static_cast<size_t>(r);
        written_ += static_cast<uint64_t>(r);
    }
    return true;
}

bool FileWriter::Flush(std::string* error) {
    size_t n = used_;
    used_ = 0;
    return WriteThrough(buffer_.get(), n, error);
}

bool FileWriter::Write(const char* data, size_t n, std::string* error) {
    if (fd_ < 0) {
        *error = "internal: write to a closed file";
        return false;
    }
    if (used_ + n <= kWriteBuffer) {
        std::memcpy(buffer_.get() + used_, data, n);
        used_ += n;
        return used_ < kWriteBuffer || Flush(error);
    }
    if (!Flush(error)) return false;
    if (n >= kWriteBuffer / 2) return WriteThrough(data, n, error);
    std::memcpy(buffer_.get(), data, n);
    used_ = n;
    return true;
}

bool FileWriter::Commit(const std::string& finalPath, std::string* error) {
    if (fd_ < 0) {
        *error = "internal: commit of a closed file";
        return false;
    }
    if (!Flush(error)) return false;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        *error = ErrnoText("cannot close", path_);
        ::unlink(path_.c_str());
        return false;
    }
    if (::rename(path_.c_str(), finalPath.c_str()) != 0) {
        *error = ErrnoText("cannot move the upload to", finalPath);
        ::unlink(path_.c_str());
        return false;
    }
    path_.clear();
    return true;
}

void FileWriter::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
    used_ = 0;
}

}  // namespace mailserver
