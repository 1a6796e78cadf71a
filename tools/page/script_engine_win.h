// The page's script: a JScript text run by the platform's script engine,
// with one named item, "page", that the page host supplies.
#pragma once
#include <windows.h>
#include <activscp.h>

#include <functional>
#include <string>

namespace parvex::page {

struct ScriptEngine final : IActiveScriptSite, IActiveScriptSiteWindow {
    // onError gets the engine's message with its line, once per error.
    ScriptEngine(IDispatch* pageObject, HWND window, std::function<void(const std::wstring&)> onError);
    ~ScriptEngine();

    // Loads the engine and adds the "page" item; false with a message when
    // the engine is not there.
    bool Start(std::wstring& failure);
    // Runs the page's text; false when it failed (the error was reported).
    bool Run(const std::wstring& text);
    // The script's global object (its functions by name), with one
    // reference for the caller, or null.
    IDispatch* GlobalObject();
    // Calls a function object of the script without arguments; reports a
    // failure the engine did not report itself.
    void CallFunction(IDispatch* function);
    void Close();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    // IActiveScriptSite
    HRESULT STDMETHODCALLTYPE GetLCID(LCID* lcid) override;
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override;
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override;
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }
    // IActiveScriptSiteWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    IDispatch* pageObject;
    HWND window;
    std::function<void(const std::wstring&)> onError;
    IActiveScript* engine = nullptr;
    IActiveScriptParse* parser = nullptr;
    bool errorReported = false;  // set by OnScriptError for the call under way
    ULONG refs = 1;              // lives as long as the page host
};

}  // namespace parvex::page
