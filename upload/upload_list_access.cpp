#include "upload_list_access.h"

#include "uploadlist/upload_list.h"

namespace parvex {

std::vector<UploadEntry> ModelUploadList::Entries() {
    return std::vector<UploadEntry>(model_.uploadList.begin(), model_.uploadList.end());
}

double ModelUploadList::TotalSize() { return model_.GetTotalUpSize(); }

void ModelUploadList::Clear() { model_.ClearUploadList(); }

}  // namespace parvex
