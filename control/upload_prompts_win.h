// The two questions of an upload run, asked by the worker on its own thread:
// CUploadSameDlg (the server has a file of that name) and CFilenotfound (a
// listed file is gone). Both are ownerless and topmost: their owner would be
// the progress dialog, whose thread must stay free to take the cancel button.
#pragma once
#include <windows.h>

#include <string>

#include "control/dialog_win.h"
#include "resources/resource.h"
#include "upload/upload_progress.h"

namespace parvex {

class CUploadSameDlg : public DialogImpl<CUploadSameDlg> {
public:
    enum { Template = IDD_UPLOAD_SAME };
    explicit CUploadSameDlg(UploadPromptState& state) : state_(state) {}

    PARVEX_BEGIN_MSG_MAP(CUploadSameDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_COMMAND_ID_HANDLER(IDC_SAME_OVERWRITE, OnOverwrite)
        PARVEX_COMMAND_ID_HANDLER(IDC_SAME_RENAME, OnRename)
        PARVEX_COMMAND_ID_HANDLER(IDC_SAME_SKIP, OnSkip)
        PARVEX_COMMAND_CODE_HANDLER(IDC_SAME_ALL, BN_CLICKED, OnApplyToAll)
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnClose)
        // Enter chooses nothing: there is no default button.
        PARVEX_COMMAND_IGNORE(IDOK)
    PARVEX_END_MSG_MAP()

private:
    bool OnInitDialog();
    void OnOverwrite();
    void OnRename();
    void OnSkip();
    void OnApplyToAll();
    void OnClose() { EndDialog(IDCANCEL); }
    void ShowApplyToAll();

    UploadPromptState& state_;
    std::wstring renameText_;
};

class CFilenotfound : public DialogImpl<CFilenotfound> {
public:
    enum { Template = IDD_FILE_NOT_FOUND };
    explicit CFilenotfound(const std::wstring& missingFileName) : name_(missingFileName) {}

    PARVEX_BEGIN_MSG_MAP(CFilenotfound)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_COMMAND_ID_HANDLER(IDOK, OnOk)
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    PARVEX_END_MSG_MAP()

private:
    bool OnInitDialog();
    void OnOk() { EndDialog(IDOK); }
    void OnCancel() { EndDialog(IDCANCEL); }

    std::wstring name_;
};

// Closes a prompt that opens after its run was abandoned.
void CloseIfAbandoned(HWND prompt);

// The worker's questions as these dialogs.
class DialogUploadPrompts : public UploadPrompts {
public:
    // Once the page went during the run (UploadRunAbandoned), every question
    // is answered as if its dialog was closed (skip the same name, cancel on
    // a missing file), and a prompt that opens anyway closes itself.
    MessageAnswer AskSameFile(UploadPromptState& state) override;
    MessageAnswer AskMissingFile(const std::wstring& missingFileName) override;
};

}  // namespace parvex
