// UploadStart of the page on Windows: the core's upload start with WinSock,
// the browser's cookies, the progress dialog modal to the page's top-level
// window and the worker's questions as dialogs.
#include <windows.h>

#include "common/cookies_win.h"
#include "common/module_hold.h"
#include "common/settings.h"
#include "control/upload_bridge.h"
#include "control/upload_list_win.h"
#include "control/upload_progress_dlg_win.h"
#include "control/upload_prompts_win.h"
#include "control/window_message_box_win.h"
#include "upload/upload_list_access.h"
#include "upload/upload_start.h"

namespace parvex {
namespace {

// Each run in its own progress dialog, modal to the page.
class DialogRunHost : public UploadRunHost {
public:
    explicit DialogRunHost(HWND owner) : owner_(owner) {}
    void ShowProgress(UploadSession& session, CUploadProgress& run) override {
        CUploadProgressDlg dialog(session, run, Settings().uploadTitle);
        showing_ = &dialog;
        dialog.Run(owner_);
        showing_ = nullptr;
    }
    void CloseForAbandon() override {
        if (showing_) showing_->CloseWorkerWindows();
    }

private:
    HWND owner_;
    CUploadProgressDlg* showing_ = nullptr;  // page's thread only: the dialog of ShowProgress
};

// The control's boxes: once the control's window is gone with its page there
// is nobody left to tell, and a question is answered with its last button.
class ControlMessageBox : public MessageBoxHost {
public:
    explicit ControlMessageBox(HWND owner) : owner_(owner) { boxes_.SetOwner(owner); }
    MessageAnswer Show(const std::wstring& text, const std::wstring& caption, unsigned style) override {
        if (owner_ && !IsWindow(owner_)) return (style & MbYesNo) == MbYesNo ? IdNo : IdOk;
        return boxes_.Show(text, caption, style);
    }

private:
    HWND owner_;
    WindowMessageBox boxes_;
};

}  // namespace

short ControlUploadStart(short kindOfUse, UploadListModel& list, void* ownerWindow) {
    // The progress dialog and its worker run inside this call: the module
    // stays loaded until both are gone, whatever the page releases meanwhile.
    ModuleHold hold;
    HWND control = static_cast<HWND>(ownerWindow);
    DialogUploadPrompts prompts;
    DialogRunHost runHost(control ? GetAncestor(control, GA_ROOT) : nullptr);
    ControlMessageBox controlBoxes(control);
    // The worker's boxes have no owner: the dialog's thread must stay free
    // for the cancel button.
    WindowMessageBox workerBoxes;

    UploadStartServices services;
    services.cookies = &WinInetCookieStore();
    services.controlBoxes = &controlBoxes;
    services.runHost = &runHost;
    services.engine = PlatformUploadServices(workerBoxes, prompts);

    ModelUploadList access(list);
    return static_cast<short>(UploadStart(kindOfUse, Settings(), access, services));
}

bool UploadListLocked() { return UploadRunInProgress() || CallingPage(); }

void CancelUploadFromPage() {
    AbandonUploadRun();
}

}  // namespace parvex
