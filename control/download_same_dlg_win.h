// The download worker's question when a file of the name is already in the
// save folder: CDownloadSameDlg (template 208), shown modally on the worker's
// thread without owner, its rename through CChangeFilenameDlg; and the save
// folder browser of the change-folder button. The rules are SameFileLogic's
// and NameEntryLogic's; these only show them.
#pragma once
#include <windows.h>

#include "control/dialog_win.h"
#include "download/same_file.h"
#include "resources/resource.h"

namespace parvex {

class CDownloadSameDlg : public DialogImpl<CDownloadSameDlg> {
public:
    enum { Template = IDD_DOWNLOAD_SAME };
    explicit CDownloadSameDlg(SameFileLogic& logic) : logic_(logic) {}

    PARVEX_BEGIN_MSG_MAP(CDownloadSameDlg)
        PARVEX_MSG_WM_INITDIALOG(OnInitDialog)
        PARVEX_COMMAND_CODE_HANDLER(IDC_DNSAME_ALL, BN_CLICKED, OnApplyToAll)
        PARVEX_COMMAND_ID_HANDLER(IDC_DNSAME_OVERWRITE, OnOverwrite)
        PARVEX_COMMAND_ID_HANDLER(IDC_DNSAME_RENAME, OnRename)
        PARVEX_COMMAND_ID_HANDLER(IDC_DNSAME_CANCEL, OnCancelButton)
        // The close box and Escape.
        PARVEX_COMMAND_ID_HANDLER(IDCANCEL, OnClose)
        // Enter chooses nothing, wherever the focus is.
        PARVEX_COMMAND_IGNORE(IDOK)
    PARVEX_END_MSG_MAP()

private:
    bool OnInitDialog();
    void OnApplyToAll();
    void OnOverwrite() { End(logic_.Overwrite()); }
    void OnRename();
    void OnCancelButton() { End(logic_.Cancel()); }
    void OnClose() { End(logic_.Close()); }
    void End(PromptEnd end);
    void ShowApplyToAll();

    SameFileLogic& logic_;
};

class DialogSameFilePrompt : public SameFilePrompt {
public:
    bool Run(SameFileLogic& logic) override;
};

// CChangeFilenameDlg owned by the window active on the calling thread (the
// same-name prompt that asks for it).
class DialogNameEntryPrompt : public NameEntryPrompt {
public:
    bool Run(NameEntryLogic& logic) override;
};

// The system folder browser, owned by the window active on the calling
// thread (the download dialog).
class DialogFolderChooser : public FolderChooser {
public:
    bool Choose(std::wstring& folder) override;
};

}  // namespace parvex
