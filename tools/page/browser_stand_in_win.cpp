#include "tools/page/browser_stand_in_win.h"

namespace parvex::page {

HRESULT PageDocument::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IHTMLDocument || iid == IID_IHTMLDocument2) {
        *out = static_cast<IHTMLDocument2*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG PageDocument::Release() {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
}

HRESULT PageDocument::get_Script(IDispatch** out) {
    *out = script();
    return *out ? S_OK : E_FAIL;
}

HRESULT PageBrowser::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser || iid == IID_IWebBrowserApp ||
        iid == IID_IWebBrowser2) {
        *out = static_cast<IWebBrowser2*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG PageBrowser::Release() {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
}

HRESULT PageBrowser::get_Document(IDispatch** out) {
    *out = nullptr;
    if (brokenDocument) return E_FAIL;
    *out = new PageDocument(script);
    return S_OK;
}

}  // namespace parvex::page
