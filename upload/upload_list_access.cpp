#include "upload_list_access.h"

#include "uploadlist/upload_list.h"

namespace parvex {

std::vector<UploadEntry*> ModelUploadList::Entries() {
    std::vector<UploadEntry*> out;
    for (UploadEntry& e : model_.uploadList) out.push_back(&e);
    return out;
}

double ModelUploadList::TotalSize() { return model_.GetTotalUpSize(); }

void ModelUploadList::Clear() { model_.ClearUploadList(); }

}  // namespace parvex
