// Calls a global function of the page that hosts the control, through the
// browser that the control's window found at its creation.
#pragma once
#include <windows.h>
#include <exdisp.h>

#include "common/message_box.h"
#include "control/upload_list_win.h"

namespace parvex {

// The process's host browser: the last upload control window to be created
// sets it (null outside a browser); it keeps one reference.
void SetHostBrowser(IWebBrowser2* browser);
IWebBrowser2* HostBrowser();

class HostPageNotifier : public PageNotifier {
public:
    explicit HostPageNotifier(MessageBoxHost& messages) : messages_(messages) {}
    void InvokePageFunction(const std::wstring& name) override;

private:
    MessageBoxHost& messages_;
};

}  // namespace parvex
