// The browser a control finds through its site: its document's script
// object is the page's own script, so a control calling a page function by
// name runs the page script's function.
#pragma once
#include "tools/page/browser_stubs_win.h"

#include <functional>
#include <string>

namespace parvex::page {

// Gives the page script's global object with one reference, or null.
using ScriptSource = std::function<IDispatch*()>;

struct PageDocument final : HtmlDocumentStubs {
    PageDocument(ScriptSource script, std::wstring url) : script(std::move(script)), url(std::move(url)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE get_Script(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_URL(BSTR* out) override;

    ScriptSource script;
    std::wstring url;  // empty: the document does not say
    ULONG refs = 1;
};

struct PageBrowser final : WebBrowserStubs {
    // brokenDocument: get_Document fails, as a browser whose page is gone.
    PageBrowser(ScriptSource script, bool brokenDocument) : script(std::move(script)), brokenDocument(brokenDocument) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** out) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* out) override;

    ScriptSource script;
    bool brokenDocument;
    // The page's address, which the browser and its document report; empty:
    // neither says.
    std::wstring url;
    ULONG refs = 1;
};

}  // namespace parvex::page
