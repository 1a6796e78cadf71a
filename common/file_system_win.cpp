// Win32 files by wide path.
#include <windows.h>

#include <io.h>

#include <string>

#include "file_system.h"
#include "trace.h"

namespace parvex {
namespace {

// Paths past the classic limit (a name of up to 255 characters in a
// folder of some depth) are handed over in the "\\?\" form, which has no such
// limit but takes only absolute paths written with "\".
std::wstring Win32Path(const std::wstring& path) {
    constexpr size_t kClassicLimit = 248;  // what CreateDirectoryW still takes
    if (path.size() < kClassicLimit || path.compare(0, 4, L"\\\\?\\") == 0) return path;
    std::wstring full = path;
    for (wchar_t& c : full)
        if (c == L'/') c = L'\\';
    bool drive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\';
    if (drive) return L"\\\\?\\" + full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return path;
}

uint64_t Ticks(const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Records the failed call's error with its path for the trace; returns false.
bool Failed(const wchar_t* operation, const std::wstring& path, DWORD error = GetLastError()) {
    TraceFailure(operation, path, static_cast<long>(error));
    return false;
}

class WinFile : public File {
public:
    WinFile(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {}
    ~WinFile() override { CloseHandle(h_); }
    long long Read(void* buffer, size_t count) override {
        DWORD got = 0;
        if (!ReadFile(h_, buffer, static_cast<DWORD>(count), &got, nullptr)) {
            Failed(L"read", path_);
            return -1;
        }
        return got;
    }
    bool Write(const void* data, size_t count) override {
        const char* p = static_cast<const char*>(data);
        while (count > 0) {
            DWORD put = 0;
            DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
            if (!WriteFile(h_, p, chunk, &put, nullptr)) return Failed(L"write", path_);
            if (put == 0) return Failed(L"write", path_, ERROR_DISK_FULL);
            p += put;
            count -= put;
        }
        return true;
    }
    long long Size() override {
        LARGE_INTEGER size;
        return GetFileSizeEx(h_, &size) ? size.QuadPart : -1;
    }
    uint64_t LastWrite() override {
        FILETIME written;
        return GetFileTime(h_, nullptr, nullptr, &written) ? Ticks(written) : 0;
    }

private:
    HANDLE h_;
    std::wstring path_;  // for the trace
};

// The file of h, or null (traced) when the open failed.
std::unique_ptr<File> Opened(HANDLE h, const wchar_t* operation, const std::wstring& path) {
    if (h != INVALID_HANDLE_VALUE) return std::make_unique<WinFile>(h, path);
    Failed(operation, path);
    return nullptr;
}

class WinFileSystem : public FileSystem {
public:
    bool Exists(const std::wstring& path) override { return _waccess(Win32Path(path).c_str(), 0) == 0; }
    // The attributes hold the size as well: one call answers both questions
    // (a file search would read the folder for what is already known).
    PathInfo Inspect(const std::wstring& path) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        PathInfo info;
        if (!GetFileAttributesExW(Win32Path(path).c_str(), GetFileExInfoStandard, &data)) return info;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            info.kind = PathKind::Directory;
            return info;
        }
        info.kind = PathKind::File;
        info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        info.lastWrite = Ticks(data.ftLastWriteTime);
        return info;
    }
    bool MakeDirectory(const std::wstring& path) override {
        return CreateDirectoryW(Win32Path(path).c_str(), nullptr) || Failed(L"create folder", path);
    }
    bool RemoveFile(const std::wstring& path) override {
        return DeleteFileW(Win32Path(path).c_str()) || Failed(L"delete", path);
    }
    std::unique_ptr<File> OpenRead(const std::wstring& path, bool exclusive) override {
        HANDLE h = CreateFileW(Win32Path(path).c_str(), GENERIC_READ, exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        return Opened(h, L"open for reading", path);
    }
    std::unique_ptr<File> OpenWrite(const std::wstring& path) override {
        HANDLE h = CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        return Opened(h, L"open for writing", path);
    }
    bool IsLink(const std::wstring& path) override {
        DWORD attributes = GetFileAttributesW(Win32Path(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    }
    std::unique_ptr<File> CreateNew(const std::wstring& path) override {
        // CREATE_NEW fails on any entry of that name, a link or junction too.
        HANDLE h = CreateFileW(Win32Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        return Opened(h, L"create", path);
    }
    std::unique_ptr<File> OpenAppend(const std::wstring& path) override {
        // Not through a reparse point: the file itself, or nothing.
        HANDLE h = CreateFileW(Win32Path(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        BY_HANDLE_FILE_INFORMATION info;
        if (h != INVALID_HANDLE_VALUE &&
            (!GetFileInformationByHandle(h, &info) ||
             (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0)) {
            CloseHandle(h);
            return Opened(INVALID_HANDLE_VALUE, L"open for appending", path);
        }
        return Opened(h, L"open for appending", path);
    }
    bool RenameFile(const std::wstring& from, const std::wstring& to, bool replace) override {
        return MoveFileExW(Win32Path(from).c_str(), Win32Path(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0) ||
               Failed(L"rename to", to);
    }
    // The volume and the file's index on it. The open asks for no access, so
    // a file another program holds without sharing answers as well.
    std::wstring FileIdentity(const std::wstring& path) override {
        HANDLE h = CreateFileW(Win32Path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return std::wstring();
        BY_HANDLE_FILE_INFORMATION info;
        bool known = GetFileInformationByHandle(h, &info) != FALSE;
        CloseHandle(h);
        if (!known) return std::wstring();
        uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return std::to_wstring(info.dwVolumeSerialNumber) + L":" + std::to_wstring(index);
    }
    bool List(const std::wstring& folder, std::vector<DirItem>& items) override {
        std::wstring pattern = folder;
        if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data;
        HANDLE h = FindFirstFileW(Win32Path(pattern).c_str(), &data);
        if (h == INVALID_HANDLE_VALUE) return Failed(L"list", folder);
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            DirItem item;
            item.name = name;
            item.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            item.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            items.push_back(item);
        } while (FindNextFileW(h, &data));
        FindClose(h);
        return true;
    }
};

}  // namespace

FileSystem& LocalFileSystem() {
    static WinFileSystem fs;
    return fs;
}

}  // namespace parvex
