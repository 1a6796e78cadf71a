#include "control/site_gate_win.h"

#include <exdisp.h>
#include <mshtml.h>

#include <vector>

#include "common/settings_store.h"
#include "common/site_lock.h"
#include "common/trace.h"
#include "control/host_browser_win.h"

namespace parvex {
namespace {

// Takes the address a getter returned into text, empty ones not. text is
// read here, after the getter has run, whatever order the arguments took.
void Keep(HRESULT hr, BSTR& text, std::vector<std::wstring>& addresses) {
    if (SUCCEEDED(hr) && text && SysStringLen(text) > 0) addresses.emplace_back(text, SysStringLen(text));
    SysFreeString(text);
    text = nullptr;
}

void DocumentAddress(IUnknown* object, std::vector<std::wstring>& addresses) {
    IHTMLDocument2* document = nullptr;
    if (!object || FAILED(object->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document)))) return;
    BSTR url = nullptr;
    Keep(document->get_URL(&url), url, addresses);
    document->Release();
}

// The hosting browser's address, else its document's; and the address of
// the control's own document when its container is one, since inside a
// frame the browser reports the top page, not the one that scripts us.
std::vector<std::wstring> PageAddresses(IOleClientSite* site) {
    std::vector<std::wstring> addresses;
    if (IWebBrowser2* browser = GetHostBrowser(site)) {
        BSTR url = nullptr;
        Keep(browser->get_LocationURL(&url), url, addresses);
        IDispatch* document = nullptr;
        if (addresses.empty() && SUCCEEDED(browser->get_Document(&document)) && document) {
            DocumentAddress(document, addresses);
            document->Release();
        }
        browser->Release();
    }
    IOleContainer* container = nullptr;
    if (site && SUCCEEDED(site->GetContainer(&container)) && container) {
        DocumentAddress(container, addresses);
        container->Release();
    }
    return addresses;
}

}  // namespace

void SiteGate::Judge(IOleClientSite* site) {
    address_.clear();
    refusal_.clear();
    SiteLock lock = LoadSiteLock(*MakePlatformSettingsStore());
    // Without a list nothing about the page is asked: every page may.
    if (lock.Listed()) {
        std::vector<std::wstring> addresses = PageAddresses(site);
        if (addresses.empty()) addresses.emplace_back();
        for (const std::wstring& address : addresses) {
            address_ = address;
            refusal_ = lock.Refusal(address);
            if (!refusal_.empty()) break;
        }
    }
    // Without a site the container has not placed us yet: ask again later.
    judged_ = site != nullptr;
}

bool SiteGate::Admits(IOleClientSite* site, const std::wstring& what) {
    if (!judged_) Judge(site);
    if (refusal_.empty()) return true;
    TraceFailure((L"site lock refused " + what + L" to the page").c_str(),
                 address_.empty() ? std::wstring(L"of unknown address") : address_, E_ACCESSDENIED, refusal_);
    return false;
}

}  // namespace parvex
