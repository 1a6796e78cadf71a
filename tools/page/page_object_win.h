// The page script's "page" object: a dispatch interface written by hand,
// with the methods tests, the demo and integrators' scripts call.
#pragma once
#include <windows.h>
#include <ole2.h>

namespace parvex::page {

class PageHost;

struct PageObject final : IDispatch {
    explicit PageObject(PageHost& host) : host(host) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* error, UINT* badArgument) override;

    PageHost& host;
    ULONG refs = 1;  // the host's; the script engine adds its own
};

}  // namespace parvex::page
