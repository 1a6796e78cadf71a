#include "upload_list_access.h"

#include "uploadlist/upload_list.h"

namespace parvex {

std::vector<UploadEntry> ModelUploadList::Entries() {
    return std::vector<UploadEntry>(model_.Entries().begin(), model_.Entries().end());
}

double ModelUploadList::TotalSize() { return model_.GetTotalUpSize(); }

void ModelUploadList::Clear() { model_.ClearUploadList(); }

}  // namespace parvex
