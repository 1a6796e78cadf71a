// What the upload control hands to the download list: queueing a file and
// opening the download session. Implemented by the download subsystem.
#pragma once
#include <string>

namespace parvex {

// AddDownloadFile of the page: queues one file; the result goes back to the
// page unchanged.
short DownloadAddFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount);
// DownloadStart of the page: opens the download dialog and returns at once.
void DownloadStartSession();

}  // namespace parvex
