#include "control/page_notifier_win.h"

#include <mshtml.h>

#include "common/trace.h"

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
    HRESULT hr = hostBrowser->get_Document(&document);
    if (FAILED(hr) || !document) {
        TraceFailure(L"IWebBrowser2::get_Document", L"of the host browser", hr);
        messages_.Show(L"error get document", L"", MbOk);
        return;
    }
    IHTMLDocument2* html = nullptr;
    hr = document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
    if (FAILED(hr) || !html) {
        TraceFailure(L"QueryInterface(IHTMLDocument2)", L"of the browser's document", hr);
        document->Release();
        messages_.Show(L"error get document interface", L"", MbOk);
        return;
    }
    IDispatch* script = nullptr;
    hr = html->get_Script(&script);
    if (SUCCEEDED(hr) && script) {
        CallScript(script, name);
        script->Release();
    } else {
        TraceFailure(L"IHTMLDocument2::get_Script", L"of the browser's document", hr);
    }
    html->Release();
    document->Release();
}

void HostPageNotifier::CallScript(IDispatch* script, const std::wstring& name) {
    std::wstring copy = name;
    LPOLESTR names[1] = {&copy[0]};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) {
        TraceFailure(L"find the page's function", name, hr);
        return;
    }
    // The page may drop the control from its document meanwhile: the
    // control stays alive until the script has returned to it.
    if (control_) control_->AddRef();
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    hr = script->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    if (FAILED(hr)) TraceFailure(L"call the page's function", name, hr);
    if (control_) control_->Release();
}

}  // namespace parvex
