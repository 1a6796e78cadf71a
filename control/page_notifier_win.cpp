#include "control/page_notifier_win.h"

#include <mshtml.h>

namespace parvex {

namespace {
IWebBrowser2* hostBrowser = nullptr;
}

void SetHostBrowser(IWebBrowser2* browser) {
    if (browser) browser->AddRef();
    if (hostBrowser) hostBrowser->Release();
    hostBrowser = browser;
}

void HostPageNotifier::InvokePageFunction(const std::wstring& name) {
    // Outside a browser there is no page to tell.
    if (!hostBrowser) return;
    IDispatch* document = nullptr;
    if (FAILED(hostBrowser->get_Document(&document)) || !document) {
        messages_.Show(L"error get document", L"", MbOk);
        return;
    }
    IHTMLDocument2* html = nullptr;
    if (FAILED(document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html))) || !html) {
        document->Release();
        messages_.Show(L"error get document interface", L"", MbOk);
        return;
    }
    IDispatch* script = nullptr;
    if (SUCCEEDED(html->get_Script(&script)) && script) {
        CallScript(script, name);
        script->Release();
    }
    html->Release();
    document->Release();
}

void HostPageNotifier::CallScript(IDispatch* script, const std::wstring& name) {
    std::wstring copy = name;
    LPOLESTR names[1] = {&copy[0]};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id))) return;
    // The page may drop the control from its document meanwhile: the
    // control stays alive until the script has returned to it.
    if (control_) control_->AddRef();
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    script->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    if (control_) control_->Release();
}

}  // namespace parvex
