// One queued file of the download list.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace parvex {

struct DownloadEntry {
    enum State : int32_t { Waiting = 1, Transferring = 2, Done = 3, Failed = 4, Cancelled = 5 };

    std::wstring urlPath;   // request target as the page gave it
    std::wstring fileName;  // name in the save folder; also the duplicate key
    int32_t listIndex = 0;  // row in the dialog's list, kept without gaps
    double size = 0;        // as declared by the page; never decides how much is read
    int32_t state = Waiting;
};

// Shared so that the entry being fetched outlives its removal from the list
// until the worker is done with it.
using DownloadEntryPtr = std::shared_ptr<DownloadEntry>;

}  // namespace parvex
