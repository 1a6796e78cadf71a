// What the upload control's download methods call: the process-wide download
// queue and the opening of the download dialog.
#pragma once
#include <string>

#include "common/message_box.h"

namespace parvex {

// AddDownloadFile of the dispatch interface: -1 when the name was refused as
// a duplicate while no download dialog was open, else 0. The batch's report
// goes through callerBoxes, the calling control's own (owned by its window).
short DownloadAddFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount,
                      MessageBoxHost* callerBoxes = nullptr);
// DownloadStart of the dispatch interface: opens the download dialog unless
// one is open already.
void DownloadStartSession();
// What every upload control constructor does to the process's download state.
void DownloadResetForNewControl();
// Joins the threads of download sessions that have ended and drops the
// module's holds they kept; the module asks before it answers whether it
// may unload.
void DownloadReapEndedSessions();

}  // namespace parvex
