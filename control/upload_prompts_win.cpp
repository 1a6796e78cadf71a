#include "control/upload_prompts_win.h"

#include "common/format.h"
#include "control/change_filename_dlg_win.h"
#include "upload/upload_start.h"

namespace parvex {

namespace {
void MakeTopmost(HWND window) { SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }
}  // namespace

void CloseIfAbandoned(HWND prompt) {
    if (UploadRunAbandoned()) PostMessageW(prompt, WM_CLOSE, 0, 0);
}

bool CUploadSameDlg::OnInitDialog() {
    MakeTopmost(window_);
    CloseIfAbandoned(window_);
    renameText_ = SameFileRenameProposal(state_.sameFileName);
    SetItemText(IDC_SAME_NAME, state_.sameFileName);
    SetItemText(IDC_SAME_SIZE, FormatText(L"%.f", state_.sameFileSize));
    ShowApplyToAll();
    return true;
}

void CUploadSameDlg::ShowApplyToAll() {
    CheckDlgButton(window_, IDC_SAME_ALL, state_.applyToAll ? BST_CHECKED : BST_UNCHECKED);
    // A rename cannot be applied to every file.
    EnableWindow(Item(IDC_SAME_RENAME), !state_.applyToAll);
}

void CUploadSameDlg::OnOverwrite() {
    state_.sameFileChoice = UploadSameOverwrite;
    EndDialog(IDOK);
}

void CUploadSameDlg::OnSkip() {
    state_.sameFileChoice = UploadSameSkip;
    EndDialog(IDCANCEL);
}

void CUploadSameDlg::OnApplyToAll() {
    state_.applyToAll = !state_.applyToAll;
    ShowApplyToAll();
}

void CUploadSameDlg::OnRename() {
    // An abandoned rename still ends with OK and no choice: the worker asks
    // the server again under the unchanged name, which brings this prompt back.
    if (AskNewFileName(renameText_, window_)) {
        ApplySameFileRename(state_, renameText_);
        ShowApplyToAll();
    }
    EndDialog(IDOK);
}

bool CFilenotfound::OnInitDialog() {
    MakeTopmost(window_);
    CloseIfAbandoned(window_);
    SetItemText(IDC_MISSING_NAME, name_);
    return true;
}

MessageAnswer DialogUploadPrompts::AskSameFile(UploadPromptState& state) {
    if (UploadRunAbandoned()) return IdCancel;
    CUploadSameDlg dialog(state);
    return dialog.DoModal(nullptr) == IDOK ? IdOk : IdCancel;
}

MessageAnswer DialogUploadPrompts::AskMissingFile(const std::wstring& missingFileName) {
    if (UploadRunAbandoned()) return IdCancel;
    CFilenotfound dialog(missingFileName);
    return dialog.DoModal(nullptr) == IDCANCEL ? IdCancel : IdOk;
}

}  // namespace parvex
