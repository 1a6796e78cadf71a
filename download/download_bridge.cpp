// The upload control's download methods, reaching the process's queue: the
// one place that puts the queue and its engine together.
#include "download/download_bridge.h"

#include "download_engine.h"
#include "download_state.h"

namespace parvex {
namespace {

DownloadPlatform& ProcessPlatform() {
    static DownloadPlatform platform;
    return platform;
}

DownloadState& ProcessQueue() {
    // Never destroyed: its threads may outlive the controls, and the end of
    // the process must not wait for a dialog the user left open.
    static DownloadState* state = [] {
        static HttpDownloadEngine engine;
        DownloadPlatform platform = ProcessPlatform();
        if (!platform.engine) platform.engine = &engine;
        return new DownloadState(platform);
    }();
    return *state;
}

// What the page's thread may call.
DownloadPageCalls& Page() { return ProcessQueue(); }

}  // namespace

void ConfigureProcessDownloads(const DownloadPlatform& platform) { ProcessPlatform() = platform; }

DownloadState& ProcessDownloadState() { return ProcessQueue(); }

short DownloadAddFile(const std::wstring& urlPath, const std::wstring& fileName, double size, int totalAddCount,
                      MessageBoxHost* callerBoxes) {
    return Page().AddDownloadFile(urlPath, fileName, size, totalAddCount, callerBoxes);
}

void DownloadStartSession() { Page().DownloadStart(); }

void DownloadResetForNewControl() { Page().ResetOnControlConstruction(); }

void DownloadReapEndedSessions() { ProcessQueue().ReapEndedSessions(); }

}  // namespace parvex
