// CChangeFilenameDlg: the small name-entry dialog behind the rename buttons of
// the upload and download same-name prompts. Its rules (unchanged name, no
// folder in the name) are NameEntryLogic's; the dialog shows them.
#pragma once
#include <windows.h>

#include <string>

#include "common/message_box.h"
#include "control/dialog_win.h"
#include "control/window_message_box_win.h"
#include "resources/resource.h"

namespace parvex {

class NameEntryLogic;

class CChangeFilenameDlg : public DialogImpl<CChangeFilenameDlg> {
public:
    enum { Template = IDD_CHANGE_FILENAME };
    // boxes, when given, is the logic's message box host: it is owned by this
    // dialog while the dialog is open.
    explicit CChangeFilenameDlg(NameEntryLogic& logic, WindowMessageBox* boxes = nullptr)
        : logic_(logic), boxes_(boxes) {}

    PARVEX_BEGIN_MSG_MAP(CChangeFilenameDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_COMMAND_ID_HANDLER(IDOK, OnOk)
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    PARVEX_END_MSG_MAP()

private:
    bool OnInitDialog();
    void OnOk();
    void OnCancel() { EndDialog(IDCANCEL); }

    NameEntryLogic& logic_;
    WindowMessageBox* boxes_;
};

// Proposes renameText in the name-entry dialog owned by owner; true when the
// user confirmed an acceptable new name, which is then in renameText.
bool AskNewFileName(std::wstring& renameText, HWND owner);

}  // namespace parvex
