#include "target_path.h"

#include "file_name_rules.h"

namespace parvex {

namespace {

// Steps into (or makes) one folder below path.
bool EnterFolder(FileSystem& fs, std::wstring& path, const std::wstring& component) {
    path += L"\\" + component;
    if (fs.IsLink(path)) return false;
    if (fs.IsDirectory(path)) return true;
    if (fs.Exists(path)) return false;
    return fs.MakeDirectory(path) || (fs.IsDirectory(path) && !fs.IsLink(path));
}

}  // namespace

TargetKind PrepareTarget(FileSystem& fs, const std::wstring& saveFolder, const std::wstring& fileName,
                         std::wstring& target) {
    if (!IsAcceptableDownloadName(fileName)) return TargetKind::Refused;
    std::wstring path = saveFolder;
    size_t start = 0;
    for (size_t sep; (sep = fileName.find_first_of(L"\\/", start)) != std::wstring::npos; start = sep + 1) {
        std::wstring component = fileName.substr(start, sep - start);
        if (!component.empty() && !EnterFolder(fs, path, component)) return TargetKind::Refused;
    }
    std::wstring last = fileName.substr(start);
    if (last.empty()) return TargetKind::Folder;
    target = path + L"\\" + last;
    // A file's name that meets a folder (or a link) names nothing it could be
    // written to; only a name ending in a separator asks for a folder.
    if (fs.IsLink(target) || fs.IsDirectory(target)) return TargetKind::Refused;
    return TargetKind::File;
}

bool IsWritableTarget(FileSystem& fs, const std::wstring& path) {
    size_t sep = path.find_last_of(L"\\/");
    std::wstring name = sep == std::wstring::npos ? path : path.substr(sep + 1);
    return !name.empty() && IsAcceptableDownloadName(name) && !fs.IsLink(path);
}

}  // namespace parvex
