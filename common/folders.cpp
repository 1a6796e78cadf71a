#include "folders.h"


namespace parvex {

const wchar_t* const kSettingsKey = L"SOFTWARE\\Orvanta Component";
const wchar_t* const kSelectPathValue = L"SelectPath";
const wchar_t* const kDownSavePathValue = L"DownSavePath";

namespace {
std::wstring& DefaultFolderSlot() {
    static std::wstring folder = L"c:\\";
    return folder;
}
// "SelectPath" is read into 4096 bytes: 2047 characters and the terminator.
constexpr size_t kSelectPathMaxChars = 2047;
}  // namespace

const std::wstring& DefaultSaveFolder() { return DefaultFolderSlot(); }

void InitDefaultFolder(const std::function<bool(std::wstring&)>& documentsFolder) {
    std::wstring folder;
    if (documentsFolder && documentsFolder(folder) && !folder.empty())
        DefaultFolderSlot() = folder;
    else
        DefaultFolderSlot() = L"c:\\";
}

std::wstring LoadSelectPath(SettingsStore& store, bool write, const std::wstring& folder) {
    if (!store.Open()) {
        if (store.Create()) {
            store.Write(kSelectPathValue, L"C:\\");
            store.Close();
        }
        return DefaultSaveFolder();
    }
    if (write) {
        store.Write(kSelectPathValue, folder);
        store.Close();
        return std::wstring();
    }
    std::wstring value;
    std::wstring result;
    switch (store.Read(kSelectPathValue, value)) {
    case StoreResult::Ok:
        result = value.size() <= kSelectPathMaxChars ? value : DefaultSaveFolder();
        break;
    case StoreResult::NotFound:
        result = DefaultSaveFolder();
        store.Write(kSelectPathValue, result);
        break;
    case StoreResult::Error:
        result = DefaultSaveFolder();
        break;
    }
    store.Close();
    return result;
}

int CreateFolderChain(FileSystem& fs, const std::wstring& path) {
    if (fs.Exists(path)) return 0;
    std::wstring prefix;
    for (size_t i = 0; i < path.size(); ++i) {
        wchar_t c = path[i];
        if (c == L'\\' || c == L'/') {
            // An empty prefix is the root of an absolute POSIX path.
            if (!prefix.empty() && !fs.Exists(prefix)) fs.MakeDirectory(prefix);
        }
        prefix.push_back(c);
    }
    return 0;
}

bool IsDirectoryPath(FileSystem& fs, const std::wstring& path) { return fs.IsDirectory(path); }

}  // namespace parvex
