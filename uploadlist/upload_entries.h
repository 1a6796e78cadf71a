// The entries of one upload list in row order, with the identities of their
// local files kept in step by every change, so that the duplicate check costs
// the same for the ten-thousandth file as for the first.
#pragma once
#include <functional>
#include <list>
#include <string>
#include <unordered_set>

#include "uploadlist/upload_entry.h"

namespace parvex {

class UploadEntries {
public:
    const std::list<UploadEntry>& All() const { return entries_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    bool Empty() const { return entries_.empty(); }
    const UploadEntry& Back() const { return entries_.back(); }

    void Append(UploadEntry entry);
    // True when a local entry is the file with this key.
    bool HoldsFile(const std::wstring& fileKey) const { return fileKeys_.count(fileKey) > 0; }
    // Null when no entry has that row.
    const UploadEntry* AtRow(int row) const;
    // The entry of that row becomes kind; false when there is none.
    bool SetKind(int row, int kind);
    // Takes out the entries `leaves` names and gives the others their rows
    // anew in list order; taken sees each entry before it goes.
    void RemoveIf(const std::function<bool(const UploadEntry&)>& leaves,
                  const std::function<void(const UploadEntry&)>& taken);
    void Clear();

private:
    std::list<UploadEntry> entries_;
    // fileKey of every local entry. A multiset: an entry appended by hand may
    // repeat a file, and removing it must not forget the other.
    std::unordered_multiset<std::wstring> fileKeys_;
};

}  // namespace parvex
