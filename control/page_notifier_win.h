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

class HostPageNotifier : public PageNotifier {
public:
    explicit HostPageNotifier(MessageBoxHost& messages) : messages_(messages) {}
    // The control that owns this notifier (no reference kept: it owns us).
    void SetControl(IUnknown* control) { control_ = control; }
    void InvokePageFunction(const std::wstring& name) override;

private:
    void CallScript(IDispatch* script, const std::wstring& name);

    MessageBoxHost& messages_;
    IUnknown* control_ = nullptr;
};

}  // namespace parvex
