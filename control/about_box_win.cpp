#include "control/com_module_win.h"
#include "control/controls_win.h"
#include "control/dialog_win.h"

namespace parvex {

namespace {

// Both controls' about boxes: a text and an OK button.
class CAboutDlg : public DialogImpl<CAboutDlg> {
public:
    enum { Template = 0 };  // the caller names the template
    PARVEX_BEGIN_MSG_MAP(CAboutDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_COMMAND_ID_HANDLER(IDOK, OnOk)
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
    PARVEX_END_MSG_MAP()

private:
    bool OnInitDialog() { return true; }
    void OnOk() { EndDialog(IDOK); }
    void OnCancel() { EndDialog(IDCANCEL); }
};

}  // namespace

void ShowAboutBox(int dialogId, HWND owner) {
    CAboutDlg dialog;
    dialog.DoModal(owner, dialogId);
}

}  // namespace parvex
