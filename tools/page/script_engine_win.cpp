#include "tools/page/script_engine_win.h"

#include <string>

namespace parvex::page {

namespace {

std::wstring Describe(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    if (info.bstrDescription && *info.bstrDescription) return info.bstrDescription;
    wchar_t code[32];
    swprintf(code, 32, L"error 0x%08lx", static_cast<unsigned long>(info.scode ? info.scode : info.wCode));
    return code;
}

void ClearExcepInfo(EXCEPINFO& info) {
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
}

}  // namespace

ScriptEngine::ScriptEngine(IDispatch* pageObject, HWND window, std::function<void(const std::wstring&)> onError)
    : pageObject(pageObject), window(window), onError(std::move(onError)) {}

ScriptEngine::~ScriptEngine() { Close(); }

HRESULT ScriptEngine::QueryInterface(REFIID iid, void** out) {
    if (iid == IID_IUnknown || iid == __uuidof(IActiveScriptSite))
        *out = static_cast<IActiveScriptSite*>(this);
    else if (iid == __uuidof(IActiveScriptSiteWindow))
        *out = static_cast<IActiveScriptSiteWindow*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

bool ScriptEngine::Start(std::wstring& failure) {
    CLSID jscript;
    if (FAILED(CLSIDFromProgID(L"JScript", &jscript)) ||
        FAILED(CoCreateInstance(jscript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                                reinterpret_cast<void**>(&engine)))) {
        failure = L"the JScript engine is not installed";
        return false;
    }
    if (FAILED(engine->QueryInterface(__uuidof(IActiveScriptParse), reinterpret_cast<void**>(&parser))) ||
        FAILED(parser->InitNew()) || FAILED(engine->SetScriptSite(this)) ||
        FAILED(engine->AddNamedItem(L"page", SCRIPTITEM_ISVISIBLE)) ||
        FAILED(engine->SetScriptState(SCRIPTSTATE_CONNECTED))) {
        failure = L"the JScript engine could not be started";
        return false;
    }
    return true;
}

bool ScriptEngine::Run(const std::wstring& text) {
    errorReported = false;
    EXCEPINFO info = {};
    HRESULT hr =
        parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &info);
    if (FAILED(hr) && !errorReported) onError(L"the page script failed: " + Describe(info));
    ClearExcepInfo(info);
    return SUCCEEDED(hr);
}

IDispatch* ScriptEngine::GlobalObject() {
    IDispatch* global = nullptr;
    if (!engine || FAILED(engine->GetScriptDispatch(nullptr, &global))) return nullptr;
    return global;
}

void ScriptEngine::CallFunction(IDispatch* function) {
    errorReported = false;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXCEPINFO info = {};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr =
        function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, &info, nullptr);
    if (FAILED(hr) && !errorReported) onError(L"a timer's function failed: " + Describe(info));
    VariantClear(&result);
    ClearExcepInfo(info);
}

void ScriptEngine::Close() {
    if (parser) parser->Release();
    parser = nullptr;
    if (engine) {
        engine->Close();
        engine->Release();
    }
    engine = nullptr;
}

HRESULT ScriptEngine::GetLCID(LCID* lcid) {
    *lcid = LOCALE_USER_DEFAULT;
    return S_OK;
}

HRESULT ScriptEngine::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
    if (item) *item = nullptr;
    if (info) *info = nullptr;
    if (lstrcmpW(name, L"page") != 0) return TYPE_E_ELEMENTNOTFOUND;
    if (mask & SCRIPTINFO_ITYPEINFO) return E_NOTIMPL;
    if (mask & SCRIPTINFO_IUNKNOWN) {
        *item = pageObject;
        pageObject->AddRef();
    }
    return S_OK;
}

HRESULT ScriptEngine::GetDocVersionString(BSTR*) { return E_NOTIMPL; }

HRESULT ScriptEngine::OnScriptError(IActiveScriptError* error) {
    EXCEPINFO info = {};
    error->GetExceptionInfo(&info);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    error->GetSourcePosition(&context, &line, &column);
    errorReported = true;
    // The engine counts lines from 0.
    onError(L"line " + std::to_wstring(line + 1) + L": " + Describe(info));
    ClearExcepInfo(info);
    return S_OK;
}

HRESULT ScriptEngine::GetWindow(HWND* out) {
    *out = window;
    return S_OK;
}

}  // namespace parvex::page
