#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <unistd.h>

namespace mailserver {

// A file or socket descriptor, closed when it goes out of scope.
struct OwnedFd {
    int fd = -1;
    OwnedFd() = default;
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() {
        if (fd >= 0) ::close(fd);
    }
};

// Turns a name sent by a client into a path relative to a storage root.
// "\" and "/" both separate folders; empty and "." components are dropped.
// Rejects "..", absolute names (leading separator or a drive like "C:"),
// NUL bytes and names that end in a separator.
bool RelativeStoragePath(std::string_view name, std::string* relative, std::string* error);

// Last component of a client path, splitting at "\" and "/".
std::string LastPathComponent(std::string_view path);

std::string JoinPath(const std::string& root, const std::string& relative);
std::string ParentDirectory(const std::string& path);

// Creates the folder and all missing parents.
bool MakeDirectories(const std::string& path, std::string* error);

bool RegularFileSize(const std::string& path, uint64_t* size);

// Writes a file through a large buffer; blocks that are large anyway go
// straight to the kernel. A file that is not committed is removed again.
class FileWriter {
public:
    FileWriter() = default;
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    bool Open(const std::string& path, std::string* error);
    bool Write(const char* data, size_t n, std::string* error);
    // Flushes and closes, then renames the file to its final path.
    bool Commit(const std::string& finalPath, std::string* error);
    void Discard();
    bool IsOpen() const { return fd_ >= 0; }
    uint64_t Bytes() const { return written_ + used_; }

private:
    bool Flush(std::string* error);
    bool WriteThrough(const char* data, size_t n, std::string* error);

    int fd_ = -1;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    uint64_t written_ = 0;
};

}  // namespace mailserver
