// The upload list of a control as the upload start reads and clears it.
#pragma once
#include "upload_start.h"

namespace parvex {

class UploadListModel;

class ModelUploadList : public UploadListAccess {
public:
    explicit ModelUploadList(UploadListModel& model) : model_(model) {}
    std::vector<UploadEntry> Entries() override;
    double TotalSize() override;
    void Clear() override;

private:
    UploadListModel& model_;
};

}  // namespace parvex
