#include "tools/page/browser_stand_in_win.h"

namespace parvex::page {

namespace {

HRESULT ReturnUrl(const std::wstring& url, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (url.empty()) return E_NOTIMPL;
    *out = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

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

HRESULT PageDocument::get_URL(BSTR* out) { return ReturnUrl(url, out); }

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
    *out = new PageDocument(script, url);
    return S_OK;
}

HRESULT PageBrowser::get_LocationURL(BSTR* out) { return ReturnUrl(url, out); }

}  // namespace parvex::page
