#include "download_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/format.h"
#include "common/url.h"
#include "common/utf8.h"
#include "common/settings.h"
#include "download_engine.h"
#include "save_folder.h"

namespace parvex {


int ProgressPercent(double part, double whole) {
    if (!(whole > 0)) return 0;
    double p = part / whole * 100;
    // Written so that NaN lands on 0 and never reaches the cast.
    if (!(p > 0)) return 0;
    if (p > 100) return 100;
    return static_cast<int>(p);
}

void DownloadDialog::SendMerge(DownloadState& state) { state.MergePendingEntries(View()); }
void DownloadDialog::SendRefresh(DownloadState& state) { state.RebuildDownloadList(View()); }

namespace {

constexpr int kNameColumnWidth = 330;
constexpr int kStatusColumnWidth = 70;

// Where boxes go when nothing on screen can show them.
class StderrMessageBox : public MessageBoxHost {
public:
    int Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
        return (style & 0xF) == MbYesNo ? IdNo : IdOk;
    }
};

// The page's declared size feeds totals and bars only; a size that is not a
// finite count (NaN, infinite, negative) counts as unknown, 0.
double UsableSize(double size) { return std::isfinite(size) && size >= 0 ? size : 0; }

}  // namespace

DownloadState::DownloadState(const DownloadPlatform& platform) : platform_(platform) {
    fs_ = platform.fs ? platform.fs : &LocalFileSystem();
    network_ = platform.network ? platform.network : &PlatformNetwork();
    clock_ = platform.clock ? platform.clock : &SystemClock();
    if (platform.store) {
        store_ = platform.store;
    } else {
        ownedStore_ = MakePlatformSettingsStore();
        store_ = ownedStore_.get();
    }
    stderrMessages_ = std::make_unique<StderrMessageBox>();
    controlMessages_ = platform.controlMessages ? platform.controlMessages : stderrMessages_.get();
    promptMessages_ = platform.promptMessages ? platform.promptMessages : stderrMessages_.get();
}

DownloadState::~DownloadState() {
    shuttingDown_ = true;
    downloadCancelRequested = true;
    // The watcher joins the worker itself before it returns.
    if (cleanup_.joinable()) cleanup_.join();
    if (worker_.joinable()) worker_.join();
}

void DownloadState::ResetOnControlConstruction() {
    std::lock_guard<std::mutex> lock(mutex);
    // A control made while the queue still holds entries (a second control
    // on the page, or one made while a dialog is open) must not make the
    // worker forget entries waiting to be merged, nor zero the total the
    // bars divide by: both follow the queue as it is.
    pendingAdded = !pendingList.empty();
    downloadTotalBytes = 0;
    for (auto& e : downloadList) downloadTotalBytes += e->size;
    for (auto& e : pendingList) downloadTotalBytes += e->size;
    addCallCount = 0;
    addFailed = false;
    addFailureText.clear();
}

int DownloadState::FindEntryByNameLocked(const std::wstring& name) const {
    for (auto& e : downloadList)
        if (e->fileName == name) return -1;
    return 0;
}

int DownloadState::FindEntryByName(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(mutex);
    return FindEntryByNameLocked(name);
}

short DownloadState::AddDownloadFile(const std::wstring& urlPath, const std::wstring& fileName, double size,
                                     int totalAddCount, MessageBoxHost* callerBoxes) {
    std::shared_ptr<DownloadDialog> refresh;
    std::wstring report;
    short result = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        bool duplicate = FindEntryByNameLocked(fileName) == -1;
        std::shared_ptr<DownloadDialog> dialog = downloadDialog_;
        if (dialog) {
            // The batch counter belongs to calls made while no dialog is open.
            if (duplicate) return 0;
        } else {
            if (duplicate) {
                addFailureText += FormatText(L"%ls => 동일파일 존재\r\n", fileName.c_str());
                addFailed = true;
                result = -1;
            }
            ++addCallCount;
            if (addCallCount == totalAddCount) {
                if (addFailed) report = addFailureText;
                addFailureText.clear();
                addFailed = false;
                addCallCount = 0;
            }
        }
        if (result == 0) {
            auto entry = std::make_shared<DownloadEntry>();
            entry->urlPath = urlPath;
            entry->fileName = fileName;
            entry->size = UsableSize(size);
            entry->listIndex = static_cast<int32_t>(downloadList.size());
            entry->state = DownloadEntry::Waiting;
            downloadTotalBytes += entry->size;
            if (dialog && downloadRunning) {
                pendingList.push_back(entry);
                pendingAdded = true;
            } else {
                downloadList.push_back(entry);
                refresh = dialog;
            }
        }
    }
    if (!report.empty())
        (callerBoxes ? callerBoxes : controlMessages_)->Show(report, L"항목 추가 실패", MbOk | MbIconWarning);
    if (refresh) refresh->SendRefresh(*this);
    return result;
}

void DownloadState::DownloadStart() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (downloadDialog_) return;
    }
    // The previous session's watcher has let go of its dialog; it only has
    // to return.
    if (cleanup_.joinable()) cleanup_.join();
    if (worker_.joinable()) worker_.join();

    const std::wstring hostUrl = Settings().downloadHostUrl;
    downloadCookie = platform_.cookies ? FetchCookies(*platform_.cookies, hostUrl) : std::wstring();
    DownloadHostParts parts = SplitDownloadHostUrl(hostUrl);
    downloadPort = parts.port;
    downloadHost = parts.host;
    // A URL the client must not talk to leaves no host: every file then
    // fails to connect and nothing is sent.
    if (!IsUsableHttpUrl(hostUrl)) downloadHost.clear();

    if (!platform_.dialogFactory) return;
    std::shared_ptr<DownloadDialog> dialog = platform_.dialogFactory->Create(*this);
    if (!dialog) return;
    runStarted_ = false;
    InitializeDialog(dialog->View());
    {
        std::lock_guard<std::mutex> lock(mutex);
        downloadDialog_ = dialog;
    }
    dialog->Show();
    closeRequested = false;
    cleanup_ = std::thread(&DownloadState::DownloadCleanupThread, this);
}

void DownloadState::DownloadCleanupThread() {
    while (!closeRequested && !shuttingDown_) clock_->SleepMs(10);
    // Closing is only possible while no run is in progress; the worker, if
    // there was one, is past its last step.
    if (worker_.joinable()) worker_.join();
    std::shared_ptr<DownloadDialog> dialog;
    {
        std::lock_guard<std::mutex> lock(mutex);
        downloadList.clear();
        pendingList.clear();
        downloadTotalBytes = 0;
        dialog = downloadDialog_;
    }
    closeRequested = false;
    pendingAdded = false;
    // The dialog stays the open one until its window is gone: closing it
    // waits for the page's thread, and a DownloadStart made there meanwhile
    // must find a dialog open rather than wait for this thread to end.
    if (dialog) dialog->SendClose();
    std::lock_guard<std::mutex> lock(mutex);
    downloadDialog_.reset();
}

void DownloadState::ShowTotalLabel(DownloadView& view, double total) {
    view.SetText(IdcDnTotalSizeLabel, L" / " + FormatSize(total));
}

void DownloadState::MergePendingEntries(DownloadView& view) {
    std::vector<std::pair<int, std::wstring>> rows;
    double total;
    {
        std::lock_guard<std::mutex> lock(mutex);
        int n = static_cast<int>(downloadList.size());
        for (auto& p : pendingList) {
            auto copy = std::make_shared<DownloadEntry>();
            copy->urlPath = p->urlPath;
            copy->fileName = p->fileName;
            copy->size = p->size;
            copy->listIndex = n;
            copy->state = DownloadEntry::Waiting;
            downloadList.push_back(copy);
            rows.emplace_back(n, copy->fileName);
            ++n;
        }
        downloadEntryCount += static_cast<int>(pendingList.size());
        pendingList.clear();
        pendingAdded = false;
        total = downloadTotalBytes;
    }
    for (auto& row : rows) {
        view.InsertRow(row.first, row.second);
        view.SetRowStatus(row.first, kRowDownloadWaiting);
    }
    // Only the total grew: the run's own byte count stays as shown.
    ShowTotalLabel(view, total);
    view.SetColumnWidths(kNameColumnWidth, kStatusColumnWidth);
}

void DownloadState::RebuildDownloadList(DownloadView& view) {
    std::vector<std::pair<int, std::wstring>> rows;
    double total;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& e : downloadList) rows.emplace_back(e->listIndex, e->fileName);
        downloadEntryCount = static_cast<int>(rows.size());
        total = downloadTotalBytes;
    }
    view.DeleteAllRows();
    for (auto& row : rows) {
        view.InsertRow(row.first, row.second);
        view.SetRowStatus(row.first, kRowDownloadWaiting);
    }
    view.SetColumnWidths(kNameColumnWidth, kStatusColumnWidth);
    ShowTotalLabel(view, total);
}

int DownloadState::DeleteSelectedEntries(DownloadView& view, double receivedBytes) {
    std::vector<int> selected = view.SelectedRows();
    std::sort(selected.begin(), selected.end());
    std::vector<int> removedRows;
    bool currentRemoved = false;
    double total, done;
    {
        std::lock_guard<std::mutex> lock(mutex);
        double sum = 0;
        int k = 0;
        for (int r : selected) {
            auto it = std::find_if(downloadList.begin(), downloadList.end(),
                                   [&](const DownloadEntryPtr& e) { return e->listIndex == r - k; });
            if (it == downloadList.end()) continue;
            DownloadEntryPtr entry = *it;
            if (entry->state != DownloadEntry::Waiting && entry->state != DownloadEntry::Transferring) continue;
            for (auto& e : downloadList)
                if (e->listIndex > entry->listIndex) --e->listIndex;
            downloadList.erase(it);
            sum += entry->size;
            ++k;
            removedRows.push_back(r);
            if (entry->state == DownloadEntry::Transferring) currentRemoved = true;
        }
        if (k == 0) return 0;
        downloadTotalBytes -= sum;
        downloadEntryCount -= k;
        if (receivedBytes > 0) downloadDoneBytes -= receivedBytes;
        total = downloadTotalBytes;
        done = downloadDoneBytes;
    }
    for (auto it = removedRows.rbegin(); it != removedRows.rend(); ++it) view.DeleteRow(*it);
    ShowTotalLabel(view, total);
    if (receivedBytes > 0) view.SetText(IdcDnDoneBytesLabel, FormatSize(done));
    view.SetProgress(IdcDnTotalProgress, ProgressPercent(done, total));
    return currentRemoved ? -1 : 0;
}

void DownloadState::InitializeDialog(DownloadView& view) {
    view.SetCaption(Settings().downloadTitle);
    view.SetText(IdcDnCancelButton, L"전송취소");
    std::vector<std::pair<int, std::wstring>> rows;
    double total;
    {
        std::lock_guard<std::mutex> lock(mutex);
        downloadEntryCount = static_cast<int>(downloadList.size());
        downloadDoneBytes = 0;
        for (auto& e : downloadList) rows.emplace_back(e->listIndex, e->fileName);
        total = downloadTotalBytes;
    }
    deleteRequested = false;
    downloadRunning = false;
    downloadCancelRequested = false;
    conflict.downloadApplyToAll = false;
    resultSummary.clear();
    std::wstring folder = LoadSavePath(*store_, *fs_, L"");
    SetSaveFolder(folder);
    view.SetText(IdcDnSaveFolderEdit, folder);
    for (auto& row : rows) {
        view.InsertRow(row.first, row.second);
        view.SetRowStatus(row.first, kRowDownloadWaiting);
    }
    view.SetColumnWidths(kNameColumnWidth, kStatusColumnWidth);
    ShowTotalLabel(view, total);
}

void DownloadState::StartRun() {
    std::shared_ptr<DownloadDialog> dialog = Dialog();
    // Once closing was asked for, the watcher is tearing the session down
    // and empties the lists; a run must not start under it.
    if (!dialog || runStarted_ || closeRequested) return;
    runStarted_ = true;
    dialog->View().EnableControl(IdcDnStartButton, false);
    dialog->View().EnableControl(IdcDnChangeFolderButton, false);
    // Set before the thread exists: a worker that ends at once must find it
    // set so that its clearing is the last word.
    downloadRunning = true;
    worker_ = std::thread([this, dialog] { DownloadWorker(*this, dialog); });
}

void DownloadState::CancelOrClose() {
    if (downloadRunning)
        downloadCancelRequested = true;
    else
        closeRequested = true;
}

void DownloadState::DeleteButton(DownloadView& view) {
    if (view.SelectedRows().empty()) return;
    if (downloadRunning)
        deleteRequested = true;
    else
        DeleteSelectedEntries(view, 0);
}

void DownloadState::ChangeFolder(DownloadView& view) {
    if (!platform_.folderChooser || downloadRunning) return;
    SetSaveFolder(ChooseSaveFolder(*platform_.folderChooser, *store_, *fs_, view));
}

void DownloadState::WaitSessionClosed() {
    if (cleanup_.joinable()) cleanup_.join();
}

void DownloadState::WaitRunFinished() {
    while (downloadRunning) clock_->SleepMs(5);
}

std::vector<DownloadEntry> DownloadState::Entries() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<DownloadEntry> out;
    for (auto& e : downloadList) out.push_back(*e);
    return out;
}

std::vector<DownloadEntry> DownloadState::PendingEntries() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<DownloadEntry> out;
    for (auto& e : pendingList) out.push_back(*e);
    return out;
}

std::shared_ptr<DownloadDialog> DownloadState::Dialog() {
    std::lock_guard<std::mutex> lock(mutex);
    return downloadDialog_;
}

DownloadEntryPtr DownloadState::EntryAt(int listIndex) {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& e : downloadList)
        if (e->listIndex == listIndex) return e;
    return nullptr;
}

int DownloadState::SetEntryState(DownloadEntry& entry, int32_t state) {
    std::lock_guard<std::mutex> lock(mutex);
    entry.state = state;
    return entry.listIndex;
}

int DownloadState::RowOf(const DownloadEntry& entry) {
    std::lock_guard<std::mutex> lock(mutex);
    return entry.listIndex;
}

double DownloadState::TotalBytes() {
    std::lock_guard<std::mutex> lock(mutex);
    return downloadTotalBytes;
}

std::wstring DownloadState::SaveFolder() {
    std::lock_guard<std::mutex> lock(mutex);
    return saveFolder_;
}

void DownloadState::SetSaveFolder(const std::wstring& folder) {
    std::lock_guard<std::mutex> lock(mutex);
    saveFolder_ = folder;
}

namespace {
DownloadPlatform& ProcessPlatform() {
    static DownloadPlatform platform;
    return platform;
}
}  // namespace

void ConfigureProcessDownloads(const DownloadPlatform& platform) { ProcessPlatform() = platform; }

DownloadState& ProcessDownloadState() {
    // Never destroyed: its threads may outlive the controls, and the end of
    // the process must not wait for a dialog the user left open.
    static DownloadState* state = new DownloadState(ProcessPlatform());
    return *state;
}

}  // namespace parvex
