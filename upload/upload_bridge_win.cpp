// UploadStart of the page on Windows: the core's upload start with WinSock,
// the browser's cookies and message boxes. The run's worker thread does the
// transfer while the page's thread keeps dispatching its window messages, as
// a modal dialog's loop would.
#include <windows.h>

#include <atomic>
#include <thread>

#include "common/clock.h"
#include "common/cookies_win.h"
#include "common/file_system.h"
#include "common/format.h"
#include "common/socket.h"
#include "control/settings.h"
#include "control/upload_bridge.h"
#include "control/upload_list_win.h"
#include "control/window_message_box_win.h"
#include "upload/upload_list_access.h"
#include "upload/upload_start.h"

namespace parvex {
namespace {

// Until the progress dialog exists the run shows no progress of its own; the
// rows, bars and counters have nowhere to go.
class QuietProgressView : public UploadProgressView {
public:
    void SetText(int, const std::wstring&) override {}
    void ResetBar(int) override {}
    void SetBar(int, int) override {}
    void SetRowStatus(int, const std::wstring&) override {}
    void Close() override {}
};

// The two questions of a run, asked with message boxes from the worker
// thread (without owner: the owner's thread is waiting in the run host).
class MessageBoxUploadPrompts : public UploadPrompts {
public:
    int AskSameFile(UploadPromptState& state) override {
        std::wstring text = FormatText(L"업로드 폴더내에 같은 파일이 존재합니다.\r\n\r\n파일명 : %ls\r\n크   기 : %.f",
                                       state.sameFileName.c_str(), state.sameFileSize);
        if (MessageBoxW(nullptr, text.c_str(), L"Upload Same File", MB_YESNO | MB_TASKMODAL) == IDYES) {
            state.sameFileChoice = SameFileOverwrite;
            return IdOk;
        }
        state.sameFileChoice = SameFileSkip;
        return IdCancel;
    }
    int AskMissingFile(const std::wstring& missingFileName) override {
        std::wstring text = FormatText(L"    다음 파일이 이동되었거나 삭제되었습니다.\r\n\r\n파일명 : %ls",
                                       missingFileName.c_str());
        return MessageBoxW(nullptr, text.c_str(), L"File Process", MB_OKCANCEL | MB_TASKMODAL) == IDCANCEL
                   ? IdCancel
                   : IdOk;
    }
};

// Runs one run's worker on its own thread and dispatches the page thread's
// messages until it has ended.
class PumpingRunHost : public UploadRunHost {
public:
    explicit PumpingRunHost(UploadProgressView& view) : view_(view) {}
    void ShowProgress(UploadSession& session, CUploadProgress& dialog) override {
        BeginUploadRun(session, dialog);
        view_.RunOpened(dialog);
        HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread worker([&] {
            UploadWorker(session, dialog, view_);
            SetEvent(finished);
        });
        for (;;) {
            DWORD r = MsgWaitForMultipleObjects(1, &finished, FALSE, INFINITE, QS_ALLINPUT);
            if (r == WAIT_OBJECT_0) break;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                // A quit request is kept for the outer loop, after the run.
                if (msg.message == WM_QUIT) {
                    dialog.cancelRequested = 1;
                    PostQuitMessage(static_cast<int>(msg.wParam));
                    WaitForSingleObject(finished, INFINITE);
                    break;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            if (WaitForSingleObject(finished, 0) == WAIT_OBJECT_0) break;
        }
        worker.join();
        CloseHandle(finished);
        view_.RunEnded(dialog);
    }

private:
    UploadProgressView& view_;
};

}  // namespace

short ControlUploadStart(short kindOfUse, UploadListModel& list, void* ownerWindow) {
    QuietProgressView view;
    MessageBoxUploadPrompts prompts;
    PumpingRunHost runHost(view);
    WindowMessageBox controlBoxes;
    controlBoxes.SetOwner(static_cast<HWND>(ownerWindow));
    // The worker's boxes have no owner: the owner's thread is waiting in the
    // run host.
    WindowMessageBox workerBoxes;

    UploadStartServices services;
    services.cookies = &WinInetCookieStore();
    services.controlBoxes = &controlBoxes;
    services.runHost = &runHost;
    services.engine.network = &PlatformNetwork();
    services.engine.files = &LocalFileSystem();
    services.engine.clock = &SystemClock();
    services.engine.boxes = &workerBoxes;
    services.engine.prompts = &prompts;

    ModelUploadList access(list);
    return static_cast<short>(UploadStart(kindOfUse, Settings(), access, services));
}

}  // namespace parvex
