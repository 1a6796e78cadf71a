#include "upload_start.h"

#include <chrono>
#include <memory>
#include <thread>

#include "common/format.h"
#include "common/url.h"

namespace parvex {
namespace {

constexpr int kRerunsPerQuestion = 3;

std::atomic<CUploadProgress*> activeProgressDialog{nullptr};

}  // namespace

CUploadProgress* ActiveProgressDialog() { return activeProgressDialog.load(); }

void ThreadedUploadRunHost::ShowProgress(UploadSession& session, CUploadProgress& dialog) {
    BeginUploadRun(session, dialog);
    view_.RunOpened(dialog);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        UploadWorker(session, dialog, view_);
        done = true;
    });
    if (interrupt_) {
        while (!done.load()) {
            if (interrupt_->load() != 0) dialog.cancelRequested = 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    worker.join();
    view_.RunEnded(dialog);
}

int UploadStart(short kindOfUse, const ProcessSettings& settings, UploadListAccess& list,
                UploadStartServices& services) {
    (void)kindOfUse;  // accepted for the page's sake; both uses upload alike

    UploadSession session;
    session.services = services.engine;
    session.target.cookie = FetchCookies(*services.cookies, settings.uploadUrl);
    UploadUrlParts parts = SplitUploadUrl(settings.uploadUrl, settings.existUrl);
    session.target.host = parts.host;
    session.target.port = parts.port;
    session.target.path = parts.path;
    session.target.existPath = parts.existPath;
    session.target.expectContinue = settings.expectContinue;
    session.target.formFileNameField = settings.formFileNameField;
    session.target.formUniqueNameField = settings.formUniqueNameField;
    session.target.formFileField = settings.formFileField;
    // A URL the client must not or cannot post to (not plain http, no host
    // or path, a bad port, control characters that would land in the request
    // head) fails every file as a connection failure, with nothing sent.
    session.usableUrl = IsUsableUploadUrl(settings.uploadUrl) && IsHeaderSafe(settings.existUrl);

    auto dialog = std::make_unique<CUploadProgress>();
    dialog->runEntries = list.Entries();
    dialog->runTotalBytes = list.TotalSize();
    activeProgressDialog = dialog.get();
    services.runHost->ShowProgress(session, *dialog);

    if (dialog->cancelRequested == 0 && session.allSucceeded == 0 && !dialog->stoppedOnRefusal) {
        int reruns = 0;
        for (;;) {
            if (reruns == kRerunsPerQuestion) {
                std::wstring names;
                for (const UploadEntry* e : dialog->failedEntries) names += e->fileName + L"\r\n";
                std::wstring text = FormatText(
                    L"업로드에 실패한 항목이 있습니다.\r\n재시도 하시겠습니까?\r\n\r\n%ls", names.c_str());
                if (services.controlBoxes->Show(text, L"Warning", MbYesNo) != IdYes) break;
                reruns = 0;
            }
            auto next = std::make_unique<CUploadProgress>();
            next->runEntries = dialog->failedEntries;
            next->runTotalBytes = dialog->failedBytes;
            next->statusText = kRerunStatus;
            activeProgressDialog = next.get();
            dialog = std::move(next);
            services.runHost->ShowProgress(session, *dialog);
            if (dialog->cancelRequested != 0) break;
            ++reruns;
            if (session.allSucceeded != 0 || dialog->stoppedOnRefusal) break;
        }
    }

    if (dialog->cancelRequested == 1) services.controlBoxes->Show(L"업로드가 취소되었습니다.", L"알림", MbOk);
    activeProgressDialog = nullptr;
    dialog.reset();
    list.Clear();
    return session.allSucceeded != 0 ? 1 : 0;
}

}  // namespace parvex
