#include "control/change_filename_dlg_win.h"

#include "download/same_file.h"

namespace parvex {

bool CChangeFilenameDlg::OnInitDialog() {
    if (boxes_) boxes_->SetOwner(window_);
    SetItemText(IDC_RENAME_EDIT, logic_.Open());
    return true;
}

void CChangeFilenameDlg::OnOk() {
    std::wstring text = ItemText(IDC_RENAME_EDIT);
    if (logic_.Ok(text)) {
        EndDialog(IDOK);
        return;
    }
    // A refused name may have been replaced by the old one.
    if (text != ItemText(IDC_RENAME_EDIT)) SetItemText(IDC_RENAME_EDIT, text);
    SetFocus(Item(IDC_RENAME_EDIT));
}

bool AskNewFileName(std::wstring& renameText, HWND owner) {
    WindowMessageBox boxes;
    NameEntryLogic logic(renameText, boxes);
    CChangeFilenameDlg dialog(logic, &boxes);
    return dialog.DoModal(owner) == IDOK;
}

}  // namespace parvex
