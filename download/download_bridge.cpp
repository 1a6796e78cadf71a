// The upload control's download methods, reaching the process's queue.
#include "download/download_bridge.h"

#include "download_state.h"

namespace parvex {

short DownloadAddFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount,
                      MessageBoxHost* callerBoxes) {
    return ProcessDownloadState().AddDownloadFile(urlPath, fileName, size, totalAddCount, callerBoxes);
}

void DownloadStartSession() { ProcessDownloadState().DownloadStart(); }

void DownloadResetForNewControl() { ProcessDownloadState().ResetOnControlConstruction(); }

void DownloadReapEndedSessions() { ProcessDownloadState().ReapEndedSessions(); }

}  // namespace parvex
