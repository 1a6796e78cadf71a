#include "control/download_same_dlg_win.h"

#include <shlobj.h>

#include "control/change_filename_dlg_win.h"

namespace parvex {

bool CDownloadSameDlg::OnInitDialog() {
    // Ownerless on the worker's thread: kept in front of the download dialog.
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    logic_.Open();
    SetItemText(IDC_DNSAME_NAME, logic_.NameText());
    SetItemText(IDC_DNSAME_SIZE, logic_.SizeText());
    ShowApplyToAll();
    return true;
}

void CDownloadSameDlg::ShowApplyToAll() {
    CheckDlgButton(window_, IDC_DNSAME_ALL, logic_.ApplyToAll() ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(Item(IDC_DNSAME_RENAME), logic_.RenameEnabled());
}

void CDownloadSameDlg::OnApplyToAll() {
    logic_.ToggleApplyToAll();
    ShowApplyToAll();
}

void CDownloadSameDlg::OnRename() {
    PromptEnd end = logic_.Rename();
    ShowApplyToAll();
    End(end);
}

void CDownloadSameDlg::End(PromptEnd end) {
    if (end == PromptEnd::Ok) EndDialog(IDOK);
    if (end == PromptEnd::Cancel) EndDialog(IDCANCEL);
}

bool DialogSameFilePrompt::Run(SameFileLogic& logic) {
    CDownloadSameDlg dialog(logic);
    return dialog.DoModal(nullptr) == IDOK;
}

bool DialogNameEntryPrompt::Run(NameEntryLogic& logic) {
    // The logic's boxes are the prompts' own, without owner.
    CChangeFilenameDlg dialog(logic);
    return dialog.DoModal(GetActiveWindow()) == IDOK;
}

bool DialogFolderChooser::Choose(std::wstring& folder) {
    BROWSEINFOW info = {};
    info.hwndOwner = GetActiveWindow();
    info.lpszTitle = L"저장 폴더를 선택하십시요.";
    // File-system folders only, a status line, an edit box, the new dialog
    // style.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    static_assert((BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT | BIF_EDITBOX | BIF_NEWDIALOGSTYLE) == 0x55,
                  "the folder browser's options");
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return false;
    wchar_t path[MAX_PATH] = {0};
    bool got = SHGetPathFromIDListW(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (got) folder = path;
    return got;
}

}  // namespace parvex
