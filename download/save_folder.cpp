#include "save_folder.h"

#include "common/folders.h"

namespace parvex {

namespace {
// The value is read into 2048 bytes without a terminator of its own.
constexpr size_t kSavePathMaxChars = 1023;
}

std::wstring LoadSavePath(SettingsStore& store, FileSystem& fs, const std::wstring& request) {
    if (!store.Open()) {
        if (store.Create()) {
            store.Write(kDownSavePathValue, DefaultSaveFolder());
            store.Close();
        }
        return request.empty() ? DefaultSaveFolder() : request;
    }
    std::wstring result;
    if (!request.empty()) {
        store.Write(kDownSavePathValue, request);
        result = request;
    } else {
        std::wstring stored;
        bool usable = store.Read(kDownSavePathValue, stored) == StoreResult::Ok && !stored.empty() &&
                      stored.size() <= kSavePathMaxChars && fs.Exists(stored);
        if (usable) {
            result = stored;
        } else {
            result = DefaultSaveFolder();
            store.Write(kDownSavePathValue, result);
        }
    }
    store.Close();
    return result;
}

}  // namespace parvex
