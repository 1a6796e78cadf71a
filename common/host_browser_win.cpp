#include "host_browser_win.h"

#include <servprov.h>

namespace parvex {

IWebBrowser2* GetHostBrowser(IOleClientSite* site) {
    if (!site) return nullptr;
    site->AddRef();
    // The container only proves that the control sits in one.
    IOleContainer* container = nullptr;
    if (FAILED(site->GetContainer(&container)) || !container) {
        site->Release();
        return nullptr;
    }
    IServiceProvider* provider = nullptr;
    if (FAILED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider))) || !provider) {
        container->Release();
        site->Release();
        return nullptr;
    }
    IWebBrowser2* browser = nullptr;
    // SID_SWebBrowserApp is the identity of IWebBrowserApp.
    HRESULT hr = provider->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
    container->Release();
    site->Release();
    provider->Release();
    return SUCCEEDED(hr) ? browser : nullptr;
}

}  // namespace parvex
