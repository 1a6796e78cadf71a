#include "control/host_browser_win.h"

#include <servprov.h>

#include "common/trace.h"

namespace parvex {

IWebBrowser2* GetHostBrowser(IOleClientSite* site) {
    if (!site) return nullptr;
    site->AddRef();
    // The container only proves that the control sits in one.
    IOleContainer* container = nullptr;
    HRESULT hr = site->GetContainer(&container);
    if (FAILED(hr) || !container) {
        TraceFailure(L"IOleClientSite::GetContainer", L"of the control's site", hr);
        site->Release();
        return nullptr;
    }
    IServiceProvider* provider = nullptr;
    hr = site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider));
    if (FAILED(hr) || !provider) {
        TraceFailure(L"QueryInterface(IServiceProvider)", L"of the control's site", hr);
        container->Release();
        site->Release();
        return nullptr;
    }
    IWebBrowser2* browser = nullptr;
    // SID_SWebBrowserApp is the identity of IWebBrowserApp.
    hr = provider->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
    if (FAILED(hr)) TraceFailure(L"QueryService(IWebBrowser2)", L"of the control's site", hr);
    container->Release();
    site->Release();
    provider->Release();
    return SUCCEEDED(hr) ? browser : nullptr;
}

}  // namespace parvex
