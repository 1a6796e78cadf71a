#include "uploadlist/upload_entries.h"

namespace parvex {

void UploadEntries::Append(UploadEntry entry) {
    if (!entry.fileKey.empty()) fileKeys_.insert(entry.fileKey);
    entries_.push_back(std::move(entry));
}

const UploadEntry* UploadEntries::AtRow(int row) const {
    for (const UploadEntry& e : entries_)
        if (e.listIndex == row) return &e;
    return nullptr;
}

bool UploadEntries::SetKind(int row, int kind) {
    for (UploadEntry& e : entries_) {
        if (e.listIndex != row) continue;
        e.kind = kind;
        return true;
    }
    return false;
}

void UploadEntries::RemoveIf(const std::function<bool(const UploadEntry&)>& leaves,
                             const std::function<void(const UploadEntry&)>& taken) {
    int next = 0;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (leaves(*it)) {
            taken(*it);
            auto key = it->fileKey.empty() ? fileKeys_.end() : fileKeys_.find(it->fileKey);
            if (key != fileKeys_.end()) fileKeys_.erase(key);
            it = entries_.erase(it);
        } else {
            it->listIndex = next++;
            ++it;
        }
    }
}

void UploadEntries::Clear() {
    entries_.clear();
    fileKeys_.clear();
}

}  // namespace parvex
